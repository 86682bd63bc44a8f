#include "exchange/formats/format_table.h"

#include <vector>

#include "exchange/formats/readers.h"
#include "exchange/formats/writers.h"

namespace korvel {
namespace {

constexpr FormatEntry kFormats[] = {
    {ImportFormat::kText, "text", "tsv", "txt tsv", ExportFormat::kTsv, WriteTextCameras},
    {ImportFormat::kCsv, "csv", "", "csv", ExportFormat::kCsv, WriteCsvCameras},
    {ImportFormat::kGeoJson, "geojson", "", "geojson json", ExportFormat::kGeoJson,
     WriteGeoJsonCameras},
    {ImportFormat::kGpx, "gpx", "", "gpx", ExportFormat::kGpx, WriteGpxCameras},
    {ImportFormat::kKml, "kml", "", "kml", ExportFormat::kKml, WriteKmlCameras},
    {ImportFormat::kKmz, "kmz", "", "kmz", std::nullopt, nullptr},
    {ImportFormat::kOsm, "osm", "", "osm pbf", std::nullopt, nullptr},
};

const FormatEntry* EntryNamed(std::string_view name) {
  for (const FormatEntry& entry : kFormats) {
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
std::optional<ImportFormat> FormatOfName(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos) {
    return std::nullopt;
  }
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  for (const FormatEntry& entry : kFormats) {
    if (!extension.empty() && ListHolds(entry.extensions, extension)) return entry.format;
  }
  return std::nullopt;
}

/// The ASCII characters of UTF-16 text after its byte-order mark, other
/// characters as NUL: enough to find an XML root element.
std::string Utf16Ascii(std::string_view bytes) {
  const bool little = bytes.starts_with("\xFF\xFE");
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const char low = little ? bytes[i] : bytes[i + 1];
    const char high = little ? bytes[i + 1] : bytes[i];
    text.push_back(high == 0 && static_cast<unsigned char>(low) < 0x80 ? low : '\0');
  }
  return text;
}

/// The XML format whose root element `text` holds.
std::optional<ImportFormat> XmlFormat(std::string_view text) {
  if (text.find("<gpx") != std::string_view::npos) return ImportFormat::kGpx;
  if (text.find("<kml") != std::string_view::npos) return ImportFormat::kKml;
  if (text.find("<osm") != std::string_view::npos) return ImportFormat::kOsm;
  return std::nullopt;
}

/// The format the first bytes show, before the file's name is asked.
std::optional<ImportFormat> FormatOfContent(const std::string& path, std::string_view bytes,
                                            Problem& failure) {
  // A PBF file starts with the length of its first block's header, which
  // names the block "OSMHeader"; OpenStreetMap XML also comes compressed.
  if (bytes.substr(0, 32).find("OSMHeader") != std::string_view::npos ||
      bytes.starts_with("\x1F\x8B") || bytes.starts_with("BZh")) {
    return ImportFormat::kOsm;
  }
  // A zip archive: a KMZ is the one zip import reads.
  if (bytes.starts_with("PK\x03\x04")) return ImportFormat::kKmz;
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    if (const auto xml = XmlFormat(Utf16Ascii(bytes)); xml && *xml != ImportFormat::kOsm) {
      return xml;
    }
  }
  if (bytes.find('\0') != std::string_view::npos) {
    // The CSV reader names the line and column of a NUL in a CSV file.
    if (FormatOfName(path) == ImportFormat::kCsv) return ImportFormat::kCsv;
    failure = FileProblem(path, "binary data, not a camera list (give --from if it is one)");
    return std::nullopt;
  }
  std::string_view text = bytes;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  text = first == std::string_view::npos ? std::string_view() : text.substr(first);
  if (text.starts_with("{") || text.starts_with("[")) return ImportFormat::kGeoJson;
  if (text.starts_with("<")) {
    if (const auto xml = XmlFormat(text)) return xml;
    failure =
        FileProblem(path, "XML, but not GPX, KML or OpenStreetMap (give --from if it is one)");
    return std::nullopt;
  }
  if (text.starts_with("V")) {
    const std::size_t end = text.find('\n');
    if (end != std::string_view::npos && text.substr(end + 1).starts_with("X\tY\tTYPE")) {
      return ImportFormat::kText;
    }
  }
  return std::nullopt;
}

}  // namespace

std::span<const FormatEntry> FormatTable() {
  return kFormats;
}

std::string_view ImportFormatName(ImportFormat format) {
  return kFormats[static_cast<int>(format)].name;
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
  for (const FormatEntry& entry : kFormats) {
    if (entry.export_as == format) return entry.writer;
  }
  return nullptr;  // every ExportFormat has a row
}

std::vector<std::string> FormatNames(bool exported) {
  std::vector<std::string> names;
  for (const FormatEntry& entry : kFormats) {
    if (exported && !entry.export_as) continue;
    names.emplace_back(entry.name);
    if (!entry.other_name.empty()) names.emplace_back(entry.other_name);
  }
  return names;
}

std::string FormatNameList(bool exported) {
  std::vector<std::string_view> names;
  for (const FormatEntry& entry : kFormats) {
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
  switch (format) {
    case ImportFormat::kText:
      return MakeTextSource();
    case ImportFormat::kCsv:
      return MakeCsvSource();
    case ImportFormat::kGeoJson:
      return MakeGeoJsonSource(default_type);
    case ImportFormat::kGpx:
      return MakeXmlSource(false);
    case ImportFormat::kKml:
      return MakeXmlSource(true);
    case ImportFormat::kOsm:
      return MakeOsmSource(default_type);
    case ImportFormat::kKmz:
      return MakeXmlSource(true, true);
  }
  return nullptr;
}

SourceOutcome DetectImportFormat(SourceFile& file, ImportFormat& format, Problem& failure) {
  std::string_view bytes;
  if (!file.Peek(bytes, failure)) return SourceOutcome::kUnreadable;
  if (bytes.empty()) {
    failure = FileProblem(file.path(), "the file is empty");
    return SourceOutcome::kMalformed;
  }
  failure = Problem{};
  std::optional<ImportFormat> found = FormatOfContent(file.path(), bytes, failure);
  if (!found && !failure.message.empty()) return SourceOutcome::kMalformed;
  if (!found) found = FormatOfName(file.path());
  if (!found) {
    std::string_view text = bytes;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    text = first == std::string_view::npos ? std::string_view() : text.substr(first);
    if (text.substr(0, text.find('\n')).find_first_of(",;\t") != std::string_view::npos) {
      found = ImportFormat::kCsv;
    }
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
