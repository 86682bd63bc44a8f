#pragma once
// Compares the cameras of two databases. A camera is matched by its whole
// record; of the rest, a removed and an added camera at the same position
// count as one changed camera.

#include <cstdint>
#include <functional>
#include <iosfwd>

#include "format/db_reader.h"

namespace korvel {

struct DiffCounts {
  std::uint64_t added = 0, removed = 0, changed = 0, unchanged = 0;
  bool same() const { return added == 0 && removed == 0 && changed == 0; }
};

enum class DiffKind { kUnchanged, kAdded, kRemoved, kChanged };

/// One matched camera: its point in the old and in the new database (null on
/// the side it is missing from), with its index there as inspect counts points.
struct DiffMatch {
  DiffKind kind = DiffKind::kUnchanged;
  const GPS_POINT* old_point = nullptr;
  const GPS_POINT* new_point = nullptr;
  std::size_t old_index = 0, new_index = 0;
};

/// Matches the cameras of the two databases and hands each match to `visit`:
/// the unchanged ones first, then the differences in position order.
DiffCounts MatchCameras(const DecodedDb& old_db, const DecodedDb& new_db,
                        const std::function<void(const DiffMatch&)>& visit);

/// Writes one line per difference ("+ ROW", "- ROW", "~ OLD -> NEW", rows as
/// the camera text writes them, in position order), then both version
/// fields, then "N added, N removed, N changed, N unchanged".
DiffCounts DiffCameras(const DecodedDb& old_db, const DecodedDb& new_db, std::ostream& out);

}  // namespace korvel
