#pragma once
// The device database file: a 23-byte header, a table of the occupied grid
// cells (10 bytes each) and the points (18 bytes each), all little-endian:
//
//   0   u32 magic 200 | u32 cells - 1 | u32 points | 11 version characters
//   23  per cell: u32 id | u16 count | u32 offset of its first point
//   ..  per point: the GPS_POINT image, sorted by id, y, x

#include <cstdint>
#include <iosfwd>

#include "generate/run_state.h"
#include "platform/file_system.h"

namespace korvel {

inline constexpr std::uint32_t kDbMagic = 200;
inline constexpr std::size_t kDbHeaderSize = 23;
inline constexpr std::size_t kDbVersionSize = 11;
inline constexpr std::size_t kDbVersionOffset = 12;
inline constexpr std::size_t kCellEntrySize = 10;
/// A cell's point count is 16 bits wide.
inline constexpr std::uint32_t kMaxPointsPerCell = 65535;

/// Counts for the file header.
struct GPS_FILE_HEADER {
  std::uint32_t magic = kDbMagic;
  std::uint32_t headerCount = 0;  ///< cells - 1, or 0 without cells
  std::uint32_t bodyCount = 0;    ///< points
};

enum class WriteDbResult {
  kOk,
  kCellTooLarge,  ///< a cell holds more than 65535 points; nothing written
  kWriteFailed,   ///< TempDb.bin could not be created or fully written
};

/// Groups the sorted GPS_DB into GPS_CELLS and derives GPS_HEADERS with the
/// offsets. False when a cell would hold more than 65535 points.
bool BuildHeaders(RunState& state, GPS_FILE_HEADER& header);

/// Appends the cell table; with `trace`, prints the rule and "Headers".
void WriteHeaders(const RunState& state, ByteWriter& out, std::ostream* trace);

/// Encodes the sorted GPS_DB into DB_STREAM, trace lines included. False,
/// with DB_STREAM empty, when a cell would hold more than 65535 points.
bool EncodeDb(RunState& state, std::ostream* trace);

/// Sorts GPS_DB, encodes the whole file into DB_STREAM and writes it to
/// TEMP_DB_BIN (created or truncated).
WriteDbResult WriteDbFile(RunState& state, FileSystem& fs, std::ostream* trace);

}  // namespace korvel
