#pragma once
// An OpenStreetMap camera as a camera row, for every reader of OSM data.

#include "exchange/formats/field_map.h"
#include "exchange/formats/osm_cameras.h"
#include "exchange/formats/source.h"

namespace korvel {

/// `osm` at `place`, TYPE from the tag --field TYPE names (through --values),
/// else the `*=N` of --values TYPE, else `default_type`. `left_out` when that
/// tag's value is refused (the error is reported) or the options cannot be
/// honoured (refused through the sink).
SourceCamera OsmSourceCamera(const OsmCamera& osm, const Place& place, int default_type,
                             const FieldMap& fields, CameraSink& sink, bool& left_out);

/// Refuses --field X or Y and --values of SPEED, DIRTYPE or DIRECTION, which
/// OpenStreetMap data cannot honour; true then.
bool RefusesOptions(CameraSink& sink, const Place& place);

}  // namespace korvel
