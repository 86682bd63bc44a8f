#pragma once
// GPX, KML and KMZ (KML in a zip archive): their reader, their writers and
// their rows in the table of formats.

#include <memory>
#include <ostream>
#include <string_view>

#include "exchange/formats/format_entry.h"

namespace korvel {

/// GPX waypoints, or KML Placemark points with `kml`; with `kmz` too, the
/// KML inside a zip archive.
std::unique_ptr<CameraSource> MakeXmlSource(bool kml, bool kmz = false);

/// GPX 1.1 waypoints, the camera fields in <extensions>.
ExportResult WriteGpxCameras(const DecodedDb& db, std::string_view version_line, std::ostream& out);
/// KML 2.2 Placemarks, the camera fields as ExtendedData.
ExportResult WriteKmlCameras(const DecodedDb& db, std::string_view version_line, std::ostream& out);

/// Markup, UTF-8 or UTF-16, that holds a <gpx> element.
SignatureMatch GpxSignature(const FileStart& start);
/// Markup, UTF-8 or UTF-16, that holds a <kml> element.
SignatureMatch KmlSignature(const FileStart& start);
/// A zip archive: the one zip import reads.
SignatureMatch KmzSignature(const FileStart& start);

extern const FormatEntry kGpxFormat;
extern const FormatEntry kKmlFormat;
extern const FormatEntry kKmzFormat;

}  // namespace korvel
