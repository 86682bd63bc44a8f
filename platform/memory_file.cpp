#include "platform/memory_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace korvel {

bool MemoryFile::Seek(std::uint64_t offset) {
  if (offset > std::numeric_limits<std::size_t>::max()) return false;
  position_ = static_cast<std::size_t>(offset);
  return true;
}

std::size_t MemoryFile::Read(void* data, std::size_t size) {
  if (position_ >= bytes_.size()) return 0;
  const std::size_t count = std::min(size, bytes_.size() - position_);
  std::memcpy(data, bytes_.data() + position_, count);
  position_ += count;
  return count;
}

bool MemoryFile::Write(const void* data, std::size_t size) {
  if (bytes_.size() < position_ + size) bytes_.resize(position_ + size);
  if (size > 0) std::memcpy(bytes_.data() + position_, data, size);
  position_ += size;
  return true;
}

}  // namespace korvel
