#pragma once
// The SVG map of korvel-cli map and diff --map: cameras over land and borders
// in one self-contained file.

#include <iosfwd>
#include <optional>

#include "exchange/map/camera_map.h"

namespace korvel::map {

/// Writes the whole SVG file: the view of `bbox`, or one fitted to the cameras.
void DrawCameraMap(const CameraMap& map, const std::optional<GeoBox>& bbox, std::ostream& out);

}  // namespace korvel::map
