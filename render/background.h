// The depth channel's background convention, shared by the engine, the depth readers and the
// tool: markers far below any scene depth. Portable; constants only, nothing to link.
#pragma once

namespace zavol {

// At or below this a depth is background: it never lowers the far end of a frame's depth range.
// Mirrored, a depth at or above -kBackgroundThreshold never raises the near end.
constexpr float kBackgroundThreshold = -1e20f;

// The depth of a pixel with nothing in it, as the host writes it and as our readers do.
constexpr float kEmptyDepth = -1e30f;

static_assert(kEmptyDepth < kBackgroundThreshold, "an empty pixel is background");

}  // namespace zavol
