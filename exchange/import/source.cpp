#include "exchange/import/source.h"

#include <algorithm>

#include "exchange/import/fields.h"
#include "exchange/import/readers.h"
#include "platform/path.h"

namespace korvel {
namespace {

constexpr std::string_view kFormatNames[] = {"text", "csv", "geojson", "gpx", "kml", "osm", "kmz"};

/// The format a file name's extension stands for.
std::optional<ImportFormat> FormatOfName(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos) {
    return std::nullopt;
  }
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (extension == "txt" || extension == "tsv") return ImportFormat::kText;
  if (extension == "csv") return ImportFormat::kCsv;
  if (extension == "geojson" || extension == "json") return ImportFormat::kGeoJson;
  if (extension == "gpx") return ImportFormat::kGpx;
  if (extension == "kml") return ImportFormat::kKml;
  if (extension == "kmz") return ImportFormat::kKmz;
  if (extension == "osm" || extension == "pbf") return ImportFormat::kOsm;
  return std::nullopt;
}

/// The format from the file's first bytes, then its name.
std::optional<ImportFormat> Detect(const std::string& path, std::string& failure,
                                   bool& unreadable) {
  auto file = OpenSource(path, failure);
  unreadable = !file;
  if (!file) return std::nullopt;
  char head[4096];
  const std::size_t size = file->Read(head, sizeof head);
  const std::string_view bytes(head, size);
  if (file->failed()) {
    failure = path + ": the file cannot be read";
    unreadable = true;
    return std::nullopt;
  }
  if (size == 0) {
    failure = path + ": the file is empty";
    return std::nullopt;
  }
  // A PBF file starts with the length of its first block's header, which
  // names the block "OSMHeader".
  if (bytes.substr(0, 32).find("OSMHeader") != std::string_view::npos) return ImportFormat::kOsm;
  // A zip archive: a KMZ is the one zip import reads.
  if (bytes.starts_with("PK\x03\x04")) return ImportFormat::kKmz;
  if (bytes.find('\0') != std::string_view::npos) {
    failure = path + ": binary data, not a camera list (give --from if it is one)";
    return std::nullopt;
  }
  std::string_view text = bytes;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  text = first == std::string_view::npos ? std::string_view() : text.substr(first);
  if (text.starts_with("{") || text.starts_with("[")) return ImportFormat::kGeoJson;
  if (text.starts_with("<")) {
    if (text.find("<gpx") != std::string_view::npos) return ImportFormat::kGpx;
    if (text.find("<kml") != std::string_view::npos) return ImportFormat::kKml;
    if (text.find("<osm") != std::string_view::npos) return ImportFormat::kOsm;
    failure = path + ": XML, but not GPX, KML or OpenStreetMap (give --from if it is one)";
    return std::nullopt;
  }
  if (text.starts_with("V")) {
    const std::size_t end = text.find('\n');
    if (end != std::string_view::npos && text.substr(end + 1).starts_with("X\tY\tTYPE")) {
      return ImportFormat::kText;
    }
  }
  if (auto named = FormatOfName(path)) return named;
  const std::string_view line = text.substr(0, text.find('\n'));
  if (line.find_first_of(",;\t") != std::string_view::npos) return ImportFormat::kCsv;
  failure = path + ": the format cannot be told from its content or name; give --from";
  return std::nullopt;
}

}  // namespace

std::string_view ImportFormatName(ImportFormat format) {
  return kFormatNames[static_cast<int>(format)];
}

std::optional<ImportFormat> ParseImportFormat(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kFormatNames); ++i) {
    if (kFormatNames[i] == name) return static_cast<ImportFormat>(i);
  }
  return std::nullopt;
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

SourceOutcome DetectImportFormat(const std::string& path, ImportFormat& format,
                                 std::string& failure) {
  bool unreadable = false;
  const std::optional<ImportFormat> found = Detect(path, failure, unreadable);
  if (found) format = *found;
  return found        ? SourceOutcome::kRead
         : unreadable ? SourceOutcome::kUnreadable
                      : SourceOutcome::kMalformed;
}
}  // namespace korvel
