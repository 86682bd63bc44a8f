#include "platform/real_file_system.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "platform/path.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace korvel {
namespace {

#ifdef _WIN32

// The system's message for `code` without the line end FormatMessage adds.
std::string DescribeError(DWORD code) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof(text), nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) --length;
  if (length == 0) return "Error " + std::to_string(code);
  return std::string(text, length);
}

void SetError(FileError* error, const std::string& path, DWORD code) {
  if (error != nullptr) *error = FileError{path, static_cast<int>(code), DescribeError(code)};
}

bool IsAbsolute(const std::string& path) {
  if (!path.empty() && (path[0] == '\\' || path[0] == '/')) return true;
  // "C:\x", and also the drive-relative "C:x", which a folder cannot prefix.
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

/// Owns a file HANDLE.
class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  /// Releases the handle; false when the system reported an error.
  bool Close() {
    if (!valid()) return true;
    const bool ok = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_;
};

/// Owns a FindFirstFile search.
class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;

  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// ReadFile and WriteFile move at most a DWORD at a time.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

class WinFile : public BinaryFile {
 public:
  explicit WinFile(HANDLE handle) : handle_(handle) {}

  std::optional<std::uint64_t> GetLength() override {
    LARGE_INTEGER size;
    if (!handle_.valid() || !GetFileSizeEx(handle_.get(), &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  bool Seek(std::uint64_t offset) override {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!handle_.valid() || offset > static_cast<std::uint64_t>(INT64_MAX) ||
        !SetFilePointerEx(handle_.get(), distance, nullptr, FILE_BEGIN)) {
      failed_ = true;
      return false;
    }
    return true;
  }

  std::size_t Read(void* data, std::size_t size) override {
    if (!handle_.valid()) {
      failed_ = true;
      return 0;
    }
    auto* out = static_cast<char*>(data);
    std::size_t total = 0;
    while (total < size) {
      const DWORD chunk = static_cast<DWORD>(std::min(size - total, kMaxTransfer));
      DWORD got = 0;
      if (!ReadFile(handle_.get(), out + total, chunk, &got, nullptr)) {
        failed_ = true;
        break;
      }
      if (got == 0) break;
      total += got;
    }
    return total;
  }

  bool Write(const void* data, std::size_t size) override {
    const auto* in = static_cast<const char*>(data);
    std::size_t total = 0;
    while (total < size) {
      const DWORD chunk = static_cast<DWORD>(std::min(size - total, kMaxTransfer));
      DWORD written = 0;
      if (!handle_.valid() || !WriteFile(handle_.get(), in + total, chunk, &written, nullptr) ||
          written == 0) {
        failed_ = write_failed_ = true;
        return false;
      }
      total += written;
    }
    return true;
  }

  bool Close() override {
    if (!handle_.valid()) return false;
    return handle_.Close() && !write_failed_;
  }

  bool failed() const override { return failed_; }

 private:
  Handle handle_;
  bool failed_ = false;
  bool write_failed_ = false;
};

#else  // POSIX

void SetError(FileError* error, const std::string& path, int code) {
  if (error != nullptr) *error = FileError{path, code, std::strerror(code)};
}

bool IsAbsolute(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && path.back() == '/';
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
bool WriteFully(int fd, const char* in, std::size_t size) {
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
      failed_ = true;
      return false;
    }
    return true;
  }

  std::size_t Read(void* data, std::size_t size) override {
    const ssize_t got = fd_.valid() ? ReadFully(fd_.get(), static_cast<char*>(data), size) : -1;
    if (got < 0) {
      failed_ = true;
      return 0;
    }
    return static_cast<std::size_t>(got);
  }

  bool Write(const void* data, std::size_t size) override {
    if (!fd_.valid() || !WriteFully(fd_.get(), static_cast<const char*>(data), size)) {
      failed_ = write_failed_ = true;
      return false;
    }
    return true;
  }

  bool Close() override {
    if (!fd_.valid()) return false;
    return fd_.Close() && !write_failed_;
  }

  bool failed() const override { return failed_; }

 private:
  FileDescriptor fd_;
  bool failed_ = false;
  bool write_failed_ = false;
};

#endif

}  // namespace

RealFileSystem::RealFileSystem(std::string working_folder, std::string program_path)
    : working_folder_(std::move(working_folder)), program_path_(std::move(program_path)) {}

std::string RealFileSystem::Resolve(const std::string& path) const {
  if (working_folder_.empty() || path.empty() || IsAbsolute(path)) return path;
  if (EndsWithSeparator(working_folder_)) return working_folder_ + path;
  return JoinPath(working_folder_, path);
}

#ifdef _WIN32

std::unique_ptr<BinaryFile> RealFileSystem::Open(const std::string& path, OpenMode mode,
                                                 FileError* error) {
  DWORD access = GENERIC_WRITE;
  DWORD share = 0;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case OpenMode::kReadShared:
      access = GENERIC_READ;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      break;
    case OpenMode::kCreateWrite:
      disposition = CREATE_ALWAYS;
      break;
    case OpenMode::kWriteExisting:
      break;
  }
  HANDLE handle = CreateFileA(Resolve(path).c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetError(error, path, GetLastError());
    return nullptr;
  }
  return std::make_unique<WinFile>(handle);
}

bool RealFileSystem::Copy(const std::string& from, const std::string& to) {
  return CopyFileA(Resolve(from).c_str(), Resolve(to).c_str(), FALSE) != 0;
}

bool RealFileSystem::Rename(const std::string& from, const std::string& to) {
  return MoveFileExA(Resolve(from).c_str(), Resolve(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool RealFileSystem::Remove(const std::string& path) {
  return DeleteFileA(Resolve(path).c_str()) != 0;
}

std::optional<std::string> RealFileSystem::FindFile(const std::string& path) {
  WIN32_FIND_DATAA data;
  FindHandle find(FindFirstFileA(Resolve(path).c_str(), &data));
  if (find.get() == INVALID_HANDLE_VALUE) return std::nullopt;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return std::string(data.cFileName);
  } while (FindNextFileA(find.get(), &data));
  return std::nullopt;
}

std::string RealFileSystem::ProgramPath() {
  if (!program_path_.empty()) return program_path_;
  // A truncated result fills the buffer exactly; try again with more room.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
    if (length == 0) return {};
    if (length < size) return std::string(buffer.data(), length);
    if (buffer.size() >= 65536) return {};
    buffer.resize(buffer.size() * 2);
  }
}

#else  // POSIX

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
  FileDescriptor out(OpenRetrying(target, O_WRONLY | O_CREAT | O_TRUNC, in_info.st_mode & 0777));
  if (!out.valid()) return false;
#ifdef __linux__
  // The kernel copies without the bytes passing through this process; where
  // it cannot (across file systems, older kernels) the loop below goes on
  // from wherever it stopped.
  for (;;) {
    const ssize_t copied =
        ::copy_file_range(in.get(), nullptr, out.get(), nullptr, std::size_t{1} << 30, 0);
    if (copied > 0) continue;
    if (copied == 0) return out.Close();
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return false;
    break;
  }
#endif
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t got = ReadFully(in.get(), buffer.data(), buffer.size());
    if (got < 0) return false;
    if (got == 0) break;
    if (!WriteFully(out.get(), buffer.data(), static_cast<std::size_t>(got))) return false;
  }
  return out.Close();
}

bool RealFileSystem::Rename(const std::string& from, const std::string& to) {
  return ::rename(Resolve(from).c_str(), Resolve(to).c_str()) == 0;
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

#endif

}  // namespace korvel
