// What every face checks about a frame, from the frame's own plan so that the numbers are the
// ones the frame is rendered with: settings that cannot make a picture (the
// tool's usage error, the library's ZAVOL_E_SETTING_VALUE, Python's ValueError), pictures that
// render but cannot be seen in relief (their warnings), and the dpi that fits a picture's width.
// Each face words the findings in its own terms (options, keywords). Portable; standard library
// only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "render/frame_plan.h"
#include "render/settings.h"
#include "render/settings_schema.h"

namespace zavol {

// Fitting makes the background repeat this fraction of the width: 1/8, enough repeats to fuse
// easily and deep enough for the relief to show.
constexpr int kFitRepeats = 8;

// Fewer background repeats than this across the width are hard or impossible to fuse.
constexpr double kFewestRepeats = 3.0;

// The dpi (custom medium) at which the background repeat is width / kFitRepeats, within the
// dpi field's range.
int FitDpi(const StereogramSettings& settings, int width);

// A quick look at a frame's depth: whether any pixel lies in front of the background (scene
// depth: above the background threshold and not behind the camera), and whether the scene
// depths differ. It stops at the second distinct scene depth, so on most frames it reads a few
// rows. rowStride in values.
struct DepthSpread {
  bool scene = false;
  bool varied = false;
};
DepthSpread LookAtDepth(const float* depth, int width, int height, std::ptrdiff_t rowStride);

// Whether a frame that renders can be fused as set up.
struct Fusing {
  int background = 0;       // the background's separation, px
  double repeats = 0;       // background repeats across the width
  bool fewRepeats = false;  // repeats < kFewestRepeats
  int separation = 0;       // near and far separations, when they are equal
  enum class Flat {
    kNo,
    kSameDepth,   // auto distance and every scene pixel at one depth
    kSameFraction,  // near and far object depths equal
    kResolution,  // the medium's resolution rounds them to one separation
  } flat = Flat::kNo;
  // The farthest flat level of the scene rendered at the background's separation: where it
  // meets the background there is no step, so the eyes see one surface and the level's outline
  // is lost (a box standing on an empty background vanishes). The defaults do this: auto
  // distance maps the farthest scene depth to the far object depth, 1, the background's own.
  bool levelMerges = false;
  int64_t levelPixels = 0;  // of the merging level
  float levelDepth = 0;     // its depth, in the engine's convention (negative)
  // Lifted off by a far object depth below 1; else (a fixed range that leaves the level beyond
  // its far end) by a far distance beyond it or auto distance.
  bool liftedByFarObjectDepth = false;
};
// Read from the plan the frame renders from (its geometry, depth range and separation rule),
// and from its depth, whole, only when the far end of the range could meet the background.
Fusing CheckFusing(const StereogramSettings& settings, const FramePlan& plan,
                   const DepthSpread& spread);

// A field whose value keeps the engine from making a picture.
struct SettingsProblem {
  std::vector<std::size_t> fields;  // offsets of the fields involved; empty: no problem
  std::string text;                 // names the fields through the face's namer
};
// A face's name for a field; it may carry the face's own list of names.
using FieldNamer = std::function<std::string(const SettingsField& field)>;
// The first problem in record order among the fields the picture uses: a depth fraction or
// background depth that is not a finite number within its range, a background depth of 0 (every
// separation 0 px), the dpi outside its range with the custom medium, and, without auto
// distance, distances outside their range or a near distance not nearer than the far one.
// Codes, flags and colours always render (an unknown medium as the 15-inch monitor, any ramp
// but RGB as HSV), as the plug-in renders them.
SettingsProblem FindUnusableSetting(const StereogramSettings& settings, const FieldNamer& name);

// Why a field's value is invalid ("0x7fc00000: not a number", "2: not within 0 to 1"), or empty.
std::string InvalidSettingValue(const SettingsField& field, const StereogramSettings& settings);

// The shortest text that reads back as the same double: 0.4, 1e30, 2400.
std::string ShortNumber(double value);
// The same for a float: 0.3 rather than 0.30000001.
std::string ShortReal(float value);

}  // namespace zavol
