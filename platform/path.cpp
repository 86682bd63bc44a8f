#include "platform/path.h"

namespace korvel {

std::string FolderOf(std::string_view path) {
#ifdef _WIN32
  // Windows takes a slash as a separator too, and the file chooser may hand
  // back either.
  const std::size_t cut = path.find_last_of("\\/");
#else
  const std::size_t cut = path.find_last_of(kPathSeparator);
#endif
  if (cut == std::string_view::npos) return {};
  return std::string(path.substr(0, cut));
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
