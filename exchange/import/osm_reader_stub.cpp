// Builds without libosmium (the Windows cross build has neither it nor expat)
// read no OpenStreetMap file.

#include "exchange/import/osm_reader.h"

namespace korvel {

bool ReadOsmCameras(const std::string&, const std::function<void(const OsmCamera&)>&,
                    const std::function<void(const OsmProblem&)>&, std::string& failure,
                    const FieldRules&) {
  failure = "OpenStreetMap files need the Linux build of korvel-cli";
  return false;
}

}  // namespace korvel
