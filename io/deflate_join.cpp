// The deflate block walker: the stream's bits read least significant first, Huffman codes most
// significant bit first (RFC 1951), decoded through a short table with a bit-by-bit tail.
#include "io/deflate_join.h"

#include <cstring>

namespace zavol::io {
namespace {

// Bits least significant first through a 64-bit buffer refilled eight bytes at a time; bytes
// past the end read as 0, and overrun() tells when a read went beyond them.
class BitReader {
 public:
  BitReader(const uint8_t* data, std::size_t size) : start_(data), next_(data), end_(data + size) {}

  uint64_t position() const {
    return static_cast<uint64_t>(next_ - start_) * 8 + padBits_ - static_cast<uint64_t>(count_);
  }
  // Only bits past the end can have overrun it.
  bool overrun() const {
    return padBits_ != 0 && position() > static_cast<uint64_t>(end_ - start_) * 8;
  }
  // At least 56 bits in the buffer.
  void Refill() {
    if (end_ - next_ >= 8) {
      uint64_t word;
      std::memcpy(&word, next_, 8);
      word = Little(word);
      buffer_ |= word << count_;
      next_ += (63 - count_) >> 3;
      count_ |= 56;
      return;
    }
    while (count_ <= 56) {
      if (next_ < end_) {
        buffer_ |= static_cast<uint64_t>(*next_++) << count_;
      } else {
        padBits_ += 8;  // a zero byte past the end
      }
      count_ += 8;
    }
  }
  // n <= 32 bits already in the buffer (after Refill).
  uint32_t Peek(int n) const { return static_cast<uint32_t>(buffer_ & ((uint64_t{1} << n) - 1)); }
  void Skip(int n) {
    buffer_ >>= n;
    count_ -= n;
  }
  uint32_t Take(int n) {
    if (count_ < n) Refill();
    const uint32_t value = Peek(n);
    Skip(n);
    return value;
  }
  // Drops the bits up to the next byte boundary and moves past whole bytes.
  void AlignToByte() { Skip(count_ & 7); }
  void SkipBytes(uint64_t bytes) {
    // The whole bytes still in the buffer first, then the rest directly.
    while (bytes > 0 && count_ >= 8) {
      Skip(8);
      --bytes;
    }
    if (bytes == 0) return;
    // The buffer is empty now, but may hold bits of the next byte beyond its count (Refill
    // loads whole words): they are not the bytes after the skip.
    buffer_ = 0;
    const uint64_t left = static_cast<uint64_t>(end_ - next_);
    if (bytes <= left) {
      next_ += bytes;
    } else {
      padBits_ += (bytes - left) * 8;
      next_ = end_;
    }
  }

 private:
  static uint64_t Little(uint64_t word) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_bswap64(word);
#else
    return word;
#endif
  }

  const uint8_t* start_;
  const uint8_t* next_;
  const uint8_t* end_;
  uint64_t buffer_ = 0;
  int count_ = 0;
  uint64_t padBits_ = 0;  // zero bits read past the end
};

// Extra bits after each length symbol (257 to 285) and each distance symbol (0 to 29).
constexpr uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
int ExtraBits(bool distances, int symbol) {
  if (distances) return symbol < 4 ? 0 : symbol / 2 - 1;
  return symbol >= 257 && symbol <= 285 ? kLengthExtraBits[symbol - 257] : 0;
}

// A canonical Huffman code from its code lengths. Codes of up to kFastBits bits are looked up
// in one step, each entry with the extra bits that follow its symbol (the walker skips both).
class Huffman {
 public:
  static constexpr int kFastBits = 10;

  bool Build(const uint8_t* lengths, int symbols, bool distances) {
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
        const int symbol = symbols_[index];
        const uint32_t entry = static_cast<uint32_t>(symbol) << 8 |
                               static_cast<uint32_t>(ExtraBits(distances, symbol)) << 4 |
                               static_cast<uint32_t>(len);
        for (int at = Reversed(code, len); at < (1 << kFastBits); at += 1 << len) fast_[at] = entry;
      }
      code <<= 1;
    }
    distances_ = distances;
    return true;
  }

  // The next symbol, its code and extra bits skipped; -1 for bits that are no code. Needs
  // 15 + 13 bits in the reader's buffer.
  int Walk(BitReader& bits) const {
    const uint32_t entry = fast_[bits.Peek(kFastBits)];
    if (entry != 0) {
      bits.Skip(static_cast<int>((entry & 15u) + ((entry >> 4) & 15u)));
      return static_cast<int>(entry >> 8);
    }
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= 15; ++len) {
      code |= static_cast<int>(bits.Peek(1));
      bits.Skip(1);
      const int count = count_[len];
      if (code - count < first) {
        const int symbol = symbols_[index + (code - first)];
        bits.Skip(ExtraBits(distances_, symbol));
        return symbol;
      }
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return -1;
  }

 private:
  static int Reversed(int code, int len) {
    int reversed = 0;
    for (int bit = 0; bit < len; ++bit) reversed |= ((code >> bit) & 1) << (len - 1 - bit);
    return reversed;
  }

  int count_[16];
  uint16_t symbols_[288];
  uint32_t fast_[1 << kFastBits];
  bool distances_ = false;
};

// The codes of one block up to its end-of-block code; false for any code the format lacks.
bool WalkCodes(BitReader& bits, const Huffman& literals, const Huffman& distances) {
  for (;;) {
    bits.Refill();
    if (bits.overrun()) return false;
    const int symbol = literals.Walk(bits);
    if (symbol < 256) {
      if (symbol < 0) return false;
      continue;
    }
    if (symbol == 256) return !bits.overrun();
    if (symbol > 285) return false;
    const int distance = distances.Walk(bits);
    if (distance < 0 || distance > 29) return false;
  }
}

struct FixedCodes {
  Huffman literals, distances;
  FixedCodes() {
    uint8_t lengths[288];
    for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    literals.Build(lengths, 288, false);
    for (int s = 0; s < 30; ++s) lengths[s] = 5;
    distances.Build(lengths, 30, true);
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
  if (!lengthCode.Build(lengthCodeLengths, 19, false)) return false;
  uint8_t lengths[286 + 30] = {};
  const int total = literalCount + distanceCount;
  for (int i = 0; i < total;) {
    bits.Refill();
    if (bits.overrun()) return false;
    const int symbol = lengthCode.Walk(bits);
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
  if (!literals.Build(lengths, literalCount, false) ||
      !distances.Build(lengths + literalCount, distanceCount, true)) {
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
        bits.SkipBytes(length);
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
