#include "camdb/gps_point.h"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

namespace korvel {
namespace {

/// LSD radix sort digits of 11 bits: 2048 buckets stay in the caches.
constexpr int kDigitBits = 11;
constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;

/// Stable LSD radix sort of `db` by the low `bits` bits of key(point). One
/// walk counts every digit; a digit all points share needs no pass.
template <typename Key>
void RadixSort(GpsDb& db, int bits, Key key) {
  const std::size_t n = db.size();
  const int digits = (bits + kDigitBits - 1) / kDigitBits;
  std::vector<std::array<std::uint32_t, kBuckets>> counts(static_cast<std::size_t>(digits));
  for (const GPS_POINT& point : db) {
    const std::uint64_t k = key(point);
    for (int d = 0; d < digits; ++d) ++counts[d][(k >> (kDigitBits * d)) & (kBuckets - 1)];
  }
  GpsDb scratch;
  for (int d = 0; d < digits; ++d) {
    const int shift = kDigitBits * d;
    std::array<std::uint32_t, kBuckets>& bucket = counts[d];
    if (bucket[(key(db.front()) >> shift) & (kBuckets - 1)] == n) continue;
    std::uint32_t next = 0;
    for (std::uint32_t& start : bucket) start = std::exchange(next, next + start);
    if (scratch.empty()) scratch.resize(n);
    // Points go out in their current order within each bucket: stable.
    for (const GPS_POINT& point : db)
      scratch[bucket[(key(point) >> shift) & (kBuckets - 1)]++] = point;
    db.swap(scratch);
  }
}

std::uint64_t ShiftLeft(std::uint64_t value, int shift) {
  return shift < 64 ? value << shift : 0;
}

}  // namespace

void SortPoints(GpsDb& db) {
  if (db.size() < 2) return;
  GPS_POINT low = db.front();
  GPS_POINT high = db.front();
  for (const GPS_POINT& p : db) {
    low.id = std::min(low.id, p.id), high.id = std::max(high.id, p.id);
    low.y = std::min(low.y, p.y), high.y = std::max(high.y, p.y);
    low.x = std::min(low.x, p.x), high.x = std::max(high.x, p.x);
  }
  if (high.x < kCellSize << 16 && high.y < kCellSize << 16) {
    // Below 1310.72 degrees the id is (y / 200, x / 200) uncut, so the order by
    // id, y, x is the order by latitude cell, longitude cell, y % 200, x % 200:
    // a key of the cells counted from the smallest, then two bytes.
    const std::uint32_t low_lat = low.y / kCellSize;
    const std::uint32_t low_lon = low.x / kCellSize;
    const std::uint64_t lon_span = high.x / kCellSize - low_lon + 1;
    const std::uint64_t cells = (high.y / kCellSize - low_lat) * lon_span + lon_span;
    RadixSort(db, std::bit_width(cells - 1) + 16, [=](const GPS_POINT& p) {
      const std::uint64_t cell = (p.y / kCellSize - low_lat) * lon_span + p.x / kCellSize - low_lon;
      return cell << 16 | (p.y % kCellSize) << 8 | p.x % kCellSize;
    });
    return;
  }
  const int id_bits = std::bit_width(high.id - low.id);
  const int y_bits = std::bit_width(high.y - low.y);
  const int x_bits = std::bit_width(high.x - low.x);
  if (id_bits + y_bits + x_bits <= 64) {
    // Otherwise id, y and x counted from their smallest values often still fit
    // one 64-bit key together: fewer passes.
    RadixSort(db, id_bits + y_bits + x_bits, [&](const GPS_POINT& p) {
      return ShiftLeft(p.id - low.id, y_bits + x_bits) | ShiftLeft(p.y - low.y, x_bits) |
             (p.x - low.x);
    });
    return;
  }
  // The least significant key first; each sort keeps the order of the last.
  RadixSort(db, 32, [](const GPS_POINT& p) { return std::uint64_t{p.x}; });
  RadixSort(db, 32, [](const GPS_POINT& p) { return std::uint64_t{p.y}; });
  RadixSort(db, 32, [](const GPS_POINT& p) { return std::uint64_t{p.id}; });
}

std::uint32_t CellId(std::uint32_t x, std::uint32_t y) {
  // The shift is not masked: for latitudes beyond any real coordinate the bits
  // above 32 fall away, as the devices' key has always been computed.
  const std::uint64_t lat_cell = y / kCellSize;
  const std::uint32_t lon_cell = (x / kCellSize) & 0xFFFFu;
  return static_cast<std::uint32_t>((lat_cell << 16) & 0xFFFFFFFFu) | lon_cell;
}

void AppendImage(const GPS_POINT& point, ByteWriter& out) {
  std::uint8_t image[kGpsPointSize];
  StoreImage(point, image);
  for (const std::uint8_t byte : image) out.U8(byte);
}

void StoreImage(const GPS_POINT& point, std::uint8_t* image) {
  StoreU32(image, point.id);
  StoreU32(image + 4, point.x);
  StoreU32(image + 8, point.y);
  image[12] = point.type;
  image[13] = point.speed;
  image[14] = point.flag;
  StoreU16(image + 15, point.angle);
  image[17] = point.reserved;
}

GPS_POINT DecodeImage(const std::uint8_t* image) {
  GPS_POINT point;
  point.id = LoadU32(image);
  point.x = LoadU32(image + 4);
  point.y = LoadU32(image + 8);
  point.type = image[12];
  point.speed = image[13];
  point.flag = image[14];
  point.angle = LoadU16(image + 15);
  point.reserved = image[17];
  return point;
}

bool SamePoint(const GPS_POINT& a, const GPS_POINT& b) {
  return a.id == b.id && a.x == b.x && a.y == b.y && a.type == b.type && a.speed == b.speed &&
         a.flag == b.flag && a.angle == b.angle && a.reserved == b.reserved;
}

}  // namespace korvel
