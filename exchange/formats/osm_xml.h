#pragma once
// OpenStreetMap XML (also gzip or bzip2 compressed), for the OSM reader.

#include <string>
#include <string_view>

#include "exchange/formats/osm_pass.h"

namespace korvel {

/// One pass over the XML file `source` (which starts with `head`; libosmium's
/// `format`: "osm", "osm.gz" or "osm.bz2"), handing over the objects of kinds
/// `which`. Throws OsmSourceFailure (also for XML that is no OSM data, and on
/// Windows, which reads no OSM XML) or libosmium's error.
void ReadOsmXmlPass(SourceFile& source, std::string_view head, const std::string& format,
                    osmium::osm_entity_bits::type which, const OsmBufferHandler& handle);

}  // namespace korvel
