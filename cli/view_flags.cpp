// The viewing options as command-line flags; CLI11 checks every word and range, so Options()
// only translates.
#include "cli/view_flags.h"

#include <CLI/CLI.hpp>

#include "cli/tool.h"

namespace zavol::cli {

ViewOptions ViewFlags::Options() const {
  ViewOptions options;
  options.dots = dots == "stable" ? DotSource::kStable : DotSource::kStream;
  options.dotSize = dotSize;
  options.anchor = anchor == "left" ? Anchor::kLeft : anchor == "centre" ? Anchor::kCentre : Anchor::kAuto;
  options.view = view == "cross" ? ViewDirection::kCross : ViewDirection::kWall;
  options.oversample = oversample;
  options.linking = linking == "symmetric" ? Linking::kSymmetric : Linking::kClassic;
  return options;
}

void AddViewFlags(CLI::App& app, ViewFlags& flags) {
  const std::string group = "Viewing options (beyond the plug-in; the defaults are its pixels)";
  app.add_option("--dots", flags.dots,
                 "Where new dots get their colours: stream (the frame's random numbers, one "
                 "after another: the plug-in's dots) or stable (a hash of the dot's place and "
                 "the seed, so that dots hold still where the depth does from frame to frame; "
                 "every frame of a sequence then gets the same seed)")
      ->check(CLI::IsMember({"stream", "stable"}))
      ->type_name("stream|stable")
      ->group(group);
  app.add_option("--dot-size", flags.dotSize,
                 "Dots of N x N pixels (1 to " + std::to_string(kMaxDotSize) + "), a coarser texture")
      ->check(NumberWithin(1, kMaxDotSize))
      ->type_name("N")
      ->capture_default_str()
      ->group(group);
  app.add_option("--anchor", flags.anchor,
                 "Which of a row's linked pixels gives them their colour: left (the leftmost, "
                 "the plug-in's) or centre (the one nearest the picture's centre, so a depth "
                 "change recolours only what lies beyond it); default left, centre with "
                 "--dots stable")
      ->check(CLI::IsMember({"left", "centre"}))
      ->type_name("left|centre")
      ->group(group);
  app.add_option("--view", flags.view,
                 "How the picture is viewed: wall (eyes diverged, looking through it: the "
                 "plug-in's) or cross (eyes crossed in front of it); either way the scene comes "
                 "out toward the viewer")
      ->check(CLI::IsMember({"wall", "cross"}))
      ->type_name("wall|cross")
      ->group(group);
  app.add_option("--oversample", flags.oversample,
                 "Link rows at N sub-pixels per pixel (1 to " + std::to_string(kMaxOversample) +
                     ") and average them down: depth steps of 1/N pixel on shallow slopes")
      ->check(NumberWithin(1, kMaxOversample))
      ->type_name("N")
      ->capture_default_str()
      ->group(group);
  app.add_option("--linking", flags.linking,
                 "classic (each pixel repeats the one a separation to its left: the plug-in's) "
                 "or symmetric (pairs centred on each point; "
                 "points one eye cannot see are left unlinked; --prevent-ghosting does not "
                 "apply)")
      ->check(CLI::IsMember({"classic", "symmetric"}))
      ->type_name("classic|symmetric")
      ->group(group);
}

}  // namespace zavol::cli
