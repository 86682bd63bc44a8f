#pragma once
// What the tags of an OpenStreetMap speed camera say, apart from how the file
// is read: the OSM reader uses it, and so can readers of OSM-style properties
// (GeoJSON written by osmium export or Overpass). Portable: no libosmium.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

/// SPEED, DIRTYPE and DIRECTION of one camera, with a warning for each value
/// that could not be used.
struct OsmCameraTags {
  int speed = 0;      ///< km/h, rounded; 0 when absent or not numeric
  int dirtype = 0;    ///< 1 when `direction` was read
  int direction = 0;  ///< degrees, 0..359
  std::vector<std::string> warnings;
};

/// Reads `maxspeed` (km/h, or with "mph" or "knots") and `direction` (degrees
/// or one of the 16 compass points); nullopt stands for an absent tag.
OsmCameraTags ReadOsmCameraTags(std::optional<std::string_view> maxspeed,
                                std::optional<std::string_view> direction);

/// The initial great-circle bearing from the first point to the second, in
/// whole degrees 0..359; nullopt when the two points coincide.
std::optional<int> InitialBearing(double from_lon, double from_lat, double to_lon, double to_lat);

}  // namespace korvel
