#pragma once
// An in-memory file system for tests: files are byte strings keyed by their
// path exactly as given, and any single step can be told to fail.

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/bytes.h"
#include "platform/file_system.h"

namespace korvel::testing {

class MemoryFileSystem : public FileSystem {
 public:
  std::unique_ptr<BinaryFile> Open(const std::string& path, OpenMode mode,
                                   FileError* error = nullptr) override;
  bool Copy(const std::string& from, const std::string& to) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool Remove(const std::string& path) override { return files.erase(path) != 0; }
  std::optional<std::string> FindFile(const std::string& path) override;
  std::string ProgramPath() override { return "/program/korvel"; }
  /// Logs "lock F1 F2 ..."; a busy folder gives kBusy, or with `wait` is
  /// taken once "the other run" let go of it (logged "waited").
  LockResult LockFolders(const std::vector<std::string>& folders, bool wait,
                         std::unique_ptr<FolderLock>& lock, FileError* error = nullptr) override;
  /// `path` + ".tmp": one name, so tests can aim faults at it.
  std::string TemporaryName(const std::string& path) override { return path + ".tmp"; }

  void SetFile(const std::string& path, Bytes contents) { files[path] = std::move(contents); }
  void SetFile(const std::string& path, std::string_view text) {
    files[path] = Bytes(text.begin(), text.end());
  }
  bool Exists(const std::string& path) const { return files.count(path) != 0; }
  /// The file's bytes as a string; empty when missing.
  std::string Text(const std::string& path) const;

  /// Failure injection. Each applies to every later call on that path until
  /// cleared by assigning a new set.
  std::set<std::pair<std::string, OpenMode>> fail_open;
  std::set<std::string> fail_read;    ///< Read() returns 0 and failed()
  std::set<std::string> fail_copy;    ///< Copy() to this target fails
  std::set<std::string> fail_rename;  ///< Rename() to this target fails
  std::set<std::string> fail_close;   ///< Close() reports failure (data kept)
  /// A read that reaches this offset returns the bytes before it and fails.
  std::map<std::string, std::uint64_t> read_limit;
  /// Writes that would take the file past this many bytes fail.
  std::map<std::string, std::size_t> write_limit;
  /// Folders another run holds, and whether locking fails outright.
  std::set<std::string> busy_folders;
  bool fail_lock = false;
  /// Files without write permission: opening them for writing fails. Copy
  /// replaces such a target and gives it the bytes alone, as the disk does.
  std::set<std::string> read_only;

  std::map<std::string, Bytes> files;
  /// The folder locks taken and waited for, in order.
  std::vector<std::string> log;
};

}  // namespace korvel::testing
