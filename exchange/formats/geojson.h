#pragma once
// GeoJSON (and Overpass API JSON answers, and JSON arrays of records): its
// reader, its writer and its row in the table of formats.

#include <memory>
#include <ostream>
#include <string_view>

#include "exchange/formats/format_entry.h"

namespace korvel {

/// OpenStreetMap-style features take `default_type` as TYPE.
std::unique_ptr<CameraSource> MakeGeoJsonSource(int default_type);

/// A GeoJSON FeatureCollection of Points with the version line as "version".
ExportResult WriteGeoJsonCameras(const DecodedDb& db, std::string_view version_line,
                                 std::ostream& out);

/// Text that starts with a JSON object or array.
SignatureMatch GeoJsonSignature(const FileStart& start);

extern const FormatEntry kGeoJsonFormat;

}  // namespace korvel
