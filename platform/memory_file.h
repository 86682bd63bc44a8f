#pragma once
// A file whose bytes lie in memory: what a text already read is parsed
// through, the way the tool reads files from disk.

#include <cstdint>
#include <optional>

#include "platform/bytes.h"
#include "platform/file_system.h"

namespace korvel {

/// Reads and writes `bytes`, which it does not own and which must outlive
/// it. Writing past the end fills the gap with zero bytes, as a disk does.
class MemoryFile : public BinaryFile {
 public:
  explicit MemoryFile(Bytes& bytes) : bytes_(bytes) {}

  std::optional<std::uint64_t> GetLength() override { return bytes_.size(); }
  bool Seek(std::uint64_t offset) override;
  std::size_t Read(void* data, std::size_t size) override;
  bool Write(const void* data, std::size_t size) override;
  bool Close() override { return true; }
  bool failed() const override { return false; }
  int error_code() const override { return 0; }

 private:
  Bytes& bytes_;
  std::size_t position_ = 0;
};

}  // namespace korvel
