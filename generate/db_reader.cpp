#include "generate/db_reader.h"

#include "generate/db_encoder.h"

namespace korvel {
namespace {

bool Fail(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
  return false;
}

bool Check(const DecodedDb& db, std::string* error) {
  const std::uint64_t cells = db.cells.size();
  if (cells == 0 && db.bodyCount != 0) return Fail(error, "points without a cell table");
  std::uint64_t expected_offset = kDbHeaderSize + kCellEntrySize * cells;
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < db.cells.size(); ++i) {
    const GPS_HEADER& cell = db.cells[i];
    const std::string where = "cell " + std::to_string(i);
    if (i > 0 && cell.id <= db.cells[i - 1].id) return Fail(error, where + ": ids not ascending");
    if (cell.count == 0) return Fail(error, where + ": no points");
    if (cell.offset != expected_offset) return Fail(error, where + ": wrong offset");
    for (std::uint32_t k = 0; k < cell.count; ++k) {
      const std::uint64_t p = sum + k;
      if (p >= db.points.size()) return Fail(error, where + ": counts exceed the points");
      if (db.points[p].id != cell.id) return Fail(error, where + ": point of another cell");
    }
    sum += cell.count;
    expected_offset += kGpsPointSize * std::uint64_t{cell.count};
  }
  if (sum != db.bodyCount) return Fail(error, "cell counts do not add up to the points");
  for (std::size_t i = 0; i < db.points.size(); ++i) {
    const GPS_POINT& point = db.points[i];
    const std::string where = "point " + std::to_string(i);
    if (point.reserved != 0) return Fail(error, where + ": reserved byte not 0");
    if (point.id != CellId(point.x, point.y)) return Fail(error, where + ": id is not its cell");
    if (i > 0 && point < db.points[i - 1]) return Fail(error, where + ": not sorted");
  }
  return true;
}

}  // namespace

std::optional<DecodedDb> DecodeDb(const Bytes& bytes, std::string* error) {
  if (bytes.size() < kDbHeaderSize) {
    Fail(error, "shorter than the 23-byte header");
    return std::nullopt;
  }
  const std::uint8_t* data = bytes.data();
  if (LoadU32(data) != kDbMagic) {
    Fail(error, "magic is not 200");
    return std::nullopt;
  }
  DecodedDb db;
  db.headerCount = LoadU32(data + 4);
  db.bodyCount = LoadU32(data + 8);
  db.version.assign(reinterpret_cast<const char*>(data + kDbVersionOffset), kDbVersionSize);

  // headerCount is one less than the cells, except that it is 0 for none.
  const std::uint64_t cells = db.bodyCount == 0 ? 0 : std::uint64_t{db.headerCount} + 1;
  if (db.bodyCount == 0 && db.headerCount != 0) {
    Fail(error, "cells counted without points");
    return std::nullopt;
  }
  const std::uint64_t expected =
      kDbHeaderSize + kCellEntrySize * cells + kGpsPointSize * std::uint64_t{db.bodyCount};
  if (bytes.size() != expected) {
    Fail(error, "length " + std::to_string(bytes.size()) + " where the counts give " +
                    std::to_string(expected));
    return std::nullopt;
  }
  const std::uint8_t* p = data + kDbHeaderSize;
  for (std::uint64_t i = 0; i < cells; ++i, p += kCellEntrySize) {
    db.cells.push_back(GPS_HEADER{LoadU32(p), LoadU16(p + 4), LoadU32(p + 6)});
  }
  for (std::uint32_t i = 0; i < db.bodyCount; ++i, p += kGpsPointSize) {
    db.points.push_back(DecodeImage(p));
  }
  if (!Check(db, error)) return std::nullopt;
  return db;
}

}  // namespace korvel
