#pragma once
// Reads a device database file back and checks every invariant the devices
// rely on. Used by the inspect tool and by tests for round trips.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "camdb/gps_point.h"
#include "generate/run_state.h"

namespace korvel {

struct DecodedDb {
  std::uint32_t headerCount = 0;
  std::uint32_t bodyCount = 0;
  std::string version;  ///< the 11 version bytes
  std::vector<GPS_HEADER> cells;
  std::vector<GPS_POINT> points;
};

/// Decodes `bytes`; on any inconsistency (length, counts, offsets, order,
/// cell keys, reserved bytes) returns nullopt and says why in `error`.
std::optional<DecodedDb> DecodeDb(const Bytes& bytes, std::string* error);

}  // namespace korvel
