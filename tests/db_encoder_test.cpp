// The device database file: golden bytes, layout invariants, failures, and a
// round trip through the independent reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>

#include "camdb/parser.h"
#include "generate/db_encoder.h"
#include "generate/db_reader.h"
#include "support/byte_diff.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

using testing::MemoryFileSystem;
using testing::SameBytes;

GPS_POINT Point(std::uint32_t x, std::uint32_t y, std::uint8_t type = 0) {
  GPS_POINT p;
  p.x = x;
  p.y = y;
  p.id = CellId(x, y);
  p.type = type;
  return p;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

struct Encoded {
  WriteDbResult result;
  RunState state;
  MemoryFileSystem fs;
  std::string trace;
};

void Encode(Encoded& e) {
  std::ostringstream trace;
  e.result = WriteDbFile(e.state, e.fs, &trace);
  e.trace = trace.str();
}

const Bytes kSample1Image = {0xCB, 0x18, 0x4D, 0x07, 0xFD, 0x5E, 0x13, 0x00, 0x86,
                             0xB4, 0x05, 0x00, 0x05, 0x50, 0x00, 0xF7, 0x00, 0x00};
const Bytes kSample2Image = {0xCD, 0x18, 0x4E, 0x07, 0x2F, 0x60, 0x13, 0x00, 0x93,
                             0xB5, 0x05, 0x00, 0x01, 0x46, 0x01, 0x0F, 0x00, 0x00};

TEST(DbEncoder, TwoSamplePointsGolden) {
  Encoded e;
  e.state.DB_VERSION = "V1.0 211105";
  GPS_POINT second = Point(1269807, 374163, 1);
  second.speed = 70;
  second.flag = 1;
  second.angle = 15;
  GPS_POINT first = Point(1269501, 373894, 5);
  first.speed = 80;
  first.angle = 247;
  e.state.GPS_DB = {second, first};  // out of order: the encoder sorts
  Encode(e);
  ASSERT_EQ(e.result, WriteDbResult::kOk);
  const Bytes expected = Concat({
      {0xC8, 0, 0, 0, 0x01, 0, 0, 0, 0x02, 0, 0, 0},
      Text("V1.0 211105"),
      {0xCB, 0x18, 0x4D, 0x07, 0x01, 0x00, 0x2B, 0x00, 0x00, 0x00},
      {0xCD, 0x18, 0x4E, 0x07, 0x01, 0x00, 0x3D, 0x00, 0x00, 0x00},
      kSample1Image,
      kSample2Image,
  });
  ASSERT_EQ(expected.size(), 79u);
  EXPECT_TRUE(SameBytes(e.fs.files["TempDb.bin"], expected));
  EXPECT_TRUE(SameBytes(e.state.DB_STREAM, expected));
  EXPECT_EQ(e.trace, std::string(91, '=') + "\nHeaders\n\n" + std::string(91, '=') + "\nBodys\n\n");
}

TEST(DbEncoder, CellLayoutTable) {
  const struct {
    const char* name;
    std::vector<GPS_POINT> points;
    std::uint32_t header_count;
    std::vector<std::uint16_t> counts;
    std::vector<std::uint32_t> offsets;
  } cases[] = {
      {"empty", {}, 0, {}, {}},
      {"one cell",
       {Point(1269650, 373950), Point(1269610, 373950), Point(1269700, 373901)},
       0,
       {3},
       {33}},
      {"three then one",
       {Point(1269650, 373950), Point(1269610, 373950), Point(1269700, 373901),
        Point(1269900, 373950)},
       1,
       {3, 1},
       {43, 97}},
      {"cell zero first",
       {Point(1269650, 373950), Point(0, 0), Point(199, 199)},
       1,
       {2, 1},
       {43, 79}},
  };
  for (const auto& c : cases) {
    Encoded e;
    e.state.DB_VERSION = "V1.0 211105";
    e.state.GPS_DB.assign(c.points.begin(), c.points.end());
    Encode(e);
    ASSERT_EQ(e.result, WriteDbResult::kOk) << c.name;
    const Bytes& file = e.fs.files["TempDb.bin"];
    ASSERT_EQ(file.size(), 23 + 10 * c.counts.size() + 18 * c.points.size()) << c.name;
    EXPECT_EQ(LoadU32(file.data() + 4), c.header_count) << c.name;
    EXPECT_EQ(LoadU32(file.data() + 8), c.points.size()) << c.name;
    for (std::size_t i = 0; i < c.counts.size(); ++i) {
      const std::uint8_t* entry = file.data() + 23 + 10 * i;
      EXPECT_EQ(LoadU16(entry + 4), c.counts[i]) << c.name << " cell " << i;
      EXPECT_EQ(LoadU32(entry + 6), c.offsets[i]) << c.name << " cell " << i;
    }
    std::string error;
    EXPECT_TRUE(DecodeDb(file, &error)) << c.name << ": " << error;
  }
}

TEST(DbEncoder, VersionFieldTable) {
  const struct {
    std::string version;
    Bytes field;
  } cases[] = {
      {"V1.0 211105", Text("V1.0 211105")},
      {"V1.0 211105 and a long tail", Text("V1.0 211105")},
      {"V1", Concat({Text("V1"), Bytes(9, 0)})},
  };
  for (const auto& c : cases) {
    Encoded e;
    e.state.DB_VERSION = c.version;
    e.state.GPS_DB = {Point(1269501, 373894)};
    Encode(e);
    const Bytes& file = e.fs.files["TempDb.bin"];
    ASSERT_EQ(file.size(), 23u + 10 + 18);
    EXPECT_TRUE(SameBytes(Bytes(file.begin() + 12, file.begin() + 23), c.field)) << c.version;
  }
}

TEST(DbEncoder, CellCountLimit) {
  for (std::uint32_t count : {65535u, 65536u}) {
    Encoded e;
    e.state.DB_VERSION = "V1.0 211105";
    e.state.GPS_DB.assign(count, Point(1269501, 373894));
    e.state.GPS_DB.push_back(Point(0, 0));
    Encode(e);
    if (count == 65535) {
      ASSERT_EQ(e.result, WriteDbResult::kOk);
      EXPECT_EQ(LoadU16(e.fs.files["TempDb.bin"].data() + 23 + 10 + 4), 0xFFFF);
    } else {
      EXPECT_EQ(e.result, WriteDbResult::kCellTooLarge);
      EXPECT_FALSE(e.fs.Exists("TempDb.bin"));
    }
  }
}

TEST(DbEncoder, WriteFailuresAreReported) {
  const struct {
    const char* name;
    void (*inject)(MemoryFileSystem&);
  } cases[] = {
      {"create",
       [](MemoryFileSystem& fs) {
         fs.fail_open.insert({"TempDb.bin.tmp", OpenMode::kCreateWrite});
       }},
      {"short write", [](MemoryFileSystem& fs) { fs.write_limit["TempDb.bin.tmp"] = 40; }},
      {"close", [](MemoryFileSystem& fs) { fs.fail_close.insert("TempDb.bin.tmp"); }},
      {"rename", [](MemoryFileSystem& fs) { fs.fail_rename.insert("TempDb.bin"); }},
  };
  for (const auto& c : cases) {
    Encoded e;
    e.state.DB_VERSION = "V1.0 211105";
    e.state.GPS_DB = {Point(1269501, 373894), Point(1269807, 374163)};
    e.fs.SetFile("TempDb.bin", "earlier");
    c.inject(e.fs);
    Encode(e);
    EXPECT_EQ(e.fs.Text("TempDb.bin"), "earlier") << c.name;
    EXPECT_FALSE(e.fs.Exists("TempDb.bin.tmp")) << c.name;
    EXPECT_EQ(e.result, WriteDbResult::kWriteFailed) << c.name;
  }
}

// Parse a synthetic text, encode it, read it back with the independent reader
// and compare with the parsed points in their stable sorted order.
TEST(DbEncoder, RoundTripThroughTheReader) {
  for (const bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "wide keys" : "a region");
    std::mt19937 random(7);
    std::string text = "V2.3 240101 round trip\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\r\n";
    for (int i = 0; i < 3000; ++i) {
      char row[96];
      std::snprintf(row, sizeof row, "%.6f\t%.6f\t%u\t%u\t%u\t%u\r\n",
                    126.8 + (random() % 40000) / 100000.0, 37.4 + (random() % 30000) / 100000.0,
                    unsigned(random() % 300), unsigned(random() % 300), unsigned(random() % 3),
                    unsigned(random() % 70000));
      text += row;
      if (i % 100 == 0) text += row;  // duplicates keep their order
    }
    // Keys with their high bits set (too wide for one packed sort key), equal
    // keys that differ in other fields.
    if (wide)
      text +=
          "429496.7\t429496.7\t1\t1\t1\t1\r\n1e9\t-1\t2\t2\t2\t2\r\n0\t0\t3\t3\t3\t3\r\n"
          "429496.7\t429496.7\t4\t4\t4\t4\r\n-1\t1e9\t5\t5\t5\t5\r\n0\t0\t6\t6\t6\t6\r\n";
    MemoryFileSystem fs;
    fs.SetFile("in.txt", text);
    TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
    RunState state;
    struct : StatusLine {
      void SetStatus(const std::string& s) override { ADD_FAILURE() << s; }
    } status;
    ASSERT_EQ(ParseDbText(reader, state, status, nullptr), 1);
    GpsDb expected = state.GPS_DB;
    std::stable_sort(expected.begin(), expected.end());
    ASSERT_EQ(WriteDbFile(state, fs, nullptr), WriteDbResult::kOk);

    std::string error;
    const auto db = DecodeDb(fs.files["TempDb.bin"], &error);
    ASSERT_TRUE(db) << error;
    EXPECT_EQ(db->version, "V2.3 240101");
    ASSERT_EQ(db->points.size(), expected.size());
    auto it = expected.begin();
    for (std::size_t i = 0; i < db->points.size(); ++i, ++it) {
      ASSERT_TRUE(SamePoint(db->points[i], *it)) << "point " << i;
    }
    ASSERT_EQ(db->cells.size(), state.GPS_HEADERS.size());
    EXPECT_EQ(db->headerCount + 1, db->cells.size());
  }
}

