// The frame's geometry through render/geometry.h, told to the user.
#include "cli/frame_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/settings_options.h"
#include "cli/tool.h"
#include "render/background.h"
#include "render/frame_plan.h"
#include "render/geometry.h"
#include "render/settings_schema.h"

namespace zavol::cli {
namespace {

bool IsSceneDepth(float z) { return z > kBackgroundThreshold && z <= 0.0f; }

// The separations of the nearest and farthest depths of a range, and of the background.
struct Separations {
  int nearest, farthest, background;
};

Separations SeparationsOf(const ViewingGeometry& view, const DepthRange& range) {
  const SeparationRule rule(view, range);
  return {rule(range.nearestDepth), rule(range.farthestDepth), rule.maxSeparationTrunc()};
}

std::string Real(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string MediumText(const StereogramSettings& s, int screenWidth, int screenHeight) {
  const std::string name = MediumName(s.ViewingMedium);
  if (s.ViewingMedium == kMediumCustomDpi) return "custom dpi";
  if (s.ViewingMedium >= kMediumA5Paper && s.ViewingMedium <= kMediumA3Paper) {
    return name + " paper filled by the image";
  }
  const std::string screen = std::to_string(screenWidth) + "x" + std::to_string(screenHeight);
  if (name.empty()) {
    return "medium code " + std::to_string(s.ViewingMedium) + ", taken as the 15in monitor at " + screen;
  }
  return name + " monitor at " + screen;
}

}  // namespace

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

DepthSpread LookAtDepth(const io::DepthMap& depth) {
  DepthSpread spread;
  float first = 0;
  for (float z : depth.depth) {
    if (!IsSceneDepth(z)) continue;
    if (!spread.scene) {
      spread.scene = true;
      first = z;
    } else if (z != first) {
      spread.varied = true;
      break;
    }
  }
  return spread;
}

std::string DescribeGeometry(const StereogramSettings& settings, const io::DepthMap& depth,
                             int screenWidth, int screenHeight) {
  // The plan the engine renders the frame from.
  const FramePlan plan =
      PlanFrame(settings, DepthView{depth.depth.data(), depth.width, depth.height, depth.width},
                screenWidth, screenHeight, 0);
  const ViewingGeometry& view = plan.geometry;
  const DepthRange& range = plan.range;
  const Separations s{plan.rule(range.nearestDepth), plan.rule(range.farthestDepth),
                      plan.rule.maxSeparationTrunc()};
  std::string text;
  if (!LookAtDepth(depth).scene) {
    text = "no scene depth";
  } else {
    text = "depth " + Real(range.farthestDepth) + " (far) to " + Real(range.nearestDepth) +
           " (near) " + (settings.AutoDistance != 0 ? "scanned from the frame" : "from the distances") +
           "; separations " + std::to_string(s.nearest) + " px (near) to " +
           std::to_string(s.farthest) + " px (far)";
  }
  return text + ", background " + std::to_string(s.background) + " px; " +
         Real(view.pixelsPerInch) + " pixels per inch (" +
         MediumText(settings, screenWidth, screenHeight) + ")";
}

namespace {

// Fewer pixels than this at one depth, or of background, are not a level worth a word.
int64_t LeastLevelPixels(const io::DepthMap& depth) {
  const double frame = static_cast<double>(depth.width) * static_cast<double>(depth.height);
  return std::max<int64_t>(64, static_cast<int64_t>(std::ceil(0.002 * frame)));
}

// The farthest flat level of the scene rendered at the background's separation: where it meets
// the background there is no step, so the eyes see one surface and the level's outline is lost
// (a box standing on an empty background vanishes). The defaults do this: auto distance maps
// the farthest scene depth to the far object depth, 1, the background's own fraction.
void WarnIfLevelMerges(const std::string& name, const StereogramSettings& settings,
                       const ViewingGeometry& view, const DepthRange& range,
                       const Separations& s, const io::DepthMap& depth) {
  if (settings.AutoDistance != 0 && s.farthest != s.background) return;
  float farthest = 0.0f;
  int64_t atFarthest = 0, background = 0;
  bool scene = false;
  for (float z : depth.depth) {
    if (!IsSceneDepth(z)) {
      background += z <= kBackgroundThreshold || z > 0.0f;
    } else if (!scene || z < farthest) {
      farthest = z;
      atFarthest = 1;
      scene = true;
    } else if (z == farthest) {
      ++atFarthest;
    }
  }
  const int64_t least = LeastLevelPixels(depth);
  if (!scene || atFarthest < least || background < least) return;
  const int separation =
      settings.AutoDistance != 0 ? s.farthest : SeparationRule(view, range)(farthest);
  if (separation != s.background) return;
  const std::string what = name + ": the farthest level of the depth (" +
                           std::to_string(atFarthest) + " pixels) gets the background's "
                           "separation, " + std::to_string(s.background) +
                           " px, and merges with the background; ";
  if (SaturatingTrunc(view.farSeparation) >= s.background) {
    WarnOnce("merge", what + "set --far-object-depth below 1 (e.g. 0.9) to lift it off");
  } else {
    WarnOnce("merge", what + "raise --far-distance beyond it (it lies at " +
                          Real(-farthest) + ") or set --auto-distance");
  }
}

}  // namespace

void WarnIfUnfusable(const std::string& name, const StereogramSettings& settings,
                     const io::DepthMap& depth, const DepthSpread& spread, int screenWidth,
                     int screenHeight) {
  const ViewingGeometry view =
      ComputeGeometry(settings, depth.width, depth.height, screenWidth, screenHeight);
  // With auto distance a frame's separations do not depend on where its depth range lies, only
  // on the range not being empty: t runs from exactly 0 at the near end to exactly 1 at the far
  // end. So a stand-in range gives the frame's own numbers without scanning it; an empty range
  // gives every scene pixel the separation 1.
  constexpr DepthRange kStandIn{-1.0f, -2.0f};
  const bool sameDepth = settings.AutoDistance != 0 && !spread.varied;
  const DepthRange range =
      settings.AutoDistance != 0 ? kStandIn : FrameDepthRange(settings, nullptr, 0, 0);
  Separations s = SeparationsOf(view, range);
  if (sameDepth) s.nearest = s.farthest = 1;
  const double repeats = s.background > 0 ? static_cast<double>(depth.width) / s.background : 0;
  if (repeats < kFewestRepeats) {
    char count[32];
    std::snprintf(count, sizeof count, "%.1f", repeats);
    WarnOnce("repeats", name + ": the background repeats every " + std::to_string(s.background) +
                            " px, only " + count + " times across " + std::to_string(depth.width) +
                            " px, too few to fuse; --fit picks a dpi for " +
                            std::to_string(kFitRepeats) +
                            ", or give the medium it is viewed on (--medium, --screen, --dpi)");
  }
  if (spread.scene && s.nearest == s.farthest) {
    const std::string both = name + ": near and far separations are both " +
                             std::to_string(s.nearest) + " px, so the scene shows flat; ";
    if (sameDepth) {
      WarnOnce("flat", both + "every scene pixel has the same depth; give the range with "
                              "--near-distance and --far-distance");
    } else if (settings.NearObjectDepth == settings.FarObjectDepth) {
      WarnOnce("flat", both + "set --near-object-depth below --far-object-depth");
    } else {
      WarnOnce("flat", both + "raise the resolution (--fit or --dpi)");
    }
  }
  // A single scene depth under auto distance gets the separation 1, never the background's.
  if (spread.scene && !sameDepth) WarnIfLevelMerges(name, settings, view, range, s, depth);
}

}  // namespace zavol::cli
