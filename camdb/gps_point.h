#pragma once
// One camera point: the 18-byte record the devices read, and the list of all
// points of a run.

#include <cstdint>
#include <vector>

#include "platform/bytes.h"
#include "platform/memory.h"

namespace korvel {

/// A camera point. Coordinates are in 1/10000 degree; `id` is the key of its
/// 0.02-degree grid cell (latitude cell high, longitude cell low).
struct GPS_POINT {
  std::uint32_t id = 0;
  std::uint32_t x = 0;
  std::uint32_t y = 0;
  std::uint8_t type = 0;
  std::uint8_t speed = 0;
  std::uint8_t flag = 0;
  std::uint16_t angle = 0;
  std::uint8_t reserved = 0;
};

/// Size of a point's image in the device database.
inline constexpr std::size_t kGpsPointSize = 18;
/// Grid cell edge in 1/10000 degree (0.02 degree).
inline constexpr std::uint32_t kCellSize = 200;

/// The grid-cell key of a coordinate pair: (y / 200) << 16 | (x / 200) & 0xFFFF,
/// cut to 32 bits.
std::uint32_t CellId(std::uint32_t x, std::uint32_t y);

/// Appends the point's 18-byte little-endian image: id, x, y, type, speed,
/// flag, angle (at the odd offset 15), reserved.
void AppendImage(const GPS_POINT& point, ByteWriter& out);

/// Stores the same image at `image`, which has room for kGpsPointSize bytes.
void StoreImage(const GPS_POINT& point, std::uint8_t* image);

/// Decodes one 18-byte image (the inverse of AppendImage).
GPS_POINT DecodeImage(const std::uint8_t* image);

/// Device order: by id, then y, then x, all unsigned. Other fields take no part.
inline bool operator<(const GPS_POINT& a, const GPS_POINT& b) {
  if (a.id != b.id) return a.id < b.id;
  if (a.y != b.y) return a.y < b.y;
  return a.x < b.x;
}

/// All points of a run in file order until sorted. Contiguous: a million
/// points are 20 MB in one block, read and sorted in memory order.
using GpsDb = std::vector<GPS_POINT, HugePageAllocator<GPS_POINT>>;

/// Sorts the points into the device order, stably: equal keys keep their file
/// order.
void SortPoints(GpsDb& db);

/// Field-by-field equality, for tests and round trips.
bool SamePoint(const GPS_POINT& a, const GPS_POINT& b);

}  // namespace korvel
