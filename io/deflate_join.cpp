// The deflate block walker: the stream's bits read least significant first, Huffman codes most
// significant bit first (RFC 1951), decoded through a short table with a bit-by-bit tail.
#include "io/deflate_join.h"

#include <cstring>

namespace zavol::io {
namespace {

class BitReader {
 public:
  BitReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  uint64_t position() const { return position_; }
  bool overrun() const { return position_ > uint64_t{size_} * 8; }
  // The next n <= 24 bits; bits past the end read as 0 (overrun() tells afterwards).
  uint32_t Peek(int n) const {
    const uint64_t byte = position_ >> 3;
    uint32_t value = 0;
    if (byte + 4 <= size_) {
      value = static_cast<uint32_t>(data_[byte]) | static_cast<uint32_t>(data_[byte + 1]) << 8 |
              static_cast<uint32_t>(data_[byte + 2]) << 16 |
              static_cast<uint32_t>(data_[byte + 3]) << 24;
    } else {
      for (uint64_t i = 0; i < 4 && byte + i < size_; ++i) {
        value |= static_cast<uint32_t>(data_[byte + i]) << (8 * i);
      }
    }
    return (value >> (position_ & 7)) & ((1u << n) - 1u);
  }
  void Skip(uint64_t n) { position_ += n; }
  uint32_t Take(int n) {
    const uint32_t value = Peek(n);
    position_ += static_cast<uint64_t>(n);
    return value;
  }
  void AlignToByte() { position_ = (position_ + 7) & ~uint64_t{7}; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  uint64_t position_ = 0;
};

// A canonical Huffman code from its code lengths.
class Huffman {
 public:
  static constexpr int kFastBits = 10;

  bool Build(const uint8_t* lengths, int symbols) {
    std::memset(count_, 0, sizeof count_);
    for (int s = 0; s < symbols; ++s) ++count_[lengths[s]];
    count_[0] = 0;
    int left = 1;
    for (int len = 1; len <= 15; ++len) {
      left = (left << 1) - count_[len];
      if (left < 0) return false;  // more codes than the lengths allow
    }
    int offsets[16];
    offsets[1] = 0;
    for (int len = 1; len < 15; ++len) offsets[len + 1] = offsets[len] + count_[len];
    for (int s = 0; s < symbols; ++s) {
      if (lengths[s] != 0) symbols_[offsets[lengths[s]]++] = static_cast<uint16_t>(s);
    }
    // The short codes, each at every index whose low bits are its bits in stream order.
    std::memset(fast_, 0, sizeof fast_);
    int code = 0, index = 0;
    for (int len = 1; len <= kFastBits; ++len) {
      for (int k = 0; k < count_[len]; ++k, ++code, ++index) {
        int reversed = 0;
        for (int bit = 0; bit < len; ++bit) reversed |= ((code >> bit) & 1) << (len - 1 - bit);
        for (int at = reversed; at < (1 << kFastBits); at += 1 << len) {
          fast_[at] = static_cast<uint16_t>(symbols_[index] << 4 | len);
        }
      }
      code <<= 1;
    }
    return true;
  }

  // The next symbol, or -1 for bits that are no code.
  int Decode(BitReader& bits) const {
    const uint16_t entry = fast_[bits.Peek(kFastBits)];
    if (entry != 0) {
      bits.Skip(entry & 15u);
      return entry >> 4;
    }
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= 15; ++len) {
      code |= static_cast<int>(bits.Take(1));
      const int count = count_[len];
      if (code - count < first) return symbols_[index + (code - first)];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return -1;
  }

