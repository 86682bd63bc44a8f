#include "camdb/gps_point.h"

namespace korvel {

std::uint32_t CellId(std::uint32_t x, std::uint32_t y) {
  // The shift is not masked: for latitudes beyond any real coordinate the bits
  // above 32 fall away, as the devices' key has always been computed.
  const std::uint64_t lat_cell = y / kCellSize;
  const std::uint32_t lon_cell = (x / kCellSize) & 0xFFFFu;
  return static_cast<std::uint32_t>((lat_cell << 16) & 0xFFFFFFFFu) | lon_cell;
}

void AppendImage(const GPS_POINT& point, ByteWriter& out) {
  out.U32(point.id);
  out.U32(point.x);
  out.U32(point.y);
  out.U8(point.type);
  out.U8(point.speed);
  out.U8(point.flag);
  out.U16(point.angle);
  out.U8(point.reserved);
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
