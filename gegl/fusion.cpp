// The background repeat of a frame, computed as the engine renders it, against the width that
// must hold at least three repeats for a viewer to fuse them. Depends on render/ and GLib.
#include "gegl/fusion.h"

#include <glib.h>

#include <cstring>

#include "render/geometry.h"
#include "render/settings.h"

namespace {

// Fewer background repeats than this across the width are hard or impossible to fuse.
constexpr double kFewestRepeats = 3.0;

}  // namespace

void warn_if_unfusable(const zavol_settings* settings, int width, int height, int screen_width,
                       int screen_height) {
  static_assert(sizeof(zavol_settings) == sizeof(StereogramSettings),
                "the C record mirrors the engine's field by field");
  StereogramSettings record;
  std::memcpy(&record, settings, sizeof record);
  const zavol::ViewingGeometry view =
      zavol::ComputeGeometry(record, width, height, screen_width, screen_height);
  // With auto distance the separations do not depend on where the depth range lies, only on it
  // not being empty, so a stand-in range gives the frame's own background repeat.
  constexpr zavol::DepthRange kStandIn{-1.0f, -2.0f};
  const zavol::DepthRange range = record.AutoDistance != 0
                                      ? kStandIn
                                      : zavol::FrameDepthRange(record, nullptr, 0, 0);
  const int background = zavol::SeparationRule(view, range).maxSeparationTrunc();
  const double repeats = background > 0 ? static_cast<double>(width) / background : 0.0;
  if (repeats < kFewestRepeats) {
    g_warning("autostereogram: the background repeats every %d px, only %.1f times across %d px, "
              "too few to fuse; set the medium it is viewed on (viewing-medium, screen-width, "
              "custom-dpi)",
              background, repeats, width);
  }
}
