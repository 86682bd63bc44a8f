#pragma once
// The readers of the formats, one module each (exchange/formats/FORMAT.cpp).

#include <memory>

#include "exchange/formats/source.h"

namespace korvel {

std::unique_ptr<CameraSource> MakeTextSource();
std::unique_ptr<CameraSource> MakeCsvSource();
/// OpenStreetMap-style features take `default_type` as TYPE.
std::unique_ptr<CameraSource> MakeGeoJsonSource(int default_type);
/// GPX waypoints, or KML Placemark points with `kml`; with `kmz` too, the
/// KML inside a zip archive.
std::unique_ptr<CameraSource> MakeXmlSource(bool kml, bool kmz = false);
/// Every camera takes `default_type` as TYPE.
std::unique_ptr<CameraSource> MakeOsmSource(int default_type);

}  // namespace korvel
