#pragma once
// The sample inputs and the device database they must give, shared by the
// logic tests and the Windows dialog tests so that both hold the program to
// the same bytes.

#include <algorithm>
#include <string>

#include "camdb/gps_point.h"
#include "platform/bytes.h"

namespace korvel {

// Characters 5 to 10 are 123456: the K93 exchange stores 563412.
inline constexpr char kHeaderOnlyText[] = "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\r\n";

// TempDb.bin for kHeaderOnlyText: the two sample points alone.
inline const Bytes kSampleDb = {
    0xC8, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // counts
    'V',  '1',  '.',  '0',  ' ',  '5',  '6',  '3',  '4',  '1',  '2',         // version
    0xCB, 0x18, 0x4D, 0x07, 0x01, 0x00, 0x2B, 0x00, 0x00, 0x00,              // cell 1
    0xCD, 0x18, 0x4E, 0x07, 0x01, 0x00, 0x3D, 0x00, 0x00, 0x00,              // cell 2
    0xCB, 0x18, 0x4D, 0x07, 0xFD, 0x5E, 0x13, 0x00, 0x86, 0xB4, 0x05, 0x00,
    0x05, 0x50, 0x00, 0xF7, 0x00, 0x00,  // point 1
    0xCD, 0x18, 0x4E, 0x07, 0x2F, 0x60, 0x13, 0x00, 0x93, 0xB5, 0x05, 0x00,
    0x01, 0x46, 0x01, 0x0F, 0x00, 0x00,  // point 2
};

/// kHeaderOnlyText and 12 rows whose every field is quoted, as spreadsheets
/// save them: each reads as 0, so the database is OriginDb(12).
inline std::string QuotedText() {
  std::string text = kHeaderOnlyText;
  for (int i = 0; i < 12; ++i) text += "\"126.903093\"\t\"37.5\"\t\"1\"\t\"60\"\t\"0\"\t\"90\"\r\n";
  return text;
}

/// TempDb.bin for kHeaderOnlyText followed by `n` rows that all read as 0,
/// as quoted fields do: a first cell, id 0, of n zero points, then the two
/// sample cells as in kSampleDb.
inline Bytes OriginDb(std::uint16_t n) {
  Bytes db(kSampleDb.begin(), kSampleDb.begin() + 23);
  StoreU32(&db[4], 2);
  StoreU32(&db[8], n + 2u);
  const std::uint32_t points = 23 + 3 * 10;
  const auto cell = [&db](std::uint32_t id, std::uint16_t count, std::uint32_t offset) {
    std::uint8_t entry[10];
    StoreU32(entry, id);
    StoreU16(entry + 4, count);
    StoreU32(entry + 6, offset);
    db.insert(db.end(), entry, entry + 10);
  };
  cell(0, n, points);
  cell(LoadU32(&kSampleDb[23]), 1, points + 18 * n);
  cell(LoadU32(&kSampleDb[33]), 1, points + 18 * n + 18);
  db.resize(db.size() + 18 * n, 0);
  db.insert(db.end(), kSampleDb.begin() + 43, kSampleDb.end());
  return db;
}

/// A point at (x, y), in its cell.
inline GPS_POINT Point(std::uint32_t x, std::uint32_t y, std::uint8_t type = 1,
                       std::uint8_t speed = 60, std::uint8_t flag = 0, std::uint16_t angle = 0) {
  return GPS_POINT{CellId(x, y), x, y, type, speed, flag, angle, 0};
}

/// A pattern repeating every 256 bytes, set apart by `seed`, so that an image
/// stored at a wrong offset or from a wrong file shows.
inline Bytes Pattern(std::size_t size, unsigned seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
  return bytes;
}

/// The K93 package built by hand from its layout: a zero byte, the three
/// lengths, and each image at its own offset, zero bytes between.
inline Bytes ExpectedPackage(const Bytes& fw, const Bytes& voice, const Bytes& db) {
  Bytes out(0x500000 + db.size(), 0);
  StoreU32(&out[1], static_cast<std::uint32_t>(fw.size()));
  StoreU32(&out[5], static_cast<std::uint32_t>(voice.size()));
  StoreU32(&out[9], static_cast<std::uint32_t>(db.size()));
  std::copy(fw.begin(), fw.end(), out.begin() + 0x10);
  std::copy(voice.begin(), voice.end(), out.begin() + 0x100000);
  std::copy(db.begin(), db.end(), out.begin() + 0x500000);
  return out;
}

/// `db` in a package with a 3-byte firmware and a 2-byte voice image.
inline Bytes Package(const Bytes& db) {
  return ExpectedPackage(Bytes(3, 0x5A), Bytes(2, 0x3C), db);
}

}  // namespace korvel
