// The convergence guide: a white band across rows 5 to 15 carrying two black squares one
// background separation apart. Engine-internal; reaches the frame only through FrameHost.
#pragma once

#include <cstddef>

#include "render/frame.h"

namespace zavol {

// Draws the guide over a frame of the given width. rowBuffer (rowBufferLength pixels) lends the
// band its white run; nothing is read or written beyond it. Runs may cross the image's edges:
// the host clips them.
void DrawGuide(FrameHost& host, int width, float maxSeparation, Pixel64* rowBuffer,
               std::size_t rowBufferLength);

}  // namespace zavol
