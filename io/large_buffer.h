// An allocator for whole-frame buffers: blocks of 2 MiB and more are mapped directly and asked
// for transparent huge pages, because first-touch page faults on a fresh 4K-sized frame cost more
// than rendering it. Linux only; falls back to the C heap for small blocks.
#pragma once

#include <cstddef>
#include <new>

namespace zavol::io {

void* AllocateLarge(std::size_t bytes);  // throws std::bad_alloc
void FreeLarge(void* block, std::size_t bytes) noexcept;
// Faults a fresh block's pages in on up to threads threads before a reader fills it in order:
// the kernel clears each page at its first touch, and on one thread that clearing costs a 4K
// frame's reader more than its decoding. The contents stay undefined.
void TouchLarge(void* block, std::size_t bytes, int threads) noexcept;

template <class T>
struct LargePageAllocator {
  using value_type = T;
  LargePageAllocator() = default;
  template <class U>
  LargePageAllocator(const LargePageAllocator<U>&) {}  // NOLINT: allocators convert implicitly
  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateLarge(n * sizeof(T)));
  }
  void deallocate(T* block, std::size_t n) noexcept { FreeLarge(block, n * sizeof(T)); }
  // Elements are written before they are read; skipping value-initialisation saves one pass
  // over the frame.
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) != 0) ::new (static_cast<void*>(p)) U(static_cast<Args&&>(args)...);
    else ::new (static_cast<void*>(p)) U;
  }
  friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) { return true; }
  friend bool operator!=(const LargePageAllocator&, const LargePageAllocator&) { return false; }
};

}  // namespace zavol::io
