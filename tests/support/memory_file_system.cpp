#include "tests/support/memory_file_system.h"

#include <algorithm>
#include <cstring>

namespace korvel::testing {
namespace {

// Codes and texts like the system's, so messages built from them look real.
constexpr int kFileNotFound = 2;  // ENOENT, and ERROR_FILE_NOT_FOUND on Windows
constexpr int kAccessDenied = 13;

/// An open file: works on the file system's bytes for its path, so a test sees
/// every write at once, as another reader of the disk would.
class MemoryFile : public BinaryFile {
 public:
  MemoryFile(MemoryFileSystem& fs, std::string path, OpenMode mode)
      : fs_(fs), path_(std::move(path)), mode_(mode) {}

  std::optional<std::uint64_t> GetLength() override {
    const Bytes* bytes = Contents();
    if (bytes == nullptr) return std::nullopt;
    return bytes->size();
  }

  bool Seek(std::uint64_t offset) override {
    position_ = offset;
    return !closed_ || Fail();
  }

  std::size_t Read(void* data, std::size_t size) override {
    const Bytes* bytes = Contents();
    if (bytes == nullptr || mode_ != OpenMode::kReadShared || fs_.fail_read.count(path_) != 0) {
      return Fail();
    }
    if (position_ >= bytes->size()) return 0;
    std::uint64_t end = std::min<std::uint64_t>(position_ + size, bytes->size());
    const auto limit = fs_.read_limit.find(path_);
    const bool fails = limit != fs_.read_limit.end() && end > limit->second;
    if (fails) end = std::max(limit->second, position_);
    const auto count = static_cast<std::size_t>(end - position_);
    if (count > 0) std::memcpy(data, bytes->data() + position_, count);
    position_ = end;
    if (fails) Fail();
    return count;
  }

  bool Write(const void* data, std::size_t size) override {
    Bytes* bytes = Contents();
    const auto limit = fs_.write_limit.find(path_);
    if (bytes == nullptr || mode_ == OpenMode::kReadShared ||
        (limit != fs_.write_limit.end() &&
         (size > limit->second || position_ > limit->second - size))) {
      write_failed_ = true;
      return Fail();
    }
    // Writing past the end fills the gap with zero bytes, as a disk does.
    const std::uint64_t end = position_ + size;
    if (bytes->size() < end) bytes->resize(static_cast<std::size_t>(end), 0);
    if (size > 0) std::memcpy(bytes->data() + position_, data, size);
    position_ = end;
    return true;
  }

  bool Close() override {
    if (closed_) return false;
    closed_ = true;
    return fs_.fail_close.count(path_) == 0 && !write_failed_;
  }

  bool failed() const override { return failed_; }

 private:
  // The file's bytes; null once closed or when a test removed the file.
  Bytes* Contents() {
    const auto it = fs_.files.find(path_);
    return closed_ || it == fs_.files.end() ? nullptr : &it->second;
  }
  bool Fail() {
    failed_ = true;
    return false;
  }

  MemoryFileSystem& fs_;
  const std::string path_;
  const OpenMode mode_;
  std::uint64_t position_ = 0;
  bool closed_ = false;
  bool failed_ = false;
  bool write_failed_ = false;
};

}  // namespace

std::unique_ptr<BinaryFile> MemoryFileSystem::Open(const std::string& path, OpenMode mode,
                                                   FileError* error) {
  if (fail_open.count({path, mode}) != 0 ||
      (mode != OpenMode::kReadShared && read_only.count(path) != 0)) {
    if (error != nullptr) *error = FileError{path, kAccessDenied, "Access is denied."};
    return nullptr;
  }
  if (mode == OpenMode::kCreateWrite) {
    files[path].clear();
  } else if (!Exists(path)) {
    if (error != nullptr) *error = FileError{path, kFileNotFound, "No such file or directory"};
    return nullptr;
  }
  return std::make_unique<MemoryFile>(*this, path, mode);
}

bool MemoryFileSystem::Copy(const std::string& from, const std::string& to) {
  // Like the disk, a file is not copied onto itself.
  if (fail_copy.count(to) != 0 || !Exists(from) || from == to) return false;
  files[to] = files[from];
  read_only.erase(to);
  return true;
}

bool MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  if (fail_rename.count(to) != 0 || !Exists(from)) return false;
  if (from != to) {
    files[to] = std::move(files[from]);
    files.erase(from);
  }
  return true;
}

LockResult MemoryFileSystem::LockFolders(const std::vector<std::string>& folders, bool wait,
                                         std::unique_ptr<FolderLock>& lock, FileError* error) {
  std::string entry = "lock";
  for (const std::string& folder : folders) entry += " " + folder;
  log.push_back(entry);
  if (fail_lock) {
    if (error != nullptr) *error = FileError{folders.front(), kAccessDenied, "Access is denied."};
    return LockResult::kFailed;
  }
  for (const std::string& folder : folders) {
    if (busy_folders.count(folder) == 0) continue;
    if (!wait) return LockResult::kBusy;
    busy_folders.erase(folder);
    log.push_back("waited");
  }
  lock = std::make_unique<FolderLock>();
  return LockResult::kLocked;
}

std::optional<std::string> MemoryFileSystem::FindFile(const std::string& path) {
  if (!Exists(path)) return std::nullopt;
  return path.substr(path.find_last_of("/\\") + 1);
}

std::string MemoryFileSystem::Text(const std::string& path) const {
  const auto it = files.find(path);
  return it == files.end() ? std::string() : std::string(it->second.begin(), it->second.end());
}

}  // namespace korvel::testing
