#include "platform/real_file_system.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <random>
#include <utility>

#include "platform/path.h"
#include "platform/system.h"

namespace korvel {

RealFileSystem::RealFileSystem(std::string working_folder, std::string program_path)
    : working_folder_(std::move(working_folder)), program_path_(std::move(program_path)) {}

std::string RealFileSystem::Resolve(const std::string& path) const {
  if (working_folder_.empty() || path.empty() || IsAbsolutePath(path)) return path;
  if (EndsWithSeparator(working_folder_)) return working_folder_ + path;
  return JoinPath(working_folder_, path);
}

std::string RealFileSystem::LockFilePath(const std::string& folder) const {
  if (folder.empty()) return Resolve(kLockFileName);
  if (EndsWithSeparator(folder)) return Resolve(folder + kLockFileName);
  return Resolve(JoinPath(folder, kLockFileName));
}

std::string RealFileSystem::TemporaryName(const std::string& path) {
  // The process id keeps runs apart, the random part a process that reuses
  // the id of a killed one, the count the calls of one process.
  static std::atomic<std::uint64_t> count{0};
  static const std::uint32_t random = std::random_device()();
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".~%lu-%08x-%llu.tmp", ProcessId(),
                static_cast<unsigned>(random), static_cast<unsigned long long>(++count));
  // A name is at most 255 bytes (or UTF-16 units); the suffix takes up to 46
  // of them, so a long name keeps only a prefix, cut between characters.
  constexpr std::size_t kKeptName = 64;
  const std::size_t name_length = NameOf(path).size();
  std::size_t keep = path.size();
  if (name_length > kKeptName) {
    keep = path.size() - name_length + kKeptName;
    while ((static_cast<unsigned char>(path[keep]) & 0xC0) == 0x80) --keep;
  }
  return path.substr(0, keep) + suffix;
}

}  // namespace korvel
