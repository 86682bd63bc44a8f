#pragma once
// The one table of the formats korvel exchanges with other software: each
// format's name (one across commands), the spelling also taken, its file
// name extensions, its reader and its writer when export writes it.
// Detection, export, the command line's lists and its help read this table.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "camdb/problem.h"
#include "exchange/formats/source.h"
#include "exchange/formats/writer.h"

namespace korvel {

/// The formats `import` reads.
enum class ImportFormat { kText, kCsv, kGeoJson, kGpx, kKml, kKmz, kOsm };

struct FormatEntry {
  ImportFormat format;
  std::string_view name;                  ///< the name every command uses
  std::string_view other_name;            ///< also taken, or empty
  std::string_view extensions;            ///< blank-separated, lower case, without the dot
  std::optional<ExportFormat> export_as;  ///< nullopt: export does not write it
  CameraWriter writer = nullptr;          ///< the writer of `export_as`
};

/// Every format, in the order the help lists them.
std::span<const FormatEntry> FormatTable();

/// "text", "csv", "geojson", "gpx", "kml", "kmz" or "osm".
std::string_view ImportFormatName(ImportFormat format);

/// The format a name or its other spelling ("tsv") stands for.
std::optional<ImportFormat> ParseImportFormat(std::string_view name);

/// The export format a name or its other spelling stands for.
std::optional<ExportFormat> ParseExportFormat(std::string_view name);

/// The writer of `format`.
CameraWriter ExportWriter(ExportFormat format);

/// Every name and other spelling taken, for the command line's checks;
/// with `exported`, only those export writes.
std::vector<std::string> FormatNames(bool exported);

/// "text, csv, geojson, gpx, kml, kmz or osm", for the help.
std::string FormatNameList(bool exported);

/// The reader of `format`. `default_type` is the TYPE of sources that carry
/// none (OpenStreetMap).
std::unique_ptr<CameraSource> MakeCameraSource(ImportFormat format, int default_type);

/// The format of `file` from its first bytes, then its name, into `format`.
/// Unless kRead, `failure` says why neither tells. The bytes are peeked:
/// the reader gets them again.
SourceOutcome DetectImportFormat(SourceFile& file, ImportFormat& format, Problem& failure);

}  // namespace korvel
