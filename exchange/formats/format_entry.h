#pragma once
// One format's row in the table of formats: its names, its file name
// extensions, its reader, its writer when export writes it, and the test of
// a file's first bytes that tells it. Each format's module defines its row.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "exchange/formats/source.h"
#include "exchange/formats/writer.h"

namespace korvel {

/// The formats `import` reads.
enum class ImportFormat { kText, kCsv, kGeoJson, kGpx, kKml, kKmz, kOsm };

/// A file's first bytes as the formats' signatures see them.
struct FileStart {
  std::string_view bytes;  ///< as peeked
  std::string_view text;   ///< `bytes` after a UTF-8 byte-order mark and blanks
  std::string_view path;   ///< the file's name
};

/// What a file's first bytes say of one format.
enum class SignatureMatch {
  kNo,
  /// Whatever else the bytes hold: a magic number, UTF-16 markup, NUL bytes
  /// where the format reads them.
  kBinary,
  /// The start of the text, in a file without NUL bytes.
  kText,
};

struct FormatEntry {
  ImportFormat format;
  std::string_view name;                  ///< the name every command uses
  std::string_view other_name;            ///< also taken, or empty
  std::string_view extensions;            ///< blank-separated, lower case, without the dot
  std::optional<ExportFormat> export_as;  ///< nullopt: export does not write it
  CameraWriter writer = nullptr;          ///< the writer of `export_as`
  /// The reader; `default_type` is the TYPE of sources that carry none.
  std::unique_ptr<CameraSource> (*make_source)(int default_type) = nullptr;
  SignatureMatch (*signature)(const FileStart& start) = nullptr;
};

/// The extension of the file name `path` ends with, in lower case, without
/// the dot; empty for none.
inline std::string NameExtension(std::string_view path) {
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || path.find_first_of("/\\", dot) != std::string_view::npos) {
    return {};
  }
  std::string extension(path.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension;
}

/// Whether `text` is markup that holds `root` ("<gpx") in its first bytes.
inline bool MarkupHolds(std::string_view text, std::string_view root) {
  return text.starts_with("<") && text.find(root) != std::string_view::npos;
}

}  // namespace korvel
