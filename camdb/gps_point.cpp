#include "camdb/gps_point.h"

#include <array>
#include <utility>

namespace korvel {
namespace {

/// LSD radix sort digits: each 32-bit key in pieces of 11, 11 and 10 bits.
constexpr int kDigitBits = 11;
constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;
constexpr int kDigitsPerKey = 3;
constexpr int kDigits = 3 * kDigitsPerKey;

/// Digit `d` of the sort key, least significant first: x's digits, then y's,
/// then id's, so the last pass orders by id, ties by y, then x.
inline std::uint32_t Digit(const GPS_POINT& point, int d) {
  const std::uint32_t key = d < kDigitsPerKey       ? point.x
                            : d < 2 * kDigitsPerKey ? point.y
                                                    : point.id;
  return (key >> (kDigitBits * (d % kDigitsPerKey))) & (kBuckets - 1);
}

}  // namespace

void SortPoints(std::vector<GPS_POINT>& db) {
  const std::size_t n = db.size();
  if (n < 2) return;
  // One walk counts every digit; a digit all points share needs no pass.
  std::vector<std::array<std::uint32_t, kBuckets>> counts(kDigits);
  for (const GPS_POINT& point : db) {
    for (int d = 0; d < kDigits; ++d) ++counts[d][Digit(point, d)];
  }
  std::vector<GPS_POINT> scratch;
  for (int d = 0; d < kDigits; ++d) {
    std::array<std::uint32_t, kBuckets>& bucket = counts[d];
    if (bucket[Digit(db.front(), d)] == n) continue;
    std::uint32_t next = 0;
    for (std::uint32_t& start : bucket) start = std::exchange(next, next + start);
    if (scratch.empty()) scratch.resize(n);
    // A stable pass: points go out in their current order within each bucket.
    for (const GPS_POINT& point : db) scratch[bucket[Digit(point, d)]++] = point;
    db.swap(scratch);
  }
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
