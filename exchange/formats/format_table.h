#pragma once
// The one table of the formats korvel exchanges with other software: each
// format's row (format_entry.h), defined in the format's own module. Detection,
// export, the command line's lists and its help read this table.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "camdb/problem.h"
#include "exchange/formats/format_entry.h"
#include "exchange/formats/source.h"
#include "exchange/formats/writer.h"

namespace korvel {

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
