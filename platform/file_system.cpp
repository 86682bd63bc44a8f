#include "platform/file_system.h"

namespace korvel {

ReadResult ReadWholeFile(FileSystem& fs, const std::string& path, Bytes& out,
                         std::uint64_t max_length) {
  auto file = fs.Open(path, OpenMode::kReadShared);
  if (!file) return ReadResult::kUnreadable;
  const auto length = file->GetLength();
  if (!length) return ReadResult::kUnreadable;
  if (*length > max_length) return ReadResult::kTooLarge;
  out.resize(*length);
  std::size_t got = 0;
  while (got < out.size()) {
    const std::size_t n = file->Read(out.data() + got, out.size() - got);
    if (n == 0) break;
    got += n;
  }
  // A file that grew or shrank since it was measured is not taken half.
  std::uint8_t probe = 0;
  if (got != out.size() || file->failed() || file->Read(&probe, 1) != 0) {
    return ReadResult::kUnreadable;
  }
  return ReadResult::kOk;
}

}  // namespace korvel
