#pragma once
// OpenStreetMap data (XML, PBF, XML compressed with gzip or bzip2): its
// reader and its row in the table of formats. Export writes none.

#include <memory>

#include "exchange/formats/format_entry.h"

namespace korvel {

/// Every camera takes `default_type` as TYPE.
std::unique_ptr<CameraSource> MakeOsmSource(int default_type);

/// A PBF file's first block header, gzip or bzip2 magic, or markup that
/// holds an <osm> element.
SignatureMatch OsmSignature(const FileStart& start);

extern const FormatEntry kOsmFormat;

}  // namespace korvel
