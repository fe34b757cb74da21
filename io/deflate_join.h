// Raw deflate streams compressed apart (libdeflate knows no flush) joined into one stream: the
// blocks of a stream are walked to find where its last block starts and where it ends, in bits,
// so its end can be made non-final and byte-aligned. Depends on the standard library only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zavol::io {

// Walks the blocks of a complete raw deflate stream (decoding its codes, writing nothing).
// False for anything that is not one well-formed stream ending in a final block within size.
bool WalkDeflateStream(const uint8_t* data, std::size_t size, uint64_t* lastBlockBit,
                       uint64_t* endBit);

// Turns a complete stream into one that continues: its last block no longer final, and after it
// an empty stored block, which ends on a byte boundary. stream holds the stream's size bytes
// (and may grow). False when the stream cannot be walked; it is then unchanged.
bool MakeStreamContinue(std::vector<uint8_t>& stream, std::size_t size, std::size_t* newSize);

}  // namespace zavol::io
