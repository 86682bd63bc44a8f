#pragma once
// The cameras of a database in one of the formats of the table: a camera
// text that generate reads back into the same database, or map formats
// (CSV, GeoJSON, GPX 1.1, KML 2.2) with one point per camera. Each format's
// writer lives beside its reader (exchange/formats/FORMAT_writer.cpp).

#include <iosfwd>
#include <string>
#include <string_view>

#include "exchange/formats/writer.h"
#include "format/db_reader.h"

namespace korvel {

/// The version field as stored, then the line the text had:
/// "\"V1.0 051121\" (the text's \"V1.0 211105\")", printable either way.
std::string VersionText(std::string_view field);

/// Writes every camera of `db` in `format` to `out`, by the writer the
/// format table names for it, headed by `version_line` (a camera text's
/// whole first line), or when it is empty by the 11 characters the database
/// stores.
ExportResult ExportCameras(const DecodedDb& db, ExportFormat format, std::ostream& out,
                           std::string_view version_line = {});

}  // namespace korvel
