#pragma once
// Speed cameras out of OpenStreetMap files, for `korvel-cli import`.

#include <cstdint>
#include <functional>
#include <string>

#include "camdb/problem.h"
#include "exchange/formats/field_rules.h"
#include "exchange/formats/osm_cameras.h"
#include "exchange/formats/source.h"

namespace korvel {

/// Reads the OpenStreetMap data `source` holds (XML .osm, or PBF, told apart
/// by content), streaming, and hands each camera and each problem over in node order.
/// Memory stays bounded by the cameras and the few nodes enforcement relations
/// name, whatever the file's size. False with `failure` set, naming the file
/// ("not an OpenStreetMap file", or the reader's own words), when it cannot
/// be read: the input's fault, or the system's when a read fails.
/// XML may also come compressed with gzip or bzip2. A camera without a
/// location is an error problem and is not handed over. The first pass reads
/// the whole file, so a broken file fails before anything is handed over
/// (unless it changes between the passes), and the source is opened twice.
/// The Windows build reads PBF alone and refuses XML with the command that
/// turns it into PBF.
/// --field in `rules` names other tags.
bool ReadOsmCameras(SourceFile& source, const std::function<void(const OsmCamera&)>& camera,
                    const std::function<void(const OsmProblem&)>& problem, Problem& failure,
                    const FieldRules& rules = FieldRules());

}  // namespace korvel
