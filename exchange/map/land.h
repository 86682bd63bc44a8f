#pragma once
// Land and country borders of the whole world (Natural Earth 1:50m), compiled
// into the program from exchange/map/land_data.inc.

#include <vector>

namespace korvel::map {

/// A place in degrees.
struct LonLat {
  double lon = 0, lat = 0;
};

/// Arcs shared by the land rings and the borders, as TopoJSON keeps them.
struct Land {
  std::vector<std::vector<LonLat>> arcs;
  /// Each ring as arc indices; ~i (-i-1) walks arc i backwards.
  std::vector<std::vector<int>> rings;
  /// Arcs shared by two countries.
  std::vector<int> borders;
  /// The rings as areas on the plane of longitude and latitude, from -180 to
  /// 180: a ring crossing 180 degrees cut in two, one round a pole closed
  /// along it. Drawn as they stand, with the nonzero rule.
  std::vector<std::vector<LonLat>> areas;
};

/// The land, decoded on first use.
const Land& WorldLand();

/// The points of ring `ring` in order, each arc's shared end point once.
std::vector<LonLat> RingPoints(const Land& land, const std::vector<int>& ring);

/// `ring` on the plane from -180 to 180 degrees of longitude, appended to
/// `areas`: as it stands, or the pieces on each side of 180 degrees when it
/// crosses it, closed along the pole when it goes round one.
void AddPlaneAreas(const std::vector<LonLat>& ring, std::vector<std::vector<LonLat>>& areas);

}  // namespace korvel::map
