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

}  // namespace korvel
