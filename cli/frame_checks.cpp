// The frame's geometry through render/geometry.h, told to the user.
#include "cli/frame_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/settings_options.h"
#include "cli/tool.h"
#include "render/background.h"
#include "render/geometry.h"
#include "render/settings_schema.h"

namespace zavol::cli {
namespace {

// Everything the engine derives for a frame before its first row.
struct FrameGeometry {
  ViewingGeometry view;
  DepthRange range;
  bool scene;  // some pixel is in front of the background, and the range is not the scan's markers
  int nearSeparation, farSeparation, background;
};

FrameGeometry Compute(const StereogramSettings& settings, const io::DepthMap& depth,
                      int screenWidth, int screenHeight) {
  FrameGeometry g;
  g.view = ComputeGeometry(settings, depth.width, depth.height, screenWidth, screenHeight);
  g.range = FrameDepthRange(settings, depth.depth.data(), static_cast<std::size_t>(depth.width),
                            static_cast<std::size_t>(depth.height));
  // A scan that met no scene depth leaves its start markers, near below far.
  g.scene = (settings.AutoDistance == 0 || g.range.nearestDepth >= g.range.farthestDepth) &&
            HasSceneDepth(depth);
  const SeparationRule rule(g.view, g.range);
  g.nearSeparation = rule(g.range.nearestDepth);
  g.farSeparation = rule(g.range.farthestDepth);
  g.background = rule.maxSeparationTrunc();
  return g;
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

bool HasSceneDepth(const io::DepthMap& depth) {
  // Depths above 0 render as background, as do the markers at or below the threshold.
  return std::any_of(depth.depth.begin(), depth.depth.end(),
                     [](float z) { return z > kBackgroundThreshold && z <= 0.0f; });
}

std::string DescribeGeometry(const StereogramSettings& settings, const io::DepthMap& depth,
                             int screenWidth, int screenHeight) {
  const FrameGeometry g = Compute(settings, depth, screenWidth, screenHeight);
  std::string text;
  if (!g.scene) {
    text = "no scene depth";
  } else {
    text = "depth " + Real(g.range.farthestDepth) + " (far) to " + Real(g.range.nearestDepth) +
           " (near) " + (settings.AutoDistance != 0 ? "scanned from the frame" : "from the distances") +
           "; separations " + std::to_string(g.nearSeparation) + " px (near) to " +
           std::to_string(g.farSeparation) + " px (far)";
  }
  return text + ", background " + std::to_string(g.background) + " px; " +
         Real(g.view.pixelsPerInch) + " pixels per inch (" +
         MediumText(settings, screenWidth, screenHeight) + ")";
}

void WarnIfUnfusable(const std::string& name, const StereogramSettings& settings,
                     const io::DepthMap& depth, int screenWidth, int screenHeight) {
  const FrameGeometry g = Compute(settings, depth, screenWidth, screenHeight);
  const double repeats = g.background > 0 ? static_cast<double>(depth.width) / g.background : 0;
  if (repeats < kFewestRepeats) {
    char count[32];
    std::snprintf(count, sizeof count, "%.1f", repeats);
    WarnOnce("repeats", name + ": the background repeats every " + std::to_string(g.background) +
                            " px, only " + count + " times across " + std::to_string(depth.width) +
                            " px, too few to fuse; --fit picks a dpi for " +
                            std::to_string(kFitRepeats) +
                            ", or give the medium it is viewed on (--medium, --screen, --dpi)");
  }
  if (g.scene && g.nearSeparation == g.farSeparation) {
    const std::string both = name + ": near and far separations are both " +
                             std::to_string(g.nearSeparation) + " px, so the scene shows flat; ";
    if (settings.NearObjectDepth == settings.FarObjectDepth) {
      WarnOnce("flat", both + "set --near-object-depth below --far-object-depth");
    } else if (g.range.nearestDepth == g.range.farthestDepth) {
      WarnOnce("flat", both + "every scene pixel has the same depth; give its range with "
                              "--near-distance and --far-distance");
    } else {
      WarnOnce("flat", both + "raise the resolution (--fit or --dpi)");
    }
  }
}

}  // namespace zavol::cli
