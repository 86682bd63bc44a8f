#pragma once
// One streaming pass over an OpenStreetMap file, for the OSM reader: the PBF
// and XML readers hand libosmium buffers of the objects a pass asks for.

#include <functional>
#include <memory>
#include <string_view>

#include <osmium/memory/buffer.hpp>
#include <osmium/osm/entity_bits.hpp>

#include "camdb/problem.h"
#include "exchange/formats/source.h"

namespace korvel {

/// Thrown out of a pass when the file itself fails (it cannot be opened or
/// read, or reads otherwise than before); the reader reports `problem`.
struct OsmSourceFailure {
  Problem problem;
};

/// The failure for a file that holds no OpenStreetMap data.
inline constexpr std::string_view kNotOsmFile = "not an OpenStreetMap file";

/// Takes each buffer of OSM objects a pass decodes, in file order.
using OsmBufferHandler = std::function<void(const osmium::memory::Buffer&)>;

/// The source opened again for a pass, its first bytes read and checked to be
/// `head` (what told its format); the next read gives the byte after them.
/// Throws OsmSourceFailure.
std::unique_ptr<BinaryFile> OpenOsmPass(SourceFile& source, std::string_view head);

/// Throws OsmSourceFailure when `file` failed a read.
void CheckOsmRead(const SourceFile& source, const BinaryFile& file);

}  // namespace korvel
