// An OpenEXR header with one attribute of every type the library knows, as a fuzz seed and for
// the tests of the EXR reader's header walk (tests include fuzz/, never the reverse). Native only.
#pragma once

#include <ImfBoxAttribute.h>
#include <ImfChromaticitiesAttribute.h>
#include <ImfDeepImageStateAttribute.h>
#include <ImfDoubleAttribute.h>
#include <ImfEnvmapAttribute.h>
#include <ImfFloatVectorAttribute.h>
#include <ImfHeader.h>
#include <ImfIntAttribute.h>
#include <ImfKeyCodeAttribute.h>
#include <ImfMatrixAttribute.h>
#include <ImfPreviewImage.h>
#include <ImfRationalAttribute.h>
#include <ImfStringAttribute.h>
#include <ImfStringVectorAttribute.h>
#include <ImfTimeCodeAttribute.h>
#include <ImfVecAttribute.h>

namespace exrtest {

// Adds one attribute of each type the header does not already hold (its own attributes give
// box2i, float, v2f, chlist, compression and lineOrder).
inline void AddEveryAttributeType(Imf::Header& header) {
  header.insert("a_box2f", Imf::Box2fAttribute(Imath::Box2f(Imath::V2f(0, 0), Imath::V2f(1, 2))));
  header.insert("a_int", Imf::IntAttribute(7));
  header.insert("a_double", Imf::DoubleAttribute(0.25));
  header.insert("a_v2i", Imf::V2iAttribute(Imath::V2i(1, 2)));
  header.insert("a_v2d", Imf::V2dAttribute(Imath::V2d(1, 2)));
  header.insert("a_v3i", Imf::V3iAttribute(Imath::V3i(1, 2, 3)));
  header.insert("a_v3f", Imf::V3fAttribute(Imath::V3f(1, 2, 3)));
  header.insert("a_v3d", Imf::V3dAttribute(Imath::V3d(1, 2, 3)));
  header.insert("a_m33f", Imf::M33fAttribute(Imath::M33f()));
  header.insert("a_m33d", Imf::M33dAttribute(Imath::M33d()));
  header.insert("a_m44f", Imf::M44fAttribute(Imath::M44f()));
  header.insert("a_m44d", Imf::M44dAttribute(Imath::M44d()));
  header.insert("a_envmap", Imf::EnvmapAttribute(Imf::ENVMAP_CUBE));
  header.insert("a_chromaticities", Imf::ChromaticitiesAttribute(Imf::Chromaticities()));
  header.insert("a_keycode", Imf::KeyCodeAttribute(Imf::KeyCode(1, 2, 3, 4, 5, 4, 64)));
  header.insert("a_timecode", Imf::TimeCodeAttribute(Imf::TimeCode(1, 2, 3, 4)));
  header.insert("a_rational", Imf::RationalAttribute(Imf::Rational(24000, 1001)));
  header.insert("a_string", Imf::StringAttribute("a note"));
  header.insert("a_stringvector", Imf::StringVectorAttribute({"left", "", "right"}));
  header.insert("a_floatvector", Imf::FloatVectorAttribute({1.0f, 2.0f}));
  header.insert("a_deepImageState", Imf::DeepImageStateAttribute(Imf::DIS_TIDY));
  const Imf::PreviewRgba preview[6] = {};
  header.setPreviewImage(Imf::PreviewImage(3, 2, preview));
}

}  // namespace exrtest
