// Stands in for the libosmium reader in builds without it.

#include "exchange/import/osm_reader.h"

namespace korvel {

bool ReadOsmCameras(const std::string& path, const std::function<void(const OsmCamera&)>&,
                    const std::function<void(const OsmProblem&)>&, std::string& failure) {
  failure = path + ": OpenStreetMap files need a build with libosmium";
  return false;
}

}  // namespace korvel
