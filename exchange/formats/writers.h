#pragma once
// The writers of the formats export writes, one beside each reader
// (exchange/formats/FORMAT_writer.cpp). Each is a CameraWriter.

#include <ostream>
#include <string_view>

#include "exchange/formats/writer.h"

namespace korvel {

/// A camera text that generate reads back into the same database: the
/// sample points generate appended left out once each. Refuses, before its
/// first byte, a version line or a coordinate that a text cannot carry.
ExportResult WriteTextCameras(const DecodedDb& db, std::string_view version_line,
                              std::ostream& out);
/// RFC 4180 CSV by the import's column names; no version line.
ExportResult WriteCsvCameras(const DecodedDb& db, std::string_view version_line, std::ostream& out);
/// A GeoJSON FeatureCollection of Points with the version line as "version".
ExportResult WriteGeoJsonCameras(const DecodedDb& db, std::string_view version_line,
                                 std::ostream& out);
/// GPX 1.1 waypoints, the camera fields in <extensions>.
ExportResult WriteGpxCameras(const DecodedDb& db, std::string_view version_line, std::ostream& out);
/// KML 2.2 Placemarks, the camera fields as ExtendedData.
ExportResult WriteKmlCameras(const DecodedDb& db, std::string_view version_line, std::ostream& out);

}  // namespace korvel
