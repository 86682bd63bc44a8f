#pragma once

#include <string>

#include "platform/file_system.h"

namespace korvel {

/// The disk. Relative paths are taken relative to `working_folder` (the
/// process's current directory when empty); ProgramPath() is `program_path`
/// when given, else the running executable's full path.
class RealFileSystem : public FileSystem {
 public:
  explicit RealFileSystem(std::string working_folder = {}, std::string program_path = {});

  std::unique_ptr<BinaryFile> Open(const std::string& path, OpenMode mode,
                                   FileError* error = nullptr) override;
  bool Copy(const std::string& from, const std::string& to) override;
  bool Rename(const std::string& from, const std::string& to, FileError* error = nullptr) override;
  bool Remove(const std::string& path) override;
  std::optional<std::string> FindFile(const std::string& path) override;
  PathKind KindOf(const std::string& path, std::string* target = nullptr) override;
  std::string ProgramPath() override;
  LockResult LockFolders(const std::vector<std::string>& folders, bool wait,
                         std::unique_ptr<FolderLock>& lock, FileError* error = nullptr) override;
  /// "<path>.~<process id>-<random>-<count>.tmp", the name cut to its first
  /// 64 bytes when longer, so any name the system takes leaves room for it.
  std::string TemporaryName(const std::string& path) override;

 private:
  std::string Resolve(const std::string& path) const;
  /// The lock file of `folder`, resolved.
  std::string LockFilePath(const std::string& folder) const;

  std::string working_folder_;
  std::string program_path_;
};

}  // namespace korvel
