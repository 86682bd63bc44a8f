#pragma once
// The device database file: a 23-byte header, a table of the occupied grid
// cells (10 bytes each) and the points (18 bytes each), all little-endian:
//
//   0   u32 magic 200 | u32 cells - 1 | u32 points | 11 version characters
//   23  per cell: u32 id | u16 count | u32 offset of its first point
//   ..  per point: the GPS_POINT image, sorted by id, y, x

#include <cstdint>
#include <string>
#include <string_view>

#include "camdb/gps_point.h"

namespace korvel {

inline constexpr std::uint32_t kDbMagic = 200;
inline constexpr std::size_t kDbHeaderSize = 23;
/// Header fields: the magic, the cell count less one, the point count, the
/// version characters.
inline constexpr std::size_t kDbMagicOffset = 0;
inline constexpr std::size_t kDbCellCountOffset = 4;
inline constexpr std::size_t kDbPointCountOffset = 8;
inline constexpr std::size_t kDbVersionOffset = 12;
inline constexpr std::size_t kDbVersionSize = 11;
inline constexpr std::size_t kCellEntrySize = 10;
/// A cell's point count is 16 bits wide.
inline constexpr std::uint32_t kMaxPointsPerCell = 65535;

/// Counts for the file header.
struct GPS_FILE_HEADER {
  std::uint32_t magic = kDbMagic;
  std::uint32_t headerCount = 0;  ///< cells - 1, or 0 without cells
  std::uint32_t bodyCount = 0;    ///< points
};

/// One occupied grid cell of the device database: its key, its number of
/// points and the file offset of its first point.
struct GPS_HEADER {
  std::uint32_t id = 0;
  std::uint16_t count = 0;
  std::uint32_t offset = 0;
};

/// Bytes of a database of `cells` cells and `points` points; also where the
/// first point of a cell lies, with `points` the points before it.
constexpr std::uint64_t DatabaseSize(std::uint64_t cells, std::uint64_t points) {
  return kDbHeaderSize + kCellEntrySize * cells + kGpsPointSize * points;
}

/// The database tag a package name carries: characters 7, 8, 5, 6 of the
/// version field, which holds the K93-exchanged version line, so these are
/// the line's own characters 7 to 10 in their order. Empty for a short field.
inline std::string DbTagOf(std::string_view version) {
  if (version.size() < kDbVersionSize) return "";
  return {version[7], version[8], version[5], version[6]};
}

}  // namespace korvel
