#pragma once
// Paths as the tool forms them: the platform's separator between folder and
// name (a backslash on Windows, a slash elsewhere).

#include <string>
#include <string_view>

namespace korvel {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

/// `path` cut before its last separator: the folder without a trailing
/// separator. Empty when there is no separator.
std::string FolderOf(std::string_view path);

/// `folder` + separator + `name`.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace korvel
