// The two PNG height-map readers behind ReadPngDepth: the whole-file reader for the plain cases
// and libpng's row-by-row reader for everything else. Internal to the readers (and the codec
// benchmark, which times them side by side).
#pragma once

#include "io/depth_map.h"
#include "io/files.h"

namespace zavol::io {

// The file whole in memory, inflated at once: false, with map and input untouched but for
// input's position, when the file is anything but an 8- or 16-bit grey, grey+alpha, RGB or RGBA
// image without interlacing, palette or transparency chunk, every chunk sound. Throws IoError
// only for a frame too large for memory.
bool ReadPngDepthWhole(InputSource& input, const DepthReadOptions& options, DepthMap& map);

// libpng, row by row: every PNG, every fault reported. Throws IoError.
void ReadPngDepthWithLibpng(InputSource& input, const DepthReadOptions& options, DepthMap& map);

}  // namespace zavol::io
