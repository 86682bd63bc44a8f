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
};

/// The land, decoded on first use.
const Land& WorldLand();

/// The points of ring `ring` in order, each arc's shared end point once.
std::vector<LonLat> RingPoints(const Land& land, const std::vector<int>& ring);

}  // namespace korvel::map
