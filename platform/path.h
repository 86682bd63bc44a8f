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

/// Whether `path` names its place without a folder before it: from the root
/// (or, on Windows, a drive).
bool IsAbsolutePath(std::string_view path);

/// Whether `path` ends with a separator.
bool EndsWithSeparator(std::string_view path);

/// `path` cut before its last separator: the folder without a trailing
/// separator. Empty when there is no separator.
std::string FolderOf(std::string_view path);

/// `path` after its last separator: the bare file name.
std::string NameOf(std::string_view path);

/// `folder` + separator + `name`.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace korvel
