#include "platform/path.h"

namespace korvel {

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == kPathSeparator;
#endif
}

/// Where the last separator of `path` is.
std::size_t LastSeparator(std::string_view path) {
#ifdef _WIN32
  // Windows takes a slash as a separator too, and the file chooser may hand
  // back either.
  return path.find_last_of("\\/");
#else
  return path.find_last_of(kPathSeparator);
#endif
}

}  // namespace

bool IsAbsolutePath(std::string_view path) {
  if (!path.empty() && IsSeparator(path[0])) return true;
#ifdef _WIN32
  // "C:\x", and also the drive-relative "C:x", which a folder cannot prefix.
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
#else
  return false;
#endif
}

bool EndsWithSeparator(std::string_view path) {
  return !path.empty() && IsSeparator(path.back());
}

std::string FolderOf(std::string_view path) {
  const std::size_t cut = LastSeparator(path);
  if (cut == std::string_view::npos) return {};
  return std::string(path.substr(0, cut));
}

std::string NameOf(std::string_view path) {
  const std::size_t cut = LastSeparator(path);
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined;
  joined.reserve(folder.size() + 1 + name.size());
  joined.append(folder);
  joined.push_back(kPathSeparator);
  joined.append(name);
  return joined;
}

}  // namespace korvel
