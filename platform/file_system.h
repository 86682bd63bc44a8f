#pragma once
// The file calls the tool relies on, behind one interface: the real one works
// on the disk, the fakes in tests keep files in memory and can be told to fail
// any single step (an open, a write, a rename) so every failure path is tested.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
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
  /// The system's error number of the first step that failed (as
  /// FileError::code holds it); 0 while none has, or when the system gave none.
  virtual int error_code() const = 0;
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

/// What a path names once its symbolic links are followed.
enum class PathKind {
  kMissing,  ///< nothing, or a link to nothing
  kFile,     ///< a regular file: replaced whole by a staged write
  kFolder,
  kSpecial,  ///< a device, FIFO or socket: written into, never replaced
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
  /// Renames `from` to `to`, replacing an existing `to`. A replaced file
  /// passes its permissions on (and its owner, where the process may set it),
  /// so writing a file anew never widens who may read or change it.
  virtual bool Rename(const std::string& from, const std::string& to,
                      FileError* error = nullptr) = 0;
  virtual bool Remove(const std::string& path) = 0;
  /// The name of the file at `path` as the file system stores it, or nullopt
  /// when there is no such file.
  virtual std::optional<std::string> FindFile(const std::string& path) = 0;
  /// What `path` names, symbolic links followed. When it is a link,
  /// `target` (if given) gets the path the links end at, the place where a
  /// new file for `path` has to be written; otherwise it gets `path`.
  virtual PathKind KindOf(const std::string& path, std::string* target = nullptr) = 0;
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

/// LockFolders(), first without waiting; when another run holds a folder,
/// calls `waiting` once and waits for it.
LockResult LockFoldersWaiting(FileSystem& fs, const std::vector<std::string>& folders,
                              std::unique_ptr<FolderLock>& lock, FileError* error,
                              const std::function<void()>& waiting);

/// A file written under a temporary name and renamed to its final name only
/// once whole: a reader of the final name sees the old file or the new one,
/// never a part. Dropped before Commit(), the temporary file is removed.
///
/// What is already at the final name decides where the bytes go. A symbolic
/// link is kept and the file it points to is replaced, staged beside that
/// file. A device or FIFO (/dev/null, /dev/stdout, a pipe) is never replaced:
/// the bytes are written straight into it.
class StagedFile {
 public:
  StagedFile(FileSystem& fs, std::string path);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  /// Creates the temporary file, empty (or opens the device). Close it before
  /// Commit().
  std::unique_ptr<BinaryFile> Create(FileError* error = nullptr);
  /// Renames the temporary file to the final name; with `error` given, says why not.
  bool Commit(FileError* error = nullptr);
  /// Where the bytes are written until Commit().
  const std::string& temp_path() const { return temp_path_; }
  /// The file that Commit() replaces: the final name, or where its links end.
  const std::string& target() const { return target_; }
  /// Whether the final name is a device or FIFO written in place.
  bool direct() const { return direct_; }

 private:
  FileSystem& fs_;
  std::string target_;
  std::string temp_path_;
  bool direct_ = false;
  bool created_ = false;
};

/// Writes `bytes` whole to `path` through a StagedFile, but leaves the
/// rename to the caller, so several files can be made complete before any
/// takes its name. False with `error` set (for `path`) when it cannot.
bool StageBytes(StagedFile& staged, std::span<const std::uint8_t> bytes, FileError& error);

}  // namespace korvel
