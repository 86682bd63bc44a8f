#include "exchange/formats/format_table.h"

#include <vector>

#include "exchange/formats/csv.h"
#include "exchange/formats/geojson.h"
#include "exchange/formats/gpx_kml.h"
#include "exchange/formats/osm.h"
#include "exchange/formats/text.h"

namespace korvel {
namespace {

/// The rows, in the order the help lists them. A copy made on first use:
/// each row is defined in its format's module.
std::span<const FormatEntry> Formats() {
  static const FormatEntry formats[] = {kTextFormat, kCsvFormat, kGeoJsonFormat, kGpxFormat,
                                        kKmlFormat,  kKmzFormat, kOsmFormat};
  return formats;
}

const FormatEntry& EntryOf(ImportFormat format) {
  for (const FormatEntry& entry : Formats()) {
    if (entry.format == format) return entry;
  }
  return Formats().front();  // every ImportFormat has a row
}

const FormatEntry* EntryNamed(std::string_view name) {
  for (const FormatEntry& entry : Formats()) {
    if (name == entry.name || (!entry.other_name.empty() && name == entry.other_name)) {
      return &entry;
    }
  }
  return nullptr;
}

/// Whether the blank-separated `list` holds `word`.
bool ListHolds(std::string_view list, std::string_view word) {
  while (!list.empty()) {
    const std::size_t blank = list.find(' ');
    if (list.substr(0, blank) == word) return true;
    if (blank == std::string_view::npos) break;
    list.remove_prefix(blank + 1);
  }
  return false;
}

/// The format a file name's extension stands for.
std::optional<ImportFormat> FormatOfName(std::string_view path) {
  const std::string extension = NameExtension(path);
  for (const FormatEntry& entry : Formats()) {
    if (!extension.empty() && ListHolds(entry.extensions, extension)) return entry.format;
  }
  return std::nullopt;
}

/// The order the formats' binary signatures are asked in: the magic numbers
/// of compressed or PBF OpenStreetMap data over a zip archive's, both over
/// UTF-16 markup, and NUL bytes in a .csv last.
constexpr ImportFormat kBinaryOrder[] = {ImportFormat::kOsm, ImportFormat::kKmz, ImportFormat::kGpx,
                                         ImportFormat::kKml, ImportFormat::kCsv};

/// The format the first bytes show, before the file's name is asked.
std::optional<ImportFormat> FormatOfContent(const FileStart& start, Problem& failure) {
  for (const ImportFormat format : kBinaryOrder) {
    if (EntryOf(format).signature(start) == SignatureMatch::kBinary) return format;
  }
  if (start.bytes.find('\0') != std::string_view::npos) {
    failure = FileProblem(std::string(start.path),
                          "binary data, not a camera list (give --from if it is one)");
    return std::nullopt;
  }
  // Text signatures overlap only in markup that holds two root names: the
  // help's order decides, GPX, KML, then OpenStreetMap.
  for (const FormatEntry& entry : Formats()) {
    if (entry.signature(start) == SignatureMatch::kText) return entry.format;
  }
  if (start.text.starts_with("<")) {
    failure = FileProblem(std::string(start.path),
                          "XML, but not GPX, KML or OpenStreetMap (give --from if it is one)");
  }
  return std::nullopt;
}

}  // namespace

std::span<const FormatEntry> FormatTable() {
  return Formats();
}

std::string_view ImportFormatName(ImportFormat format) {
  return EntryOf(format).name;
}

std::optional<ImportFormat> ParseImportFormat(std::string_view name) {
  const FormatEntry* entry = EntryNamed(name);
  return entry ? std::optional(entry->format) : std::nullopt;
}

std::optional<ExportFormat> ParseExportFormat(std::string_view name) {
  const FormatEntry* entry = EntryNamed(name);
  return entry ? entry->export_as : std::nullopt;
}

CameraWriter ExportWriter(ExportFormat format) {
  for (const FormatEntry& entry : Formats()) {
    if (entry.export_as == format) return entry.writer;
  }
  return nullptr;  // every ExportFormat has a row
}

std::vector<std::string> FormatNames(bool exported) {
  std::vector<std::string> names;
  for (const FormatEntry& entry : Formats()) {
    if (exported && !entry.export_as) continue;
    names.emplace_back(entry.name);
    if (!entry.other_name.empty()) names.emplace_back(entry.other_name);
  }
  return names;
}

std::string FormatNameList(bool exported) {
  std::vector<std::string_view> names;
  for (const FormatEntry& entry : Formats()) {
    if (!exported || entry.export_as) names.push_back(entry.name);
  }
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) list += i + 1 == names.size() ? " or " : ", ";
    list += names[i];
  }
  return list;
}

std::unique_ptr<CameraSource> MakeCameraSource(ImportFormat format, int default_type) {
  return EntryOf(format).make_source(default_type);
}

SourceOutcome DetectImportFormat(SourceFile& file, ImportFormat& format, Problem& failure) {
  std::string_view bytes;
  if (!file.Peek(bytes, failure)) return SourceOutcome::kUnreadable;
  if (bytes.empty()) {
    failure = FileProblem(file.path(), "the file is empty");
    return SourceOutcome::kMalformed;
  }
  failure = Problem{};
  std::string_view text = bytes;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  text = first == std::string_view::npos ? std::string_view() : text.substr(first);
  const FileStart start{bytes, text, file.path()};
  std::optional<ImportFormat> found = FormatOfContent(start, failure);
  if (!found && !failure.message.empty()) return SourceOutcome::kMalformed;
  if (!found) found = FormatOfName(file.path());
  // Neither tells: a separator in the first line makes it CSV.
  if (!found && text.substr(0, text.find('\n')).find_first_of(",;\t") != std::string_view::npos) {
    found = ImportFormat::kCsv;
  }
  if (!found) {
    failure =
        FileProblem(file.path(), "the format cannot be told from its content or name; give --from");
    return SourceOutcome::kMalformed;
  }
  format = *found;
  return SourceOutcome::kRead;
}

}  // namespace korvel
