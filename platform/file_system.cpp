#include "platform/file_system.h"

#include <utility>

namespace korvel {

StagedFile::StagedFile(FileSystem& fs, std::string path)
    : fs_(fs), path_(std::move(path)), temp_path_(fs.TemporaryName(path_)) {}

StagedFile::~StagedFile() {
  if (created_) fs_.Remove(temp_path_);
}

std::unique_ptr<BinaryFile> StagedFile::Create(FileError* error) {
  auto file = fs_.Open(temp_path_, OpenMode::kCreateWrite, error);
  created_ = created_ || file != nullptr;
  return file;
}

bool StagedFile::Commit() {
  if (!created_ || !fs_.Rename(temp_path_, path_)) return false;
  created_ = false;
  return true;
}

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