TEST(DbReader, RejectsEveryTruncationAndCorruption) {
  Encoded e;
  e.state.DB_VERSION = "V1.0 211105";
  e.state.GPS_DB = {Point(1269501, 373894), Point(1269807, 374163), Point(1269900, 374163)};
  Encode(e);
  const Bytes good = e.fs.files["TempDb.bin"];
  ASSERT_TRUE(DecodeDb(good, nullptr));
  for (std::size_t length = 0; length < good.size(); ++length) {
    EXPECT_FALSE(DecodeDb(Bytes(good.begin(), good.begin() + length), nullptr)) << length;
  }
  const struct {
    std::size_t offset;
    std::uint8_t value;
  } corruptions[] = {
      {0, 0xC9},        // magic
      {4, 0x05},        // cell count
      {23 + 4, 0x02},   // first cell's count
      {23 + 6, 0x2C},   // first cell's offset
      {43, 0xFF},       // first point's id
      {43 + 4, 0x00},   // first point's x: no longer its cell
      {43 + 17, 0x01},  // reserved byte
  };
  for (const auto& c : corruptions) {
    Bytes bad = good;
    bad[c.offset] = c.value;
    std::string error;
    EXPECT_FALSE(DecodeDb(bad, &error)) << "offset " << c.offset;
  }
}

}  // namespace
}  // namespace korvel
