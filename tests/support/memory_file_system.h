#pragma once
// An in-memory file system for tests: files are byte strings keyed by their
// path exactly as given, and any single step can be told to fail.

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/bytes.h"
#include "platform/file_system.h"
#include "platform/system.h"

namespace korvel::testing {

class MemoryFileSystem : public FileSystem {
 public:
  std::unique_ptr<BinaryFile> Open(const std::string& path, OpenMode mode,
                                   FileError* error = nullptr) override {
    // Codes as the system's: ERROR_ACCESS_DENIED is 13 as EACCES is,
    // ERROR_FILE_NOT_FOUND 2 as ENOENT is.
    const bool denied = fail_open.count({path, mode}) != 0 ||
                        (mode != OpenMode::kReadShared && read_only.count(path) != 0);
    if (denied || (mode != OpenMode::kCreateWrite && !Exists(path))) {
      if (error != nullptr) *error = FileError{path, denied ? 13 : 2, ""};
      return nullptr;
    }
    if (mode == OpenMode::kCreateWrite) files[path].clear();
    return std::make_unique<File>(*this, path, mode);
  }
  /// Like the disk, a file is not copied onto itself, and the copy of a
  /// read-only file is not read-only.
  bool Copy(const std::string& from, const std::string& to) override {
    if (fail_copy.count(to) != 0 || !Exists(from) || from == to) return false;
    files[to] = files[from];
    read_only.erase(to);
    return true;
  }
  bool Rename(const std::string& from, const std::string& to, FileError* error = nullptr) override {
    if (fail_rename.count(to) != 0 || !Exists(from)) {
      if (error != nullptr) *error = FileError{to, Exists(from) ? 13 : 2, ""};
      return false;
    }
    Bytes bytes = std::move(files[from]);
    files.erase(from);
    files[to] = std::move(bytes);
    return true;
  }
  bool Remove(const std::string& path) override { return files.erase(path) != 0; }
  std::optional<std::string> FindFile(const std::string& path) override {
    if (!Exists(path)) return std::nullopt;
    return path.substr(path.find_last_of("/\\") + 1);
  }
  /// Links are followed through `links`; `special` names devices and FIFOs.
  PathKind KindOf(const std::string& path, std::string* target = nullptr) override {
    std::string at = path;
    for (auto link = links.find(at); link != links.end(); link = links.find(at)) at = link->second;
    if (target != nullptr) *target = at;
    if (special.count(at) != 0) return PathKind::kSpecial;
    return Exists(at) ? PathKind::kFile : PathKind::kMissing;
  }
  std::string ProgramPath() override { return "/program/korvel"; }
  /// Logs "lock F1 F2 ..."; a busy folder gives kBusy, or with `wait` is
  /// taken once "the other run" let go of it (logged "waited").
  LockResult LockFolders(const std::vector<std::string>& folders, bool wait,
                         std::unique_ptr<FolderLock>& lock, FileError* error = nullptr) override {
    std::string entry = "lock";
    for (const std::string& folder : folders) entry += " " + folder;
    log.push_back(entry);
    if (fail_lock) {
      if (error != nullptr) *error = FileError{folders.front(), 13, ""};
      return LockResult::kFailed;
    }
    for (const std::string& folder : folders) {
      if (busy_folders.count(folder) == 0) continue;
      if (!wait) return LockResult::kBusy;
      busy_folders.erase(folder);
      log.push_back("waited");
      // What the other run did before it let go.
      if (other_run) std::exchange(other_run, nullptr)();
    }
    lock = std::make_unique<FolderLock>();
    return LockResult::kLocked;
  }
  /// `path` + ".tmp": one name, so tests can aim faults at it.
  std::string TemporaryName(const std::string& path) override { return path + ".tmp"; }

  void SetFile(const std::string& path, Bytes bytes) { files[path] = std::move(bytes); }
  void SetFile(const std::string& path, std::string_view text) {
    files[path] = Bytes(text.begin(), text.end());
  }
  bool Exists(const std::string& path) const { return files.count(path) != 0; }
  /// The file's bytes as a string; empty when missing.
  std::string Text(const std::string& path) const {
    const auto it = files.find(path);
    return it == files.end() ? std::string() : std::string(it->second.begin(), it->second.end());
  }

  /// Failure injection, for every later call on that path.
  std::set<std::pair<std::string, OpenMode>> fail_open;
  /// A read reaching this offset returns the bytes before it and fails.
  std::map<std::string, std::uint64_t> fail_read_at;
  std::set<std::string> fail_write;   ///< every Write() fails (ENOSPC), and then Close()
  std::set<std::string> fail_close;   ///< Close() reports failure (data kept)
  std::set<std::string> fail_copy;    ///< Copy() to this target fails
  std::set<std::string> fail_rename;  ///< Rename() to this target fails
  /// Files without write permission: opening them for writing fails.
  std::set<std::string> read_only;
  /// Folders another run holds, and whether locking fails outright.
  std::set<std::string> busy_folders;
  bool fail_lock = false;
  /// Run once while this run waits for a busy folder: the other run's work.
  std::function<void()> other_run;
  /// Symbolic links (path to what it names) and devices or FIFOs.
  std::map<std::string, std::string> links;
  std::set<std::string> special;

  std::map<std::string, Bytes> files;
  /// The folder locks taken and waited for, in order.
  std::vector<std::string> log;

 private:
  /// Works on the file system's bytes for its path, so a test sees every
  /// write at once, as another reader of the disk would.
  class File : public BinaryFile {
   public:
    File(MemoryFileSystem& fs, std::string path, OpenMode mode)
        : fs_(fs), path_(std::move(path)), mode_(mode) {}
    std::optional<std::uint64_t> GetLength() override { return fs_.files[path_].size(); }
    bool Seek(std::uint64_t offset) override {
      position_ = offset;
      return true;
    }
    std::size_t Read(void* data, std::size_t size) override {
      const Bytes& bytes = fs_.files[path_];
      std::uint64_t end = std::min<std::uint64_t>(position_ + size, bytes.size());
      const auto limit = fs_.fail_read_at.find(path_);
      const bool limited = limit != fs_.fail_read_at.end() && end > limit->second;
      if (limited || mode_ != OpenMode::kReadShared) {
        failed_ = true;
        end = limited && mode_ == OpenMode::kReadShared ? limit->second : 0;
      }
      const std::size_t count = end > position_ ? static_cast<std::size_t>(end - position_) : 0;
      if (count > 0) std::memcpy(data, bytes.data() + position_, count);
      position_ += count;
      return count;
    }
    bool Write(const void* data, std::size_t size) override {
      if (mode_ == OpenMode::kReadShared || fs_.fail_write.count(path_) != 0) {
        write_failed_ = failed_ = true;
        error_code_ = DiskFullError();
        return false;
      }
      // Writing past the end fills the gap with zero bytes, as a disk does.
      Bytes& bytes = fs_.files[path_];
      bytes.resize(std::max<std::size_t>(bytes.size(), position_ + size));
      if (size > 0) std::memcpy(bytes.data() + position_, data, size);
      position_ += size;
      return true;
    }
    bool Close() override { return fs_.fail_close.count(path_) == 0 && !write_failed_; }
    bool failed() const override { return failed_; }
    int error_code() const override { return error_code_; }

   private:
    MemoryFileSystem& fs_;
    const std::string path_;
    const OpenMode mode_;
    std::uint64_t position_ = 0;
    bool failed_ = false;
    bool write_failed_ = false;
    int error_code_ = 0;
  };
};

}  // namespace korvel::testing
