// The device database file: golden bytes, layout invariants, the cell size
// limit, and a round trip through the independent reader.

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
#include "support/golden.h"
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

/// The points encoded under `version`, with the result, the file and the trace.
struct Encoded {
  Encoded(std::vector<GPS_POINT> points, std::string version = "V1.0 211105") {
    state.DB_VERSION = std::move(version);
    state.GPS_DB.assign(points.begin(), points.end());
    std::ostringstream out;
    result = WriteDbFile(state, fs, &out);
    trace = out.str();
    if (fs.Exists("TempDb.bin")) file = fs.files["TempDb.bin"];
  }
  RunState state;
  MemoryFileSystem fs;
  WriteDbResult result;
  std::string trace;
  Bytes file;
};

TEST(DbEncoder, TwoSamplePointsGolden) {
  GPS_POINT second = Point(1269807, 374163, 1);
  second.speed = 70;
  second.flag = 1;
  second.angle = 15;
  GPS_POINT first = Point(1269501, 373894, 5);
  first.speed = 80;
  first.angle = 247;
  Encoded e({second, first}, "V1.0 563412");  // out of order: the encoder sorts
  ASSERT_EQ(e.result, WriteDbResult::kOk);
  EXPECT_TRUE(SameBytes(e.file, kSampleDb));
  EXPECT_TRUE(SameBytes(e.state.DB_STREAM, kSampleDb));
  EXPECT_EQ(e.trace, std::string(91, '=') + "\nHeaders\n\n" + std::string(91, '=') + "\nBodys\n\n");
}

TEST(DbEncoder, CellCountLimit) {
  std::vector<GPS_POINT> points(65535, Point(1269501, 373894));
  points.push_back(Point(0, 0));
  Encoded full(points);
  ASSERT_EQ(full.result, WriteDbResult::kOk);
  EXPECT_EQ(LoadU16(full.file.data() + 23 + 10 + 4), 0xFFFF);
  points.push_back(Point(1269501, 373894));
  Encoded over(points);
  EXPECT_EQ(over.result, WriteDbResult::kCellTooLarge);
  EXPECT_FALSE(over.fs.Exists("TempDb.bin"));
}

// Parse a synthetic text, encode it, read it back with the independent reader
// and compare with the parsed points in their stable sorted order.
TEST(DbEncoder, RoundTripThroughTheReader) {
  // Rows added to a region: none (grid-cell keys), a narrow band beyond 1310.72
  // degrees (one packed key), and keys with their high bits set, too wide to
  // pack, with equal keys that differ in other fields.
  const char* const extras[] = {
      "",
      "1400.0001\t37.5\t7\t7\t7\t7\r\n1400\t37.4\t8\t8\t8\t8\r\n1400.0001\t37.5\t9\t9\t9\t9\r\n",
      "429496.7\t429496.7\t1\t1\t1\t1\r\n1e9\t-1\t2\t2\t2\t2\r\n0\t0\t3\t3\t3\t3\r\n"
      "429496.7\t429496.7\t4\t4\t4\t4\r\n-1\t1e9\t5\t5\t5\t5\r\n0\t0\t6\t6\t6\t6\r\n"};
  for (const char* extra : extras) {
    SCOPED_TRACE(extra);
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
    text += extra;
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

}  // namespace
}  // namespace korvel
