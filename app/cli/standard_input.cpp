#include "app/cli/standard_input.h"

#include <cerrno>
#include <cstdio>

#include "platform/system.h"

namespace korvel::cli {
namespace {

/// Standard input as a file that can only be read from its start.
class StandardInput : public BinaryFile {
 public:
  std::optional<std::uint64_t> GetLength() override { return std::nullopt; }
  bool Seek(std::uint64_t) override { return false; }
  std::size_t Read(void* data, std::size_t size) override {
    const std::size_t got = std::fread(data, 1, size, stdin);
    if (got < size && std::ferror(stdin) && error_code_ == 0)
      error_code_ = errno != 0 ? errno : EIO;
    return got;
  }
  bool Write(const void*, std::size_t) override { return false; }
  bool Close() override { return true; }
  bool failed() const override { return error_code_ != 0; }
  int error_code() const override { return error_code_; }

 private:
  int error_code_ = 0;
};

}  // namespace

std::unique_ptr<BinaryFile> StandardInputFile() {
  // The readers take line ends apart themselves; the runtime must not.
  SetBinaryMode(stdin);
  return std::make_unique<StandardInput>();
}

}  // namespace korvel::cli
