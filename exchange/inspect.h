#pragma once
// What `inspect` tells an operator about a database or a package: the counts,
// where the cameras lie, how full the fullest cell is, the points per type,
// the size against what a package can carry, and every fault found.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "format/db_reader.h"

namespace korvel {

/// The numbers of one decoded database.
struct DbSummary {
  std::uint64_t cells = 0;
  std::uint64_t points = 0;
  /// Bounding box in 1/10000 degree; meaningful when there are points.
  std::uint32_t min_x = 0, max_x = 0, min_y = 0, max_y = 0;
  std::uint32_t fullest_id = 0;
  std::uint32_t fullest_count = 0;
  std::map<unsigned, std::uint64_t> per_type;
};

DbSummary Summarize(const DecodedDb& db);

/// One input of inspect: its path and either the file read or why not.
struct InspectEntry {
  std::string path;
  std::optional<CameraFile> file;
  std::string problem;  ///< set when `file` is empty: why it holds no cameras
  /// For a camera text, its size; `file` is then the database generate would
  /// write for it.
  std::uint64_t text_size = 0;
};

/// Whether the entry is a readable database or package without faults.
bool InspectValid(const InspectEntry& entry);

/// The report in lines of text, ending with "valid" or the fault count.
std::string InspectText(const InspectEntry& entry);

/// All entries as one JSON object {"files": [...]}, the same facts as the text.
std::string InspectJson(const std::vector<InspectEntry>& entries);

/// The same object a piece at a time, so each file's tables can go once its
/// part is printed: the opening and the first entry (`first`), or a further
/// entry, ...
std::string InspectJsonEntry(const InspectEntry& entry, bool first);
/// ... then the end, after `any` entries were printed.
std::string InspectJsonEnd(bool any);

}  // namespace korvel
