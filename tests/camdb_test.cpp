// Camera points, the field splitter and the text parser.

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "camdb/gps_point.h"
#include "camdb/parser.h"
#include "camdb/split_string.h"
#include "platform/c_number.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

using testing::MemoryFileSystem;

class RecordingStatus : public StatusLine {
 public:
  void SetStatus(const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

struct ParseRun {
  int result = -1;
  std::string status;  // the one status text, or empty
  DbState state;
  std::string trace;
};

ParseRun Parse(const std::string& text, std::uint32_t line_count = 0, std::uint8_t k93 = 0) {
  MemoryFileSystem fs;
  fs.SetFile("in.txt", text);
  TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
  ParseRun run;
  run.state.DB_LINE_COUNT = line_count;
  run.state.K93_MODE = k93;
  RecordingStatus status;
  std::ostringstream trace;
  run.result = ParseDbText(reader, run.state, status, &trace);
  EXPECT_LE(status.texts.size(), 1u);
  if (!status.texts.empty()) run.status = status.texts[0];
  run.trace = trace.str();
  return run;
}

Bytes Image(const GPS_POINT& point) {
  Bytes bytes;
  ByteWriter out(bytes);
  AppendImage(point, out);
  return bytes;
}

const char kVersion[] = "V1.0 211105 test\n";
const char kHeader[] = "X\tY\tTYPE\tSPEED\tFLAG\tANGLE\n";
const char kRow1[] = "126.950100\t37.389400\t5\t80\t0\t247\n";
const char kRow2[] = "126.980700\t37.416300\t1\t70\t1\t15\n";

TEST(GpsPoint, FirstSampleRowImage) {
  ParseRun run = Parse(std::string(kVersion) + kHeader + kRow1);
  ASSERT_EQ(run.result, 1);
  ASSERT_EQ(run.state.GPS_DB.size(), 1u);
  const GPS_POINT& p = run.state.GPS_DB.front();
  EXPECT_EQ(p.id, 122493131u);
  EXPECT_EQ(Image(p), (Bytes{0xCB, 0x18, 0x4D, 0x07, 0xFD, 0x5E, 0x13, 0x00, 0x86, 0xB4, 0x05, 0x00,
                             0x05, 0x50, 0x00, 0xF7, 0x00, 0x00}));
  EXPECT_TRUE(SamePoint(DecodeImage(Image(p).data()), p));
}

TEST(GpsPoint, SecondSampleRowFields) {
  ParseRun run = Parse(std::string(kVersion) + kHeader + kRow2);
  ASSERT_EQ(run.result, 1);
  const GPS_POINT& p = run.state.GPS_DB.front();
  EXPECT_EQ(p.x, 1269807u);
  EXPECT_EQ(p.y, 374163u);
  EXPECT_EQ(p.id, 0x074E18CDu);
  EXPECT_EQ(p.type, 1);
  EXPECT_EQ(p.speed, 70);
  EXPECT_EQ(p.flag, 1);
  EXPECT_EQ(p.angle, 15);
}

TEST(GpsPoint, CellBoundariesAndUnmaskedShift) {
  const struct {
    std::uint32_t x, y, id;
  } cases[] = {
      {1269600, 0, 6348},
      {1269799, 0, 6348},
      {1269800, 0, 6349},
      {199, 199, 0},
      {200, 200, 0x00010001},
      {1800000, 900000, (4500u << 16) | 9000u},
      {13107200, 0, 0},  // longitude cell 65536 keeps only its low 16 bits
      {0, 13107200, 0},  // latitude cell 65536 shifts out of the 32 bits
      {0xFFFFFFFF, 0xFFFFFFFF, (21474836u << 16) | (21474836u & 0xFFFF)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CellId(c.x, c.y), c.id) << c.x << "," << c.y;
  }
}

TEST(GpsPoint, SortIsStableOnEqualKeys) {
  GpsDb db;
  auto add = [&db](std::uint32_t x, std::uint32_t y, std::uint8_t type) {
    GPS_POINT p;
    p.x = x;
    p.y = y;
    p.id = CellId(x, y);
    p.type = type;
    db.push_back(p);
  };
  add(1269650, 373950, 1);
  add(1269610, 373950, 2);  // same cell and y, smaller x
  add(1269650, 373901, 3);  // same cell, smaller y
  add(1269650, 373950, 4);  // equal to the first in id, y and x
  add(1269000, 373950, 5);  // earlier cell
  SortPoints(db);
  std::vector<int> types;
  for (const GPS_POINT& p : db) types.push_back(p.type);
  EXPECT_EQ(types, (std::vector<int>{5, 3, 2, 1, 4}));
}

TEST(SplitString, Table) {
  const struct {
    std::string text, delimiters;
    std::vector<std::string> fields;
  } cases[] = {
      {"a\tb\tc", "\t", {"a", "b", "c"}},
      {"\ta\t\tb\t", "\t", {"a", "b"}},
      {"a b\tc", "\t", {"a b", "c"}},
      {"", "\t", {}},
      {"\t\t\t", "\t", {}},
      {"a,b;c", ",;", {"a", "b", "c"}},
      {"abc", "", {"abc"}},
      {"", "", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> fields{"kept"};
    SplitString(c.text, fields, c.delimiters);
    std::vector<std::string> expected{"kept"};
    expected.insert(expected.end(), c.fields.begin(), c.fields.end());
    EXPECT_EQ(fields, expected) << c.text;
  }
}

TEST(ConvertCoordinate, SinglePrecisionTable) {
  const struct {
    const char* text;
    std::uint32_t units;
  } cases[] = {
      {"126.950100", 1269501},
      {"37.389400", 373894},
      {"37.999999", 380000},  // double precision would truncate to 379999
      {"126.900099", 1269001},
      {"-126.5", 4294967295u},
      {"-1", 4294967295u},
      {"-0.00005", 0},
      {"-0.0000999", 0},
      {"0", 0},
      {"abc", 0},
      {"", 0},
      {"  37.5xyz", 375000},
      {"429496.7295", 4294967295u},  // rounds to 2^32 in single precision
      {"429496.7", 4294966784u},
      {"1e300", 4294967295u},
      {"-1e300", 4294967295u},
      {"nan", 4294967295u},
      {"inf", 4294967295u},
      {"0x10", 160000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertCoordinate(c.text), c.units) << c.text;
  }
}

TEST(Parser, IntegerFieldsKeepTheirLowBits) {
  const struct {
    const char* fields;  // type speed flag angle
    int type, speed, flag, angle;
  } cases[] = {
      {"5\t80\t0\t247", 5, 80, 0, 247},
      {"256\t300\t-1\t65537", 0, 44, 255, 1},
      {"1\t80km\t0\t300", 1, 80, 0, 300},
      {"x\t+7\t 3\t-1", 0, 7, 3, 65535},
      {"9999999999\t0\t0\t-9999999999", 255, 0, 0, 0},
  };
  for (const auto& c : cases) {
    ParseRun run = Parse(std::string(kVersion) + kHeader + "126.9\t37.3\t" + c.fields + "\n");
    ASSERT_EQ(run.result, 1) << c.fields;
    const GPS_POINT& p = run.state.GPS_DB.front();
    EXPECT_EQ(p.type, c.type) << c.fields;
    EXPECT_EQ(p.speed, c.speed) << c.fields;
    EXPECT_EQ(p.flag, c.flag) << c.fields;
    EXPECT_EQ(p.angle, c.angle) << c.fields;
    EXPECT_EQ(p.reserved, 0);
  }
}

// Rows in the plainest form take a shortcut; every row must still give the
// point the fields give one by one.
TEST(Parser, EveryRowGivesThePointOfItsFields) {
  std::vector<std::string> rows = {"-0.5\t-0.00001\t-1\t-0\t256\t65537",
                                   "1.\t2\t123456789\t1234567890\t99999999999\t-9",
                                   "0000000000000001.5\t12345678901234.5\t1\t1\t1\t1",
                                   "429496.7296\t-1\t1\t1\t1\t1",
                                   "1e2\t0x10\t+1\t 2\t3x\t4",
                                   "1.5\t\t2\t3\t4\t5\t6",
                                   "\t1\t2\t3\t4\t5\t6\t",
                                   "1\t2\t3\t4\t5\t6\t"};
  std::mt19937 random(5);
  for (int i = 0; i < 2000; ++i) {
    std::string row;
    for (int f = 0; f < 6; ++f) {
      row += f == 0 ? "" : "\t";
      if (random() % 4 == 0) row += '-';
      std::string number = std::to_string(random() >> (random() % 32));
      if (f < 2) number.insert(random() % (number.size() + 1), ".");
      row += number;
    }
    rows.push_back(row);
  }
  for (const std::string& row : rows) {
    std::vector<std::string_view> fields;
    SplitString(row, fields, "\t");
    const ParseRun run = Parse(kVersion + std::string(kHeader) + row + "\n", 3);
    if (fields.size() != 6) {
      EXPECT_EQ(run.status, "Error : Line 3") << row;
      continue;
    }
    ASSERT_EQ(run.state.GPS_DB.size(), 1u) << row;
    const GPS_POINT& p = run.state.GPS_DB[0];
    EXPECT_TRUE(p.x == ConvertCoordinate(fields[0]) && p.y == ConvertCoordinate(fields[1]) &&
                p.id == CellId(p.x, p.y) && p.type == std::uint8_t(CAtoi(fields[2])) &&
                p.speed == std::uint8_t(CAtoi(fields[3])) &&
                p.flag == std::uint8_t(CAtoi(fields[4])) &&
                p.angle == std::uint16_t(CAtoi(fields[5])))
        << row;
  }
}

TEST(Parser, FaultsAndAcceptanceTable) {
  const std::string v = kVersion;
  const std::string h = kHeader;
  const std::string r = kRow1;
  std::string max_row = "126.95\t37.38\t1\t2\t3\t";
  max_row.resize(TextReader::kMaxLineLength - 1, '0');
  max_row += '4';
  const struct {
    std::string text;
    std::uint32_t line_count;
    int result;
    std::string status;
    std::size_t points;
  } cases[] = {
      {"", 0, 1, "", 0},
      {v + h, 2, 1, "", 0},
      {v + h + r + r, 4, 1, "", 2},
      {"V1.0 211105\r\n" + h + "126.95\t37.38\t1\t2\t3\t4\r\n", 3, 1, "", 1},
      {v + h + r, 0, 1, "", 1},
      // version line
      {"v1.0 211105\n" + h, 2, 0, "Version is not exist!", 0},
      {"\n" + h, 2, 0, "Version is not exist!", 0},
      {"\xEF\xBB\xBFV1.0 211105\n" + h, 2, 0, "Version is not exist!", 0},
      {"V1.0 2111\n" + h, 2, 0, "Version is too short!", 0},
      {"V\n" + h, 2, 0, "Version is too short!", 0},
      {std::string("V1.0 21\0 1105\n", 14) + h, 2, 0, "Version is too short!", 0},
      {"V1.0 211105", 1, 1, "", 0},
      // header line
      {v + "x\tY\tTYPE\n", 2, 0, "X is not exist!", 0},
      {v + " X\tY\tTYPE\n", 2, 0, "X is not exist!", 0},
      {v + "\n", 2, 0, "X is not exist!", 0},
      {v + r, 2, 0, "X is not exist!", 0},
      {v + "X\ty\tTYPE\n", 2, 0, "Y is not exist!", 0},
      {v + "X\tY\n", 2, 0, "TYPE is not exist!", 0},
      {v + "X\tY\tType\n", 2, 0, "TYPE is not exist!", 0},
      {v + "\tX\t\tY\tTYPE\tanything else\n", 2, 1, "", 0},
      // data rows
      {v + h + "\n" + r, 2, 1, "", 1},
      {v + h + "\n" + r, 3, 0, "Error : EmptyLine 3", 0},
      {v + h + r + "\t\t\n" + r, 3, 1, "", 2},
      {v + h + r + "\t\t\n" + r, 5, 0, "Error : EmptyLine 4", 1},
      {v + h + r + "\n\n" + r, 3, 0, "Error : EmptyLine 5", 1},
      {v + h + "126.95\t37.38\t\t2\t3\t4\n", 3, 0, "Error : Line 3", 0},
      {v + h + "\t126.95\t37.38\t1\t2\t3\t4\t\n", 3, 1, "", 1},
      {v + h + "126.95\t37.38\t1\t2\t3\t4\t5\n", 3, 0, "Error : Line 3", 0},
      {v + h + r + "126.95 37.38 1 2 3 4\n", 3, 0, "Error : Line 4", 1},
      {v + h + std::string("126.95\t37.38\t1\t2\t3\t4\0\t5\n", 24), 3, 1, "", 1},
      {v + h + std::string("126.95\t37.38\t1\0\t2\t3\t4\n", 22), 3, 0, "Error : Line 3", 0},
      // lines of 1 MiB pass, one byte more is a fault on any line
      {v + h + max_row + "\r\n", 3, 1, "", 1},
      {v + h + max_row + "0\r\n", 3, 0, "Error : Line 3", 0},
      {v + std::string(TextReader::kMaxLineLength + 1, '\t') + "\n" + r, 3, 0, "Error : Line 2", 0},
      {std::string("V1.0 211105\0", 12) + std::string(TextReader::kMaxLineLength, 'x'), 1, 0,
       "Error : Line 1", 0},
  };
  for (const auto& c : cases) {
    ParseRun run = Parse(c.text, c.line_count);
    EXPECT_EQ(run.result, c.result) << c.text;
    EXPECT_EQ(run.status, c.status) << c.text;
    EXPECT_EQ(run.state.GPS_DB.size(), c.points) << c.text;
  }
}

TEST(Parser, VersionExchangeInK93Mode) {
  const std::string text = std::string("Vxxxx123456yy\n") + kHeader;
  EXPECT_EQ(Parse(text, 2, 1).state.DB_VERSION, "Vxxxx563412yy");
  EXPECT_EQ(Parse(text, 2, 0).state.DB_VERSION, "Vxxxx123456yy");
  // A rejected version line stays as read.
  EXPECT_EQ(Parse("vxxxx123456\n", 2, 1).state.DB_VERSION, "vxxxx563412");
}

TEST(Parser, KeepsPointsBeforeAFaultAndAppends) {
  MemoryFileSystem fs;
  fs.SetFile("in.txt", std::string(kVersion) + kHeader + kRow1 + "bad\n" + kRow2);
  TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
  DbState state;
  state.GPS_DB.push_back(GPS_POINT{});
  RecordingStatus status;
  EXPECT_EQ(ParseDbText(reader, state, status, nullptr), 0);
  EXPECT_EQ(state.GPS_DB.size(), 2u);
  EXPECT_EQ(status.texts, (std::vector<std::string>{"Error : Line 4"}));
}

TEST(Parser, TraceLines) {
  ParseRun run = Parse(std::string(kVersion) + kHeader + kRow1 + kRow2);
  EXPECT_EQ(run.trace, "GPS_DB.size() = 1\nid =122493131\nGPS_DB.size() = 2\nid =122558669\n");
}

TEST(Parser, ReadFailureIsReported) {
  MemoryFileSystem fs;
  fs.SetFile("in.txt", std::string(kVersion) + kHeader + kRow1);
  fs.fail_read.insert("in.txt");
  TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
  DbState state;
  RecordingStatus status;
  EXPECT_EQ(ParseDbText(reader, state, status, nullptr), 0);
  EXPECT_EQ(status.texts, (std::vector<std::string>{"Error : ReadLine 1"}));
}

}  // namespace
}  // namespace korvel
