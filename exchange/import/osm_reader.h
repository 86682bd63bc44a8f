#pragma once
// Speed cameras out of OpenStreetMap files, for `korvel-cli import`.

#include <cstdint>
#include <functional>
#include <string>

#include "exchange/import/field_rules.h"
#include "exchange/import/osm_cameras.h"

namespace korvel {

/// Reads the OpenStreetMap file at `path` (XML .osm, or PBF, told apart by
/// content), streaming, and hands each camera and each problem over in node order.
/// Memory stays bounded by the cameras and the few nodes enforcement relations
/// name, whatever the file's size. False with `failure` set ("not an
/// OpenStreetMap file", or the reader's own words) when the file cannot be read.
/// XML may also come compressed with gzip or bzip2. A camera without a
/// location is an error problem and is not handed over. The first pass reads
/// the whole file, so a broken file fails before anything is handed over
/// (unless it changes between the passes). `failure` does not name the path.
/// The Windows build reads none and fails with a message naming the Linux build.
/// --field in `rules` names other tags.
bool ReadOsmCameras(const std::string& path, const std::function<void(const OsmCamera&)>& camera,
                    const std::function<void(const OsmProblem&)>& problem, std::string& failure,
                    const FieldRules& rules = FieldRules());

}  // namespace korvel
