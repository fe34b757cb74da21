// The checks before a frame, read from the frame's plan.
#include "render/frame_checks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/background.h"
#include "render/depth_levels.h"
#include "render/geometry.h"

namespace zavol {
namespace {

bool IsSceneDepth(float z) { return z > kBackgroundThreshold && z <= 0.0f; }

// "1e+30" as "1e30", "1e-05" as "1e-5".
std::string TrimExponent(std::string shown) {
  const std::size_t e = shown.find('e');
  if (e != std::string::npos) {
    std::size_t digits = e + 1;
    if (digits < shown.size() && shown[digits] == '+') shown.erase(digits, 1);
    if (digits < shown.size() && shown[digits] == '-') ++digits;
    while (digits + 1 < shown.size() && shown[digits] == '0') shown.erase(digits, 1);
  }
  return shown;
}

#if defined(__EMSCRIPTEN__)
// The WebAssembly build's C++ library (emscripten 3.1.6) has no floating-point to_chars: the
// fewest significant digits that read back as the same number, in printf's %g form. Only the
// wording of messages can differ from the native build's, never a check.
template <class Real>
std::string Shortest(Real value) {
  char text[40];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (static_cast<Real>(std::strtod(text, nullptr)) == value) break;
  }
  return text;
}
#endif

}  // namespace

std::string ShortNumber(double value) {
#if defined(__EMSCRIPTEN__)
  return TrimExponent(Shortest(value));
#else
  char text[40];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return TrimExponent(std::string(text, result.ptr));
#endif
}

std::string ShortReal(float value) {
#if defined(__EMSCRIPTEN__)
  return Shortest(value);
#else
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
#endif
}

int FitDpi(const StereogramSettings& settings, int width) {
  // At one pixel per inch the background separation is the eye base in inches.
  StereogramSettings atOneDpi = settings;
  atOneDpi.ViewingMedium = kMediumCustomDpi;
  atOneDpi.CustomDpi = 1;
  const double eyeBase = ComputeGeometry(atOneDpi, width, 1, 1, 1).maxSeparation;
  const SettingsField& dpi = SettingsFieldAt(offsetof(StereogramSettings, CustomDpi));
  if (!(eyeBase > 0)) return static_cast<int>(dpi.defaultValue);
  const double wanted = std::round(width / (kFitRepeats * eyeBase));
  return static_cast<int>(std::clamp(wanted, dpi.minimum, dpi.maximum));
}

DepthSpread LookAtDepth(const float* depth, int width, int height, std::ptrdiff_t rowStride) {
  DepthSpread spread;
  float first = 0;
  for (int y = 0; y < height; ++y) {
    const float* row = depth + y * rowStride;
    for (int x = 0; x < width; ++x) {
      const float z = row[x];
      if (!IsSceneDepth(z)) continue;
      if (!spread.scene) {
        spread.scene = true;
        first = z;
      } else if (z != first) {
        spread.varied = true;
        return spread;
      }
    }
  }
  return spread;
}

Fusing CheckFusing(const StereogramSettings& settings, const FramePlan& plan,
                   const DepthSpread& spread) {
  const SeparationRule& rule = plan.rule;
  const DepthRange& range = plan.range;
  // Under auto distance a single scene depth makes the range empty, and every scene pixel gets
  // the separation 1, never the background's.
  const bool sameDepth = settings.AutoDistance != 0 && !spread.varied;
  int nearest = rule(range.nearestDepth), farthest = rule(range.farthestDepth);
  if (sameDepth) nearest = farthest = 1;
  Fusing fusing;
  fusing.background = rule.maxSeparationTrunc();
  fusing.repeats =
      fusing.background > 0 ? static_cast<double>(plan.width()) / fusing.background : 0;
  fusing.fewRepeats = fusing.repeats < kFewestRepeats;
  if (spread.scene && nearest == farthest) {
    fusing.separation = nearest;
    fusing.flat = sameDepth ? Fusing::Flat::kSameDepth
                  : settings.NearObjectDepth == settings.FarObjectDepth ? Fusing::Flat::kSameFraction
                                                                        : Fusing::Flat::kResolution;
  }
  if (!spread.scene || sameDepth) return fusing;
  if (settings.AutoDistance != 0 && farthest != fusing.background) return fusing;
  // The plan's depth scan counted the level on its way, unless it had no need to scan.
  const FarthestLevel level =
      plan.levelKnown ? plan.level
                      : FindFarthestLevel(plan.depth.values, plan.width(), plan.height(),
                                          plan.depth.rowStride);
  // Fewer pixels than this at one depth, or of background, are not a level worth a word.
  const double frame = static_cast<double>(plan.width()) * static_cast<double>(plan.height());
  const int64_t least = std::max<int64_t>(64, static_cast<int64_t>(std::ceil(0.002 * frame)));
  if (!level.scene || level.pixels < least || level.background < least) return fusing;
  const int separation = settings.AutoDistance != 0 ? farthest : rule(level.depth);
  if (separation != fusing.background) return fusing;
  fusing.levelMerges = true;
  fusing.levelPixels = level.pixels;
  fusing.levelDepth = level.depth;
  fusing.liftedByFarObjectDepth =
      SaturatingTrunc(plan.geometry.farSeparation) >= fusing.background;
  return fusing;
}

std::string InvalidSettingValue(const SettingsField& field, const StereogramSettings& s) {
  const double value = FieldValue(s, field);
  if (field.kind == FieldKind::kReal && !std::isfinite(value)) {
    uint32_t bits;
    std::memcpy(&bits, reinterpret_cast<const unsigned char*>(&s) + field.offset, sizeof bits);
    char text[48];
    std::snprintf(text, sizeof text, "0x%08x: %s", bits, std::isnan(value) ? "not a number" : "infinite");
    return text;
  }
  if (value >= field.minimum && value <= field.maximum) return {};
  const std::string shown =
      field.kind == FieldKind::kReal ? ShortReal(static_cast<float>(value)) : ShortNumber(value);
  return shown + ": not within " + ShortNumber(field.minimum) + " to " + ShortNumber(field.maximum);
}

SettingsProblem FindUnusableSetting(const StereogramSettings& s, const FieldNamer& name) {
  const SettingsField& background = SettingsFieldAt(offsetof(StereogramSettings, BackgroundDepth));
  const SettingsField& dpi = SettingsFieldAt(offsetof(StereogramSettings, CustomDpi));
  const SettingsField& farDistance = SettingsFieldAt(offsetof(StereogramSettings, FarDistance));
  const SettingsField& nearDistance = SettingsFieldAt(offsetof(StereogramSettings, NearDistance));
  for (const SettingsField& field : kSettingsFields) {
    const bool used = field.kind == FieldKind::kReal
                          ? (s.AutoDistance == 0 || (&field != &farDistance && &field != &nearDistance))
                          : &field == &dpi && s.ViewingMedium == kMediumCustomDpi;
    if (!used) continue;
    const std::string invalid = InvalidSettingValue(field, s);
    if (!invalid.empty()) return {{field.offset}, name(field) + " is invalid (" + invalid + ")"};
    if (&field == &background && s.BackgroundDepth == 0.0f) {
      return {{field.offset}, name(field) + " is 0, which makes every separation 0 px"};
    }
  }
  if (s.AutoDistance == 0 && !(s.NearDistance < s.FarDistance)) {
    return {{nearDistance.offset, farDistance.offset},
            name(nearDistance) + " " + ShortReal(s.NearDistance) + " is not nearer than " +
                name(farDistance) + " " + ShortReal(s.FarDistance)};
  }
  return {};
}

}  // namespace zavol
