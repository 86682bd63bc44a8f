// Builds without libosmium read no OpenStreetMap file.

#include "exchange/formats/osm_reader.h"

namespace korvel {

bool ReadOsmCameras(SourceFile& source, const std::function<void(const OsmCamera&)>&,
                    const std::function<void(const OsmProblem&)>&, Problem& failure,
                    const FieldRules&) {
  failure =
      FileProblem(source.path(), "OpenStreetMap files need a build of korvel-cli with libosmium");
  return false;
}

}  // namespace korvel
