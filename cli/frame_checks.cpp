// The frame's plan, told to the user.
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

DepthSpread LookAtDepth(const io::DepthMap& depth) {
  return zavol::LookAtDepth(depth.depth.data(), depth.width, depth.height, depth.width);
}

std::string DescribeGeometry(const StereogramSettings& settings, const FramePlan& plan,
                             const DepthSpread& spread, int screenWidth, int screenHeight) {
  const ViewingGeometry& view = plan.geometry;
  const DepthRange& range = plan.range;
  // The separations of the nearest and farthest depths of the range, and of the background.
  const struct {
    int nearest, farthest, background;
  } s{plan.rule(range.nearestDepth), plan.rule(range.farthestDepth),
                      plan.rule.maxSeparationTrunc()};
  std::string text;
  if (!spread.scene) {
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

void WarnIfUnfusable(const std::string& name, const StereogramSettings& settings,
                     const FramePlan& plan, const DepthSpread& spread) {
  const Fusing f = CheckFusing(settings, plan, spread);
  if (f.fewRepeats) {
    char count[32];
    std::snprintf(count, sizeof count, "%.1f", f.repeats);
    WarnOnce("repeats", name + ": the background repeats every " + std::to_string(f.background) +
                            " px, only " + count + " times across " + std::to_string(plan.width()) +
                            " px, too few to fuse; --fit picks a dpi for " +
                            std::to_string(kFitRepeats) +
                            ", or give the medium it is viewed on (--medium, --screen, --dpi)");
  }
  const std::string both = name + ": near and far separations are both " +
                           std::to_string(f.separation) + " px, so the scene shows flat; ";
  if (f.flat == Fusing::Flat::kSameDepth) {
    WarnOnce("flat", both + "every scene pixel has the same depth; give the range with "
                            "--near-distance and --far-distance");
  } else if (f.flat == Fusing::Flat::kSameFraction) {
    WarnOnce("flat", both + "set --near-object-depth below --far-object-depth");
  } else if (f.flat == Fusing::Flat::kResolution) {
    WarnOnce("flat", both + "raise the resolution (--fit or --dpi)");
  }
  if (!f.levelMerges) return;
  const std::string what = name + ": the farthest level of the depth (" +
                           std::to_string(f.levelPixels) + " pixels) gets the background's "
                           "separation, " + std::to_string(f.background) +
                           " px, and merges with the background; ";
  if (f.liftedByFarObjectDepth) {
    WarnOnce("merge", what + "set --far-object-depth below 1 (e.g. 0.9) to lift it off");
  } else {
    WarnOnce("merge", what + "raise --far-distance beyond it (it lies at " +
                          Real(-f.levelDepth) + ") or set --auto-distance");
  }
}

}  // namespace zavol::cli
