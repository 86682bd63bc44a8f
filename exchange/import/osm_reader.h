#pragma once
// OpenStreetMap speed cameras (highway=speed_camera nodes), read with
// libosmium from OSM XML or PBF.

#include <cstdint>
#include <functional>
#include <string>

namespace korvel {

struct OsmCamera {
  std::int64_t node_id = 0;
  double lon = 0, lat = 0;
  int speed = 0;
  int dirtype = 0;
  int direction = 0;
};

struct OsmProblem {
  std::int64_t node_id = 0;
  bool error = false;
  std::string message;
};

bool ReadOsmCameras(const std::string& path, const std::function<void(const OsmCamera&)>& camera,
                    const std::function<void(const OsmProblem&)>& problem, std::string& failure);

}  // namespace korvel
