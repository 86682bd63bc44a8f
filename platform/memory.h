#pragma once
// Large buffers in huge pages. A buffer of tens of megabytes in ordinary
// 4 KiB pages takes thousands of page faults to become present, and on a
// virtual machine each one is dear: 20 MB cost 50 ms that way against 2 ms
// in 2 MiB pages.

#include <cstddef>
#include <new>
#include <vector>

namespace korvel {

/// Asks the system to back the whole 2 MiB pages inside [data, data + size)
/// with huge pages. Only a hint: nothing happens where the system has no such
/// thing or declines.
void AdviseHugePages(void* data, std::size_t size);

/// Room for `bytes` bytes. From 2 MiB up the room is whole 2 MiB pages at a
/// 2 MiB boundary, advised as huge pages, so no part of it falls back to small
/// pages; below that it comes from operator new. Throws std::bad_alloc.
void* AllocateBuffer(std::size_t bytes);
/// Frees room from AllocateBuffer, given the same size.
void FreeBuffer(void* data, std::size_t bytes) noexcept;

/// A standard allocator over AllocateBuffer, for containers that may grow to
/// megabytes: the points of a run, the database image.
template <typename T>
class HugePageAllocator {
  static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

 public:
  using value_type = T;

  HugePageAllocator() noexcept = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateBuffer(n * sizeof(T)));
  }
  void deallocate(T* data, std::size_t n) noexcept { FreeBuffer(data, n * sizeof(T)); }

  template <typename U>
  bool operator==(const HugePageAllocator<U>&) const noexcept {
    return true;
  }
};

/// A vector in huge pages, for the large working buffers of one job.
template <typename T>
using HugeVector = std::vector<T, HugePageAllocator<T>>;

}  // namespace korvel
