// Everything the program asks of Win32: the real file system's calls and the
// system helpers.

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/path.h"
#include "platform/real_file_system.h"
#include "platform/system.h"

namespace korvel {

unsigned long ProcessId() {
  return GetCurrentProcessId();
}

bool Cp949ToUtf8(std::string_view cp949, std::string& utf8) {
  utf8.clear();
  if (cp949.empty()) return true;
  if (cp949.size() > 0x7FFFFFFF) return false;
  const int length = static_cast<int>(cp949.size());
  const int wide_length =
      MultiByteToWideChar(949, MB_ERR_INVALID_CHARS, cp949.data(), length, nullptr, 0);
  if (wide_length <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  MultiByteToWideChar(949, MB_ERR_INVALID_CHARS, cp949.data(), length, wide.data(), wide_length);
  const int utf8_length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
  if (utf8_length <= 0) return false;
  utf8.resize(static_cast<std::size_t>(utf8_length));
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, utf8.data(), utf8_length, nullptr,
                      nullptr);
  return true;
}

std::string SystemErrorText(int code) {
  // Without the line end FormatMessage adds.
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(code), 0, text, sizeof(text), nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) --length;
  if (length == 0) return "Error " + std::to_string(code);
  return std::string(text, length);
}

int DiskFullError() {
  return ERROR_DISK_FULL;
}

void SetBinaryMode(std::FILE* stream) {
  std::fflush(stream);
  _setmode(_fileno(stream), _O_BINARY);
}

namespace {

void SetError(FileError* error, const std::string& path, DWORD code) {
  if (error != nullptr) {
    *error = FileError{path, static_cast<int>(code), SystemErrorText(static_cast<int>(code))};
  }
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
      Fail();
      return false;
    }
    return true;
  }

  std::size_t Read(void* data, std::size_t size) override {
    if (!handle_.valid()) {
      Fail();
      return 0;
    }
    auto* out = static_cast<char*>(data);
    std::size_t total = 0;
    while (total < size) {
      const DWORD chunk = static_cast<DWORD>(std::min(size - total, kMaxTransfer));
      DWORD got = 0;
      if (!ReadFile(handle_.get(), out + total, chunk, &got, nullptr)) {
        Fail();
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
        Fail();
        write_failed_ = true;
        return false;
      }
      total += written;
    }
    return true;
  }

  bool Close() override {
    if (!handle_.valid()) return false;
    const bool closed = handle_.Close();
    if (!closed && error_code_ == 0) error_code_ = static_cast<int>(GetLastError());
    return closed && !write_failed_;
  }

  bool failed() const override { return failed_; }
  int error_code() const override { return error_code_; }

 private:
  void Fail() {
    if (!failed_) error_code_ = static_cast<int>(GetLastError());
    failed_ = true;
  }

  Handle handle_;
  bool failed_ = false;
  bool write_failed_ = false;
  int error_code_ = 0;
};

}  // namespace

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

