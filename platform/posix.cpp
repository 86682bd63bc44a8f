// Everything the program asks of POSIX: the real file system's calls and the
// system helpers.

#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/path.h"
#include "platform/real_file_system.h"
#include "platform/system.h"

namespace korvel {

unsigned long ProcessId() {
  return static_cast<unsigned long>(::getpid());
}

std::string SystemErrorText(int code) {
  return std::strerror(code);
}

int DiskFullError() {
  return ENOSPC;
}

void SetBinaryMode(std::FILE*) {}

bool Cp949ToUtf8(std::string_view cp949, std::string& utf8) {
  const iconv_t cd = iconv_open("UTF-8", "CP949");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  // A Hangul syllable takes two bytes in CP949 and three in UTF-8.
  utf8.assign(cp949.size() * 3 / 2 + 4, '\0');
  char* in = const_cast<char*>(cp949.data());
  std::size_t in_left = cp949.size();
  char* out = utf8.data();
  std::size_t out_left = utf8.size();
  const std::size_t converted = iconv(cd, &in, &in_left, &out, &out_left);
  iconv_close(cd);
  if (converted == static_cast<std::size_t>(-1) || in_left != 0) return false;
  utf8.resize(utf8.size() - out_left);
  return true;
}

namespace {

void SetError(FileError* error, const std::string& path, int code) {
  if (error != nullptr) *error = FileError{path, code, SystemErrorText(code)};
}

/// Owns a file descriptor.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  /// Gives up ownership without closing.
  int release() { return std::exchange(fd_, -1); }
  /// Releases the descriptor; false when close() reported an error. Not
  /// retried on EINTR: Linux has released the descriptor by then.
  bool Close() {
    if (!valid()) return true;
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
};

int OpenRetrying(const std::string& path, int flags, mode_t mode = 0666) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// read() until `size` bytes, the end, or an error (-1 then).
ssize_t ReadFully(int fd, char* out, std::size_t size) {
  std::size_t total = 0;
  while (total < size) {
    const ssize_t got = ::read(fd, out + total, size - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(total);
}

// write() takes what it can each time; loop until all of it went out.
bool WriteAll(int fd, const char* in, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, in, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    in += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// On a virtual machine the kernel's first reads of each page of a large user
// buffer can cost more than the copy itself: 18 MB written at once took from
// 3 to 27 ms, the same bytes through one reused 256 KiB piece 4 to 5 ms every
// time. Large writes therefore go out through such a piece.
bool WriteFully(int fd, const char* in, std::size_t size) {
  constexpr std::size_t kPiece = 256 * 1024;
  if (size <= 4 * kPiece) return WriteAll(fd, in, size);
  thread_local std::unique_ptr<char[]> piece;
  if (!piece) piece = std::make_unique_for_overwrite<char[]>(kPiece);
  for (std::size_t at = 0; at < size; at += kPiece) {
    const std::size_t length = std::min(kPiece, size - at);
    std::memcpy(piece.get(), in + at, length);
    if (!WriteAll(fd, piece.get(), length)) return false;
  }
  return true;
}

class PosixFile : public BinaryFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}

  std::optional<std::uint64_t> GetLength() override {
    struct stat info;
    if (!fd_.valid() || ::fstat(fd_.get(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
  }

  bool Seek(std::uint64_t offset) override {
    if (!fd_.valid() || offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
        ::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) < 0) {
      Fail();
      return false;
    }
    return true;
  }

  std::size_t Read(void* data, std::size_t size) override {
    const ssize_t got = fd_.valid() ? ReadFully(fd_.get(), static_cast<char*>(data), size) : -1;
    if (got < 0) {
      Fail();
      return 0;
    }
    return static_cast<std::size_t>(got);
  }

  bool Write(const void* data, std::size_t size) override {
    if (!fd_.valid() || !WriteFully(fd_.get(), static_cast<const char*>(data), size)) {
      Fail();
      write_failed_ = true;
      return false;
    }
    return true;
  }

  bool Close() override {
    if (!fd_.valid()) return false;
    // A full disk may show only here, when delayed writes are placed.
    const bool closed = fd_.Close();
    if (!closed && error_code_ == 0) error_code_ = errno;
    return closed && !write_failed_;
  }

  bool failed() const override { return failed_; }
  int error_code() const override { return error_code_; }

 private:
  void Fail() {
    if (!failed_) error_code_ = errno;
    failed_ = true;
  }

  FileDescriptor fd_;
  bool failed_ = false;
  bool write_failed_ = false;
  int error_code_ = 0;
};

}  // namespace

std::unique_ptr<BinaryFile> RealFileSystem::Open(const std::string& path, OpenMode mode,
                                                 FileError* error) {
  int flags = O_WRONLY;
  switch (mode) {
    case OpenMode::kReadShared:
      flags = O_RDONLY;
      break;
    case OpenMode::kCreateWrite:
      flags = O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case OpenMode::kWriteExisting:
      break;
  }
  FileDescriptor fd(OpenRetrying(Resolve(path), flags));
  if (!fd.valid()) {
    SetError(error, path, errno);
    return nullptr;
  }
  // A folder opens for reading here but is never a file to the tool.
  struct stat info;
  if (::fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
    SetError(error, path, EISDIR);
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd.release());
}

namespace {

/// The lock files of one run; closing them releases their locks.
class HeldLocks : public FolderLock {
 public:
  ~HeldLocks() override {
    for (int fd : fds_) ::close(fd);
  }
  std::vector<int> fds_;
};

/// Opens the lock file at `path` read-only, made when missing; -1 with
/// `error` set when it cannot be used. Never follows a link, never waits on a
/// FIFO, and takes nothing but a regular file.
int OpenLockFile(const std::string& path, FileError* error) {
  constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK;
  // Without O_CREAT first: in a shared sticky folder (/tmp) the kernel may
  // refuse O_CREAT on another user's existing file.
  int fd = OpenRetrying(path, kFlags);
  if (fd < 0 && errno == ENOENT) {
    fd = OpenRetrying(path, kFlags | O_CREAT | O_EXCL, 0644);
    if (fd < 0 && errno == EEXIST) fd = OpenRetrying(path, kFlags);
  }
  struct stat info;
  if (fd < 0) {
    const int code = errno;
    if (code == ELOOP && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
      if (error != nullptr) {
        *error = FileError{path, code, std::string(kLockFileName) + " is a symbolic link"};
      }
    } else {
      SetError(error, path, code);
    }
    return -1;
  }
  FileDescriptor owned(fd);
  if (::fstat(fd, &info) != 0) {
    SetError(error, path, errno);
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    if (error != nullptr) {
      *error = FileError{path, EINVAL,
                         std::string(kLockFileName) + " is not a regular file (" +
                             (S_ISFIFO(info.st_mode) ? "a FIFO" : "a device or socket") + ")"};
    }
    return -1;
  }
  // The file holds nothing; readable by all, whatever the umask, it serves
  // every user's runs in a shared folder. flock works on a read-only one.
  if (info.st_uid == ::geteuid() && (info.st_mode & 07777) != 0644) ::fchmod(fd, 0644);
  return owned.release();
}

}  // namespace

LockResult RealFileSystem::LockFolders(const std::vector<std::string>& folders, bool wait,
                                       std::unique_ptr<FolderLock>& lock, FileError* error) {
  auto held = std::make_unique<HeldLocks>();
  // (device, inode, descriptor, path): the same file under two spellings is one.
  std::vector<std::tuple<dev_t, ino_t, int, std::string>> files;
  for (const std::string& folder : folders) {
    std::string path = LockFilePath(folder);
    const int fd = OpenLockFile(path, error);
    if (fd < 0) return LockResult::kFailed;
    held->fds_.push_back(fd);
    struct stat info;
    if (::fstat(fd, &info) != 0) {
      SetError(error, path, errno);
      return LockResult::kFailed;
    }
    files.emplace_back(info.st_dev, info.st_ino, fd, std::move(path));
  }
  std::sort(files.begin(), files.end());
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& [device, inode, fd, path] = files[i];
    if (i > 0 && device == std::get<0>(files[i - 1]) && inode == std::get<1>(files[i - 1])) {
      continue;
    }
    int locked;
    do {
      locked = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      if (errno == EWOULDBLOCK) return LockResult::kBusy;
      SetError(error, path, errno);
      return LockResult::kFailed;
    }
  }
  lock = std::move(held);
  return LockResult::kLocked;
}

bool RealFileSystem::Copy(const std::string& from, const std::string& to) {
  const std::string source = Resolve(from);
  const std::string target = Resolve(to);
  FileDescriptor in(OpenRetrying(source, O_RDONLY));
  struct stat in_info;
  if (!in.valid() || ::fstat(in.get(), &in_info) != 0 || !S_ISREG(in_info.st_mode)) return false;
  // Truncating the target would destroy a source that is the same file.
  struct stat out_info;
  if (::stat(target.c_str(), &out_info) == 0 && out_info.st_dev == in_info.st_dev &&
      out_info.st_ino == in_info.st_ino) {
    return false;
  }
  // The copy gets the bytes, never the mode: it is appended to afterwards,
  // so a read-only source must not make a read-only copy. Written beside the
  // target and renamed over it, which also replaces a stale read-only copy.
  const std::string temporary = Resolve(TemporaryName(to));
  FileDescriptor out(OpenRetrying(temporary, O_WRONLY | O_CREAT | O_EXCL, 0666));
  if (!out.valid()) return false;
  bool ok = true;
  bool done = false;
#ifdef __linux__
  // The kernel copies without the bytes passing through this process; where
  // it cannot (across file systems, older kernels) the loop below goes on
  // from wherever it stopped.
  while (!done) {
    const ssize_t copied =
        ::copy_file_range(in.get(), nullptr, out.get(), nullptr, std::size_t{1} << 30, 0);
    if (copied > 0 || (copied < 0 && errno == EINTR)) continue;
    if (copied < 0 &&
        (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
      break;
    }
    ok = copied == 0;
    done = true;
  }
#endif
  std::vector<char> buffer(done ? 0 : 64 * 1024);
  while (!done) {
    const ssize_t got = ReadFully(in.get(), buffer.data(), buffer.size());
    if (got <= 0 || !WriteFully(out.get(), buffer.data(), static_cast<std::size_t>(got))) {
      ok = got == 0;
      done = true;
    }
  }
  ok = out.Close() && ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

bool RealFileSystem::Rename(const std::string& from, const std::string& to, FileError* error) {
  const std::string source = Resolve(from), target = Resolve(to);
  // The new file takes the replaced one's permissions and, where allowed (as
  // root, or a group of ours), its owner: a 0600 file stays private.
  struct stat info;
  if (::lstat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    if (::chown(source.c_str(), info.st_uid, info.st_gid) != 0) {
      [[maybe_unused]] const int group_only =
          ::chown(source.c_str(), static_cast<uid_t>(-1), info.st_gid);
    }
    if (::chmod(source.c_str(), info.st_mode & 07777) != 0) {
      SetError(error, to, errno);
      return false;
    }
  }
  if (::rename(source.c_str(), target.c_str()) != 0) {
    SetError(error, to, errno);
    return false;
  }
  return true;
}

PathKind RealFileSystem::KindOf(const std::string& path, std::string* target) {
  std::string at = path;
  struct stat info;
  // Each link is read in turn, as the kernel follows them, up to its limit.
  for (int links = 0; links < 40; ++links) {
    if (::lstat(Resolve(at).c_str(), &info) != 0) break;
    if (!S_ISLNK(info.st_mode)) {
      if (target != nullptr) *target = at;
      if (S_ISREG(info.st_mode)) return PathKind::kFile;
      return S_ISDIR(info.st_mode) ? PathKind::kFolder : PathKind::kSpecial;
    }
    std::vector<char> buffer(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
    const ssize_t length = ::readlink(Resolve(at).c_str(), buffer.data(), buffer.size());
    if (length < 0 || static_cast<std::size_t>(length) >= buffer.size()) break;
    std::string next(buffer.data(), static_cast<std::size_t>(length));
    // A relative link is read from the folder the link lies in.
    if (const std::size_t cut = at.find_last_of('/');
        !IsAbsolutePath(next) && cut != std::string::npos) {
      next = at.substr(0, cut + 1) + next;
    }
    at = std::move(next);
  }
  if (target != nullptr) *target = at;
  return PathKind::kMissing;
}

bool RealFileSystem::Remove(const std::string& path) {
  return ::unlink(Resolve(path).c_str()) == 0;
}

std::optional<std::string> RealFileSystem::FindFile(const std::string& path) {
  struct stat info;
  if (::stat(Resolve(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  // Names are stored as given on a case-sensitive file system.
  const std::size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string RealFileSystem::ProgramPath() {
  if (!program_path_.empty()) return program_path_;
  // readlink does not say when it truncated; a full buffer means try larger.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    if (buffer.size() >= 65536) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace korvel
