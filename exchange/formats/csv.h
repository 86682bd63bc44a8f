#pragma once
// CSV as spreadsheets and open-data portals write it: its reader, its
// writer and its row in the table of formats.

#include <memory>
#include <ostream>
#include <string_view>

#include "exchange/formats/format_entry.h"

namespace korvel {

std::unique_ptr<CameraSource> MakeCsvSource();

/// RFC 4180 CSV by the import's column names; no version line.
ExportResult WriteCsvCameras(const DecodedDb& db, std::string_view version_line, std::ostream& out);

/// NUL bytes in a file named .csv, which the reader then names by line and
/// column. A CSV file's text has no signature: detection takes it by its
/// name, else by a separator in its first line.
SignatureMatch CsvSignature(const FileStart& start);

extern const FormatEntry kCsvFormat;

}  // namespace korvel
