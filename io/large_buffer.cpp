// Whole-frame allocations through mmap with a huge-page hint. Linux only.
#include "io/large_buffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <atomic>
#include <vector>

#include "render/thread_team.h"

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

void TouchLarge(void* block, std::size_t bytes, int threads) noexcept {
  if (block == nullptr || threads < 2 || bytes < 2 * kHugePage) return;
  constexpr std::size_t kPage = 4096;
  const std::size_t pages = (bytes + kHugePage - 1) / kHugePage;
  const std::size_t parts = std::min<std::size_t>(static_cast<std::size_t>(threads), pages);
  auto touch = [block, bytes, pages, parts](std::size_t part) {
    // Parts of whole huge pages' length: each thread faults pages of its own.
    volatile unsigned char* bytesOf = static_cast<unsigned char*>(block);
    const std::size_t first = pages * part / parts * kHugePage;
    const std::size_t end = std::min(bytes, pages * (part + 1) / parts * kHugePage);
    for (std::size_t at = first; at < end; at += kPage) bytesOf[at] = 0;
  };
  // Parts are taken as they come: a thread the system refuses leaves its parts to the others.
  std::atomic<std::size_t> next{0};
  RunTeam(static_cast<int>(parts), [&](int) {
    for (std::size_t part; (part = next.fetch_add(1)) < parts;) touch(part);
  });
}

}  // namespace zavol::io
