#pragma once
// What the tags of an OpenStreetMap speed camera say, apart from how the file
// is read: OSM XML and PBF, Overpass JSON, GeoJSON with OSM tags and GDAL's
// other_tags all read their tags here. Portable: no libosmium.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exchange/formats/field_rules.h"

namespace korvel {

/// A tag's value by its key; nullopt when the object has no such tag.
using OsmTagLookup = std::function<std::optional<std::string_view>(std::string_view key)>;

/// Whether the tags make a speed camera: highway=speed_camera.
bool IsOsmSpeedCamera(const OsmTagLookup& tag);

/// SPEED, DIRTYPE and DIRECTION of one camera, with a warning for each value
/// that could not be used.
struct OsmCameraTags {
  int speed = 0;                    ///< km/h, rounded; 0 when absent or not numeric
  int dirtype = 0;                  ///< 1 when a direction was read
  int direction = 0;                ///< degrees, 0..359
  bool direction_tagged = false;    ///< a direction tag was there, read or not
  std::optional<std::string> type;  ///< the text of the tag --field TYPE names
  std::vector<std::string> warnings;
};

/// Reads `maxspeed` (km/h, or with "mph" or "knots"; else `maxspeed:forward`,
/// `maxspeed:backward`, then `relation_maxspeed`, the enforcement relation's)
/// and `direction` or `camera:direction` (degrees, taken modulo 360, or one of
/// the 16 compass points). --field SPEED, DIRECTION and TYPE in `rules` name
/// other tags.
OsmCameraTags ReadOsmCameraTags(const OsmTagLookup& tag,
                                std::optional<std::string_view> relation_maxspeed,
                                const FieldRules& rules);

/// GDAL's other_tags, `"maxspeed"=>"60","direction"=>"90"`, into `tags`;
/// false when the text is not of that form.
bool ParseOtherTags(std::string_view text, std::vector<std::pair<std::string, std::string>>& tags);

/// The initial great-circle bearing from the first point to the second, in
/// whole degrees 0..359; nullopt when the two points coincide.
std::optional<int> InitialBearing(double from_lon, double from_lat, double to_lon, double to_lat);

}  // namespace korvel