namespace {

/// Clears the read-only attribute of an existing file; true when there is
/// none left (or no such file).
bool MakeWritable(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return true;
  }
  return SetFileAttributesA(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0;
}

/// Volume and file index of the file at `path`, which identify it whatever
/// the spelling; nullopt when it cannot be opened.
std::optional<std::pair<DWORD, std::uint64_t>> FileIdentity(const std::string& path) {
  Handle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.valid() || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return std::pair{info.dwVolumeSerialNumber,
                   (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

/// The lock files of one run, each locked or still to be locked.
class HeldLocks : public FolderLock {
 public:
  ~HeldLocks() override {
    for (HANDLE handle : locked_) {
      OVERLAPPED where = {};
      UnlockFileEx(handle, 0, 1, 0, &where);
    }
    for (HANDLE handle : handles_) CloseHandle(handle);
  }
  std::vector<HANDLE> handles_;
  std::vector<HANDLE> locked_;
};

}  // namespace

bool RealFileSystem::Copy(const std::string& from, const std::string& to) {
  // The copy gets the bytes, not the read-only attribute: the working copy is
  // appended to afterwards. A stale read-only target is replaced.
  const std::string source = Resolve(from);
  const std::string target = Resolve(to);
  // A file is not copied onto itself.
  const auto source_id = FileIdentity(source);
  if (!source_id || source_id == FileIdentity(target)) return false;
  const std::string temporary = Resolve(TemporaryName(to));
  if (!CopyFileA(source.c_str(), temporary.c_str(), TRUE)) return false;
  if (MakeWritable(temporary) && MakeWritable(target) &&
      MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  DeleteFileA(temporary.c_str());
  return false;
}

LockResult RealFileSystem::LockFolders(const std::vector<std::string>& folders, bool wait,
                                       std::unique_ptr<FolderLock>& lock, FileError* error) {
  auto held = std::make_unique<HeldLocks>();
  // (volume, file index, handle): the same file under two spellings is one.
  std::vector<std::tuple<DWORD, std::uint64_t, HANDLE, std::string>> files;
  for (const std::string& folder : folders) {
    const std::string path = LockFilePath(folder);
    // The link itself is opened, never what it points to, and only a file on
    // a disk is taken: a link or a device there is refused.
    HANDLE handle = CreateFileA(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      SetError(error, path, GetLastError());
      return LockResult::kFailed;
    }
    held->handles_.push_back(handle);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
      SetError(error, path, GetLastError());
      return LockResult::kFailed;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
      if (error != nullptr) {
        *error = FileError{path, ERROR_INVALID_PARAMETER,
                           std::string(kLockFileName) + " is not a regular file"};
      }
      return LockResult::kFailed;
    }
    files.emplace_back(info.dwVolumeSerialNumber,
                       (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, handle,
                       path);
  }
  std::sort(files.begin(), files.end());
  const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (i > 0 && std::get<0>(files[i]) == std::get<0>(files[i - 1]) &&
        std::get<1>(files[i]) == std::get<1>(files[i - 1])) {
      continue;
    }
    const HANDLE handle = std::get<2>(files[i]);
    OVERLAPPED where = {};
    if (!LockFileEx(handle, flags, 0, 1, 0, &where)) {
      const DWORD code = GetLastError();
      if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) return LockResult::kBusy;
      SetError(error, std::get<3>(files[i]), code);
      return LockResult::kFailed;
    }
    held->locked_.push_back(handle);
  }
  lock = std::move(held);
  return LockResult::kLocked;
}

bool RealFileSystem::Rename(const std::string& from, const std::string& to, FileError* error) {
  const std::string source = Resolve(from), target = Resolve(to);
  // A read-only file is replaced by a read-only one. MoveFileEx will not
  // replace it while it is read-only, so the attribute is lifted for the
  // move and set again on whichever file then holds the name.
  const DWORD attributes = GetFileAttributesA(target.c_str());
  const bool read_only = attributes != INVALID_FILE_ATTRIBUTES &&
                         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only) SetFileAttributesA(target.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  const bool moved = MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  const DWORD code = moved ? 0 : GetLastError();
  if (read_only) {
    SetFileAttributesA(target.c_str(),
                       GetFileAttributesA(target.c_str()) | FILE_ATTRIBUTE_READONLY);
  }
  if (!moved) SetError(error, to, code);
  return moved;
}

PathKind RealFileSystem::KindOf(const std::string& path, std::string* target) {
  if (target != nullptr) *target = path;
  const std::string resolved = Resolve(path);
  const DWORD attributes = GetFileAttributesA(resolved.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder : PathKind::kFile;
  }
  // Devices (NUL, CON, \\.\ paths) and links: ask the file itself.
  Handle file(CreateFileA(resolved.c_str(), FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.valid()) return PathKind::kMissing;
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return PathKind::kSpecial;
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  // A link: the file it ends at is the one replaced.
  char final_path[32768];
  const DWORD length =
      GetFinalPathNameByHandleA(file.get(), final_path, sizeof final_path, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= sizeof final_path) return PathKind::kMissing;
  if (target != nullptr) *target = std::string(final_path, length);
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info)) return PathKind::kMissing;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder
                                                                 : PathKind::kFile;
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

}  // namespace korvel
