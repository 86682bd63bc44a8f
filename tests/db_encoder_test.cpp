// The device database file: golden bytes, the cell size limit, a round trip
// through the independent reader, and the reader's kinds and faults.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "format/db_encoder.h"
#include "format/db_reader.h"
#include "format/package_layout.h"
#include "fuzz/fuzz_check.h"
#include "generate/package.h"
#include "generate/pipeline.h"
#include "support/byte_diff.h"
#include "support/golden.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

using testing::MemoryFileSystem;
using testing::SameBytes;

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
  // Out of order: the encoder sorts.
  Encoded e({Point(1269807, 374163, 1, 70, 1, 15), Point(1269501, 373894, 5, 80, 0, 247)},
            "V1.0 563412");
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

// Parse a synthetic text, encode it and read it back with the independent
// reader, under the round-trip fuzz target's checks: every point, in the
// stable sorted order, under the cells that count them.
TEST(DbEncoder, RoundTripThroughTheReader) {
  // Rows added to a region: none (grid-cell keys), a narrow band beyond 1310.72
  // degrees (one packed key), and keys with their high bits set, too wide to
  // pack, with equal keys that differ in other fields.
  const std::pair<const char*, int> extras[] = {
      {"", 3030},
      {"1400.0001\t37.5\t7\t7\t7\t7\r\n1400\t37.4\t8\t8\t8\t8\r\n1400.0001\t37.5\t9\t9\t9\t9\r\n",
       3033},
      {"429496.7\t429496.7\t1\t1\t1\t1\r\n1e9\t-1\t2\t2\t2\t2\r\n0\t0\t3\t3\t3\t3\r\n"
       "429496.7\t429496.7\t4\t4\t4\t4\r\n-1\t1e9\t5\t5\t5\t5\r\n0\t0\t6\t6\t6\t6\r\n",
       3036}};
  for (const auto& [extra, points] : extras) {
    SCOPED_TRACE(extra);
    std::mt19937 random(7);
    // The fuzz input's first byte: not in K93 mode.
    std::string input = std::string(1, '\0') + "V2.3 240101 round trip\r\nX\tY\tTYPE\r\n";
    for (int i = 0; i < 3000; ++i) {
      char row[96];
      std::snprintf(row, sizeof row, "%.6f\t%.6f\t%u\t%u\t%u\t%u\r\n",
                    126.8 + (random() % 40000) / 100000.0, 37.4 + (random() % 30000) / 100000.0,
                    unsigned(random() % 300), unsigned(random() % 300), unsigned(random() % 3),
                    unsigned(random() % 70000));
      input += row;
      if (i % 100 == 0) input += row;  // duplicates keep their order
    }
    input += extra;
    const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
    EXPECT_EQ(fuzz::FuzzRoundtrip(data, input.size()), points);
  }
}

/// `bytes` with `values` from `offset` on; at the end they are appended.
Bytes With(Bytes bytes, std::size_t offset, std::initializer_list<std::uint8_t> values) {
  bytes.resize(std::max(bytes.size(), offset + values.size()));
  std::copy(values.begin(), values.end(), bytes.begin() + offset);
  return bytes;
}

TEST(DbReader, KindAndFaultsTable) {
  using enum FileKind;
  // One cell of three points, then a cell of one: offsets 43 and 97.
  const Bytes four = Encoded({Point(1269650, 373950), Point(1269610, 373950),
                              Point(1269700, 373901), Point(1269900, 373950)})
                         .file;
  const Bytes package = Package(kSampleDb);
  const struct {
    const char* name;
    Bytes bytes;
    FileKind kind;
    std::vector<std::string> faults;
  } cases[] = {
      // clang-format off
      {"sample database", kSampleDb, kDatabase, {}},
      {"sample package", package, kPackage, {}},
      {"empty", {}, kUnknown, {}},
      {"text over 5 MiB", Bytes(6000000, 'V'), kUnknown, {}},
      {"package one byte long", With(package, package.size(), {0}), kUnknown, {}},
      {"trailing byte", With(four, four.size(), {0}), kDatabase, {"1 bytes after the last point"}},
      {"points out of order", With(four, 43 + 18 + 4, {0xBA}), kDatabase, {"point 2: out of order"}},
      {"cell offset off by one", With(four, 23 + 10 + 6, {96}), kDatabase,
       {"cell 1: offset 96 where its points start at 97"}},
      {"cell offset outside", With(four, 23 + 6, {0, 0, 1}), kDatabase,
       {"cell 0: offset 65536 lies outside the points"}},
      {"cell table disagrees", With(four, 23 + 4, {2}), kDatabase,
       {"cell 1: offset 97 where its points start at 79",
        "cell 1: point 2 has id 122493132, not the cell's 122493133",
        "cell counts add up to 3, the header says 4 points"}},
      {"reserved byte", With(four, 43 + 17, {1}), kDatabase, {"point 0: reserved byte is not 0"}},
      {"version", With(kSampleDb, 12, {'v', 0, 0, 0, 0, '/'}), kDatabase,
       {"version field does not start with V", "version byte 1 cannot stand in a text line",
        "version byte 2 cannot stand in a text line", "version byte 3 cannot stand in a text line",
        "version byte 4 cannot stand in a text line",
        "version character 5 cannot stand in a file name"}},
      {"package header bytes", With(With(package, 0, {1}), 13, {0, 0, 7}), kPackage,
       {"header byte 0 is 0x01, not 0", "header byte 15 is 0x07, not 0"}},
      {"package fill", With(With(package, 0x13, {9}), 0x4FFFFF, {1}), kPackage,
       {"fill after the firmware is not zero at 0x000013",
        "fill after the voice image is not zero at 0x4FFFFF"}},
      {"package holding no database", Package(Bytes(30, 0)), kPackage,
       {"database: magic is 0, not 200", "database: version field does not start with V",
        "database: version byte 1 cannot stand in a text line",
        "database: version byte 2 cannot stand in a text line",
        "database: version byte 3 cannot stand in a text line",
        "database: version byte 4 cannot stand in a text line",
        "database: version character 5 cannot stand in a file name",
        "database: 7 bytes after the last point"}},
      {"package with a cut database", Package(Bytes(kSampleDb.begin(), kSampleDb.end() - 1)),
       kPackage, {"database: the counts give 79 bytes, there are 78"}},
      // clang-format on
  };
  for (const auto& c : cases) {
    const CameraFile file = ReadCameraFile(c.bytes);
    EXPECT_EQ(file.kind, c.kind) << c.name;
    EXPECT_EQ(file.faults.kept(), c.faults) << c.name;
  }
}

TEST(DbReader, BigDatabaseAndEveryTruncation) {
  std::vector<GPS_POINT> points;
  for (std::uint32_t i = 0; i < 300000; ++i)
    points.push_back(Point(1260000 + i % 9000, 370000 + i / 40));
  const Encoded big(points);
  ASSERT_GT(big.file.size(), kDbOffset);
  const CameraFile file = ReadCameraFile(big.file);
  EXPECT_EQ(file.kind, FileKind::kDatabase);
  EXPECT_EQ(file.faults.total(), 0u);

  const Bytes package = Package(kSampleDb);
  const std::span<const std::uint8_t> all(package), db(kSampleDb);
  for (std::size_t length = 0; length < package.size(); ++length) {
    ASSERT_EQ(ReadCameraFile(all.first(length)).kind, FileKind::kUnknown) << length;
  }
  for (std::size_t length = 0; length < db.size(); ++length) {
    ASSERT_EQ(ReadCameraFile(db.first(length)).kind, FileKind::kUnknown) << length;
  }
}

}  // namespace
}  // namespace korvel
