// A frame's separations as a table of depth intervals, so that rows take most separations
// without dividing. Engine-internal; every result is bit for bit SeparationRule's, and it
// reaches the rule only through its public interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/geometry.h"

namespace zavol {

// On each side of the depth where the real separation turns positive the rule is monotone in
// depth, so a frame has only as many distinct separations as integer steps, each over one
// interval of depths; a vector of depths inside the interval of the depth before it takes that
// separation.
class SeparationTable {
 public:
  // Builds the table when the rule is monotone and its steps fit; otherwise Fill passes every
  // depth to the rule.
  explicit SeparationTable(const SeparationRule& rule);

  bool usable() const { return count_ > 0; }

  // The rule over count consecutive depths.
  void Fill(const float* depth, std::size_t count, int32_t* separations) const;

  // The interval of depths (both ends included, as values) that shares z's separation. False
  // for depths outside the table: positive ones and those that are not a number.
  bool Interval(float z, float* low, float* high, int32_t* separation) const;

 private:
  static constexpr std::size_t kCapacity = 1024;

  int32_t SeparationAt(uint32_t key) const;
  void Add(uint32_t firstKey, int32_t separation);
  void Split(uint32_t lowKey, int32_t lowSeparation, uint32_t highKey, int32_t highSeparation);

  const SeparationRule& rule_;
  uint32_t keys_[kCapacity];  // first key of each interval, ascending; keys_[0] is 0
  int32_t separations_[kCapacity];
  std::size_t count_ = 0;
  bool full_ = false;
};

}  // namespace zavol
