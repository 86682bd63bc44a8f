#include "platform/file_system.h"

#include <utility>

#include "platform/system.h"

namespace korvel {

StagedFile::StagedFile(FileSystem& fs, std::string path) : fs_(fs), target_(std::move(path)) {
  const std::string given = target_;
  const PathKind kind = fs_.KindOf(given, &target_);
  direct_ = kind == PathKind::kSpecial;
  temp_path_ = direct_ ? target_ : fs_.TemporaryName(target_);
}

StagedFile::~StagedFile() {
  if (created_ && !direct_) fs_.Remove(temp_path_);
}

std::unique_ptr<BinaryFile> StagedFile::Create(FileError* error) {
  auto file =
      fs_.Open(temp_path_, direct_ ? OpenMode::kWriteExisting : OpenMode::kCreateWrite, error);
  created_ = created_ || file != nullptr;
  return file;
}

bool StagedFile::Commit(FileError* error) {
  if (!created_) return false;
  if (direct_) return true;
  if (!fs_.Rename(temp_path_, target_, error)) return false;
  created_ = false;
  return true;
}

LockResult LockFoldersWaiting(FileSystem& fs, const std::vector<std::string>& folders,
                              std::unique_ptr<FolderLock>& lock, FileError* error,
                              const std::function<void()>& waiting) {
  const LockResult result = fs.LockFolders(folders, false, lock, error);
  if (result != LockResult::kBusy) return result;
  if (waiting) waiting();
  return fs.LockFolders(folders, true, lock, error);
}

bool StageBytes(StagedFile& staged, std::span<const std::uint8_t> bytes, FileError& error) {
  auto file = staged.Create(&error);
  if (!file) {
    error.path = staged.target();
    return false;
  }
  const bool written = file->Write(bytes.data(), bytes.size());
  const bool closed = file->Close();
  if (written && closed) return true;
  // A full disk shows at the write or, with delayed allocation, only at close.
  const int code = file->error_code();
  error = FileError{staged.target(), code, code != 0 ? SystemErrorText(code) : "write failed"};
  return false;
}

}  // namespace korvel
