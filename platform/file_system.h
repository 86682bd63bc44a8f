#pragma once
// The file calls the tool relies on, behind one interface: the real one works
// on the disk, the fakes in tests keep files in memory and can be told to fail
// any single step (an open, a write, a rename) so every failure path is tested.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace korvel {

/// Why a file operation failed: the system's error number and its own words.
struct FileError {
  std::string path;
  int code = 0;             ///< errno, or GetLastError() on Windows.
  std::string description;  ///< the system's description of `code`
};

/// How a binary file is opened; the three ways the tool ever needs.
enum class OpenMode {
  kReadShared,     ///< read only, others may read and write too
  kCreateWrite,    ///< write only; created, or truncated to zero when it exists
  kWriteExisting,  ///< write only; must exist, keeps its contents
};

/// One open file. Closing (explicitly or on destruction) releases it; only an
/// explicit Close() tells whether buffered data reached the disk.
class BinaryFile {
 public:
  virtual ~BinaryFile() = default;
  /// Current length in bytes; nullopt when the system cannot tell.
  virtual std::optional<std::uint64_t> GetLength() = 0;
  /// Moves to `offset` from the beginning; past the end is allowed for writing
  /// and the gap reads as zero bytes once something is written beyond it.
  virtual bool Seek(std::uint64_t offset) = 0;
  /// Reads up to `size` bytes; returns how many were read. Fewer than asked
  /// means the end was reached or a read failed (see failed()).
  virtual std::size_t Read(void* data, std::size_t size) = 0;
  /// Writes all `size` bytes or returns false.
  virtual bool Write(const void* data, std::size_t size) = 0;
  /// Flushes and releases the file; false when anything could not be written.
  virtual bool Close() = 0;
  /// True once a read, write or seek failed.
  virtual bool failed() const = 0;
};

/// Exclusive locks on the folders a run writes, held while this lives.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

enum class LockResult {
  kLocked,  ///< every folder is now this run's
  kBusy,    ///< another run holds one of them; nothing is held
  kFailed,  ///< a lock could not be taken at all
};

/// The lock file each locked folder gets. It stays in place afterwards; only
/// a run that is alive holds a lock on it, so it never blocks a later run.
inline constexpr char kLockFileName[] = ".korvel.lock";

/// The file system as the tool sees it. Relative paths are relative to the
/// working folder of the implementation (the process's current directory for
/// the real one unless it was given another).
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  /// Opens `path`; on failure returns null and, when `error` is given, fills it.
  virtual std::unique_ptr<BinaryFile> Open(const std::string& path, OpenMode mode,
                                           FileError* error = nullptr) = 0;
  /// Copies `from` over `to`, replacing an existing `to`.
  virtual bool Copy(const std::string& from, const std::string& to) = 0;
  /// Renames `from` to `to`, replacing an existing `to`.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  virtual bool Remove(const std::string& path) = 0;
  /// The name of the file at `path` as the file system stores it, or nullopt
  /// when there is no such file.
  virtual std::optional<std::string> FindFile(const std::string& path) = 0;
  /// Full path of the running program; its folder is where packages go.
  virtual std::string ProgramPath() = 0;
  /// Locks `folders` ("" is the working folder) for one run. A folder named
  /// twice, by any spelling, is locked once, and folders are taken in one
  /// order common to all runs, so two runs never wait for each other. With
  /// `wait` false a folder held by another run gives kBusy at once.
  virtual LockResult LockFolders(const std::vector<std::string>& folders, bool wait,
                                 std::unique_ptr<FolderLock>& lock, FileError* error = nullptr) = 0;
  /// A name beside `path`, in its folder, that no other run and no other
  /// call uses: where `path` is written before it is renamed into place.
  virtual std::string TemporaryName(const std::string& path) = 0;
};

/// A file written under a temporary name and renamed to its final name only
/// once whole: a reader of the final name sees the old file or the new one,
/// never a part. Dropped before Commit(), the temporary file is removed.
class StagedFile {
 public:
  StagedFile(FileSystem& fs, std::string path);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  /// Creates the temporary file, empty. Close it before Commit().
  std::unique_ptr<BinaryFile> Create(FileError* error = nullptr);
  /// Renames the temporary file to the final name.
  bool Commit();
  const std::string& temp_path() const { return temp_path_; }

 private:
  FileSystem& fs_;
  std::string path_;
  std::string temp_path_;
  bool created_ = false;
};

}  // namespace korvel
