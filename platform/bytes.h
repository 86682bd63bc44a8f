#pragma once
// Explicit little-endian encoding into byte buffers. Every binary format the
// devices load is written through these helpers, never by dumping the memory
// of a struct, so host byte order and padding never reach a file.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/memory.h"

namespace korvel {

/// A byte buffer; from 2 MiB up it lies in huge pages.
using Bytes = std::vector<std::uint8_t, HugePageAllocator<std::uint8_t>>;

/// Appends little-endian fields to a byte buffer it does not own.
class ByteWriter {
 public:
  explicit ByteWriter(Bytes& out) : out_(out) {}

  void U8(std::uint8_t v) { out_.push_back(v); }
  void U16(std::uint16_t v) {
    out_.push_back(static_cast<std::uint8_t>(v));
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
      out_.push_back(static_cast<std::uint8_t>(v >> shift));
  }
  /// Raw bytes as they stand, no terminator.
  void Raw(std::string_view bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
  void Zeros(std::size_t count) { out_.insert(out_.end(), count, 0); }

  std::size_t size() const { return out_.size(); }

 private:
  Bytes& out_;
};

/// Little-endian readers over a buffer; the caller checks the bounds.
inline std::uint16_t LoadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
/// Overwrites two bytes at p with v, little-endian.
inline void StoreU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
/// Overwrites four bytes at p with v, little-endian.
inline void StoreU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace korvel
