// Builds without libosmium (the Windows cross build has neither it nor expat)
// read no OpenStreetMap file.

#include "exchange/formats/osm_reader.h"

namespace korvel {

bool ReadOsmCameras(SourceFile& source, const std::function<void(const OsmCamera&)>&,
                    const std::function<void(const OsmProblem&)>&, Problem& failure,
                    const FieldRules&) {
  failure = FileProblem(source.path(), "OpenStreetMap files need the Linux build of korvel-cli");
  return false;
}

}  // namespace korvel
