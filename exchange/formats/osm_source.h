#pragma once
// An OpenStreetMap camera as a camera row, for every reader of OSM data.

#include "exchange/formats/field_map.h"
#include "exchange/formats/osm_cameras.h"
#include "exchange/formats/source.h"

namespace korvel {

/// `osm` at `place`, TYPE from the tag --field TYPE names (through --values),
/// else `default_type`. `left_out` when that tag's value is refused (the
/// error is reported).
SourceCamera OsmSourceCamera(const OsmCamera& osm, const Place& place, int default_type,
                             const FieldMap& fields, CameraSink& sink, bool& left_out);

}  // namespace korvel
