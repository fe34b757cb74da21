// NumPy arrays as the C interface's views: depth, RGBA images and the output, viewed in place
// where their layout allows and copied where it does not; every refusal is a Python exception
// that names the argument. Depends on pybind11, libzavol/zavol.h and io/'s frame buffers.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <vector>

#include "libzavol/zavol.h"

namespace zavol::python {

// A 2-D array-like of real numbers as float32 depth.
struct DepthArgument {
  pybind11::array keep;  // owns the memory view.values points into
  zavol_depth view;
};
// ownCopy: always a fresh C-contiguous copy, which the caller may convert in place.
DepthArgument DepthFromObject(pybind11::handle depth, const char* name, bool ownCopy);

// An (H, W, 3 or 4) uint8 or uint16 array as 16-bit RGBA, the way the tool reads images: 8-bit
// samples widen by 256, a missing alpha is the largest sample. Viewed in place when it already is
// 16-bit RGBA with 8-byte pixels.
struct RgbaArgument {
  pybind11::array keep;
  std::vector<uint16_t> converted;
  zavol_image view;
};
RgbaArgument RgbaFromObject(pybind11::handle image, const char* name);

// The caller's out= array: (height, width, 4) uint16, writable, pixels of 8 bytes.
zavol_image OutFromObject(pybind11::handle out, int width, int height);

// A new (height, width, 4) uint16 array in whole-frame memory (huge pages, no zeroing pass;
// the memory of the last dropped frame of that size when there is one), contents undefined.
pybind11::array NewRgbaArray(int width, int height, zavol_image* view);

// The type of a Python object, for messages.
std::string TypeName(pybind11::handle value);

}  // namespace zavol::python
