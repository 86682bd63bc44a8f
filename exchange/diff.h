#pragma once
// Compares the cameras of two databases. A camera is matched by its whole
// record; of the rest, a removed and an added camera at the same position
// count as one changed camera.

#include <cstdint>
#include <iosfwd>

#include "format/db_reader.h"

namespace korvel {

struct DiffCounts {
  std::uint64_t added = 0, removed = 0, changed = 0, unchanged = 0;
  bool same() const { return added == 0 && removed == 0 && changed == 0; }
};

/// Writes one line per difference ("+ ROW", "- ROW", "~ OLD -> NEW", rows as
/// the camera text writes them, in position order), then both version
/// fields, then "N added, N removed, N changed, N unchanged".
DiffCounts DiffCameras(const DecodedDb& old_db, const DecodedDb& new_db, std::ostream& out);

}  // namespace korvel
