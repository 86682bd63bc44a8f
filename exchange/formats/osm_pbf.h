#pragma once
// OpenStreetMap PBF, read blob by blob on the calling thread: no pipe, no
// threads, memory bounded by one blob whatever the file's size.

#include <string_view>

#include "exchange/formats/osm_pass.h"

namespace korvel {

/// One pass over the PBF file `source` (which starts with `head`), handing
/// over the objects of kinds `which`. Throws OsmSourceFailure, or
/// osmium::pbf_error naming what is wrong with the file (a file cut anywhere
/// is refused, never taken for its end).
void ReadPbfPass(SourceFile& source, std::string_view head, osmium::osm_entity_bits::type which,
                 const OsmBufferHandler& handle);

}  // namespace korvel