 private:
  int count_[16];
  uint16_t symbols_[288];
  uint16_t fast_[1 << kFastBits];
};

constexpr uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// The codes of one block up to its end-of-block code; false for any code the format lacks.
bool WalkCodes(BitReader& bits, const Huffman& literals, const Huffman& distances) {
  for (;;) {
    if (bits.overrun()) return false;
    const int symbol = literals.Decode(bits);
    if (symbol < 0 || symbol > 285) return false;
    if (symbol < 256) continue;
    if (symbol == 256) return !bits.overrun();
    bits.Skip(kLengthExtraBits[symbol - 257]);
    const int distance = distances.Decode(bits);
    if (distance < 0 || distance > 29) return false;
    bits.Skip(distance < 4 ? 0 : static_cast<uint64_t>(distance / 2 - 1));
  }
}

struct FixedCodes {
  Huffman literals, distances;
  FixedCodes() {
    uint8_t lengths[288];
    for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    literals.Build(lengths, 288);
    for (int s = 0; s < 30; ++s) lengths[s] = 5;
    distances.Build(lengths, 30);
  }
};

bool WalkDynamicBlock(BitReader& bits) {
  const int literalCount = static_cast<int>(bits.Take(5)) + 257;
  const int distanceCount = static_cast<int>(bits.Take(5)) + 1;
  const int lengthCodeCount = static_cast<int>(bits.Take(4)) + 4;
  if (literalCount > 286 || distanceCount > 30) return false;
  static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                         11, 4, 12, 3, 13, 2, 14, 1, 15};
  uint8_t lengthCodeLengths[19] = {};
  for (int i = 0; i < lengthCodeCount; ++i) {
    lengthCodeLengths[kOrder[i]] = static_cast<uint8_t>(bits.Take(3));
  }
  Huffman lengthCode;
  if (!lengthCode.Build(lengthCodeLengths, 19)) return false;
  uint8_t lengths[286 + 30] = {};
  const int total = literalCount + distanceCount;
  for (int i = 0; i < total;) {
    if (bits.overrun()) return false;
    const int symbol = lengthCode.Decode(bits);
    if (symbol < 0) return false;
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      continue;
    }
    uint8_t value = 0;
    int repeat;
    if (symbol == 16) {
      if (i == 0) return false;
      value = lengths[i - 1];
      repeat = 3 + static_cast<int>(bits.Take(2));
    } else if (symbol == 17) {
      repeat = 3 + static_cast<int>(bits.Take(3));
    } else {
      repeat = 11 + static_cast<int>(bits.Take(7));
    }
    if (i + repeat > total) return false;
    while (repeat-- > 0) lengths[i++] = value;
  }
  if (lengths[256] == 0) return false;  // a block must be able to end
  Huffman literals, distances;
  if (!literals.Build(lengths, literalCount) ||
      !distances.Build(lengths + literalCount, distanceCount)) {
    return false;
  }
  return WalkCodes(bits, literals, distances);
}

}  // namespace

bool WalkDeflateStream(const uint8_t* data, std::size_t size, uint64_t* lastBlockBit,
                       uint64_t* endBit) {
  static const FixedCodes fixed;
  BitReader bits(data, size);
  for (;;) {
    const uint64_t start = bits.position();
    const uint32_t header = bits.Take(3);
    if (bits.overrun()) return false;
    const bool final = (header & 1u) != 0;
    switch (header >> 1) {
      case 0: {  // stored: byte-aligned lengths, then the bytes as they are
        bits.AlignToByte();
        const uint32_t length = bits.Take(16), complement = bits.Take(16);
        if (bits.overrun() || length != (~complement & 0xFFFFu)) return false;
        bits.Skip(uint64_t{length} * 8);
        break;
      }
      case 1:
        if (!WalkCodes(bits, fixed.literals, fixed.distances)) return false;
        break;
      case 2:
        if (!WalkDynamicBlock(bits)) return false;
        break;
      default:
        return false;
    }
    if (bits.overrun()) return false;
    if (final) {
      *lastBlockBit = start;
      *endBit = bits.position();
      return true;
    }
  }
}

bool MakeStreamContinue(std::vector<uint8_t>& stream, std::size_t size, std::size_t* newSize) {
  uint64_t lastBlock = 0, end = 0;
  if (size > stream.size() || !WalkDeflateStream(stream.data(), size, &lastBlock, &end)) {
    return false;
  }
  stream[lastBlock >> 3] &= static_cast<uint8_t>(~(1u << (lastBlock & 7)));  // not final
  std::size_t bytes = static_cast<std::size_t>((end + 7) / 8);
  // The bits after the end become the empty stored block's header (all zero: not final,
  // stored); it needs three of them, else a byte more.
  if ((end & 7) != 0) stream[end >> 3] &= static_cast<uint8_t>((1u << (end & 7)) - 1u);
  const bool headerFits = bytes * 8 - end >= 3;
  stream.resize(bytes + (headerFits ? 0 : 1) + 4);
  if (!headerFits) stream[bytes++] = 0;
  const uint8_t kEmptyStored[4] = {0x00, 0x00, 0xFF, 0xFF};  // length 0 and its complement
  std::memcpy(stream.data() + bytes, kEmptyStored, 4);
  *newSize = bytes + 4;
  return true;
}

}  // namespace zavol::io
