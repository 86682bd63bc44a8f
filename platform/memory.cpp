#include "platform/memory.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace korvel {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t WholeHugePages(std::size_t bytes) {
  if (bytes > static_cast<std::size_t>(-1) - kHugePage) throw std::bad_alloc();
  return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

}  // namespace

void AdviseHugePages([[maybe_unused]] void* data, [[maybe_unused]] std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + size) & ~(kHugePage - 1);
  // Smaller buffers gain nothing worth a system call.
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

void* AllocateBuffer(std::size_t bytes) {
  if (bytes < kHugePage) return ::operator new(bytes);
  const std::size_t room = WholeHugePages(bytes);
  void* data = ::operator new (room, std::align_val_t{kHugePage});
  AdviseHugePages(data, room);
  return data;
}

void FreeBuffer(void* data, std::size_t bytes) noexcept {
  if (bytes < kHugePage) {
    ::operator delete(data);
  } else {
    ::operator delete (data, std::align_val_t{kHugePage});
  }
}

}  // namespace korvel
