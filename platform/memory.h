#pragma once
// Hints about large buffers to the system's memory manager.

#include <cstddef>
#include <vector>

namespace korvel {

/// Asks the system to back the whole 2 MiB pages inside [data, data + size)
/// with huge pages, so a buffer of tens of megabytes becomes present in a few
/// dozen page faults instead of thousands. Only a hint: nothing happens where
/// the system has no such thing or declines.
void AdviseHugePages(void* data, std::size_t size);

/// The same for the room a vector has reserved.
template <typename T>
void AdviseHugePages(std::vector<T>& buffer) {
  AdviseHugePages(buffer.data(), buffer.capacity() * sizeof(T));
}

}  // namespace korvel
