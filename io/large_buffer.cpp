// Whole-frame allocations through mmap with a huge-page hint. Linux only.
#include "io/large_buffer.h"

#include <sys/mman.h>

#include <cstdlib>

namespace zavol::io {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Under AddressSanitizer every block comes from the checked heap, so that a read past a frame
// is caught there instead of landing in the rest of a mapping.
#if defined(__SANITIZE_ADDRESS__)
bool IsLarge(std::size_t) { return false; }
#else
bool IsLarge(std::size_t bytes) { return bytes >= kHugePage; }
#endif

}  // namespace

void* AllocateLarge(std::size_t bytes) {
  if (bytes == 0) bytes = 1;
  if (!IsLarge(bytes)) {
    void* block = std::malloc(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
  }
  // Rounded up to whole huge pages so that the hint covers the tail too.
  const std::size_t mapped = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  void* block = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) throw std::bad_alloc();
  madvise(block, mapped, MADV_HUGEPAGE);  // a hint: without it the buffer still works
  return block;
}

void FreeLarge(void* block, std::size_t bytes) noexcept {
  if (block == nullptr) return;
  if (bytes == 0) bytes = 1;
  if (!IsLarge(bytes)) {
    std::free(block);
    return;
  }
  munmap(block, (bytes + kHugePage - 1) & ~(kHugePage - 1));
}

}  // namespace zavol::io
