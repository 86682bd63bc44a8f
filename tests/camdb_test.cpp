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
using namespace std::string_literals;

/// One parse of `text`: its result, its one status text (or none), the state
/// and the trace it left.
struct ParseRun : StatusLine {
  ParseRun(const std::string& text, std::uint32_t line_count = 0, std::uint8_t k93 = 0) {
    MemoryFileSystem fs;
    fs.SetFile("in.txt", text);
    TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
    state.DB_LINE_COUNT = line_count;
    state.K93_MODE = k93;
    std::ostringstream out;
    result = ParseDbText(reader, state, *this, &out);
    trace = out.str();
  }
  void SetStatus(const std::string& text) override {
    EXPECT_TRUE(status.empty()) << status << ", then " << text;
    status = text;
  }
  int result = -1;
  std::string status, trace;
  DbState state;
};

const char kVersion[] = "V1.0 211105 test\n";
const char kHeader[] = "X\tY\tTYPE\tSPEED\tFLAG\tANGLE\n";
const char kRow1[] = "126.950100\t37.389400\t5\t80\t0\t247\n";
const char kRow2[] = "126.980700\t37.416300\t1\t70\t1\t15\n";

TEST(GpsPoint, CellBoundariesAndUnmaskedShift) {
  // clang-format off
  const std::uint32_t cases[][3] = {
      {1269600, 0, 6348}, {1269799, 0, 6348}, {1269800, 0, 6349}, {199, 199, 0},
      {200, 200, 0x00010001}, {1800000, 900000, (4500u << 16) | 9000u},
      {13107200, 0, 0},  // longitude cell 65536 keeps only its low 16 bits
      {0, 13107200, 0},  // latitude cell 65536 shifts out of the 32 bits
      {0xFFFFFFFF, 0xFFFFFFFF, (21474836u << 16) | (21474836u & 0xFFFF)}};
  // clang-format on
  for (const auto& [x, y, id] : cases) EXPECT_EQ(CellId(x, y), id) << x << "," << y;
}

TEST(SplitString, Table) {
  // The text, the delimiters, and the fields after one already there.
  // clang-format off
  const std::tuple<std::string, std::string, std::vector<std::string>> cases[] = {
      {"a\tb\tc", "\t", {"kept", "a", "b", "c"}}, {"\ta\t\tb\t", "\t", {"kept", "a", "b"}},
      {"a b\tc", "\t", {"kept", "a b", "c"}}, {"", "\t", {"kept"}}, {"\t\t\t", "\t", {"kept"}},
      {"a,b;c", ",;", {"kept", "a", "b", "c"}}, {"abc", "", {"kept", "abc"}}, {"", "", {"kept"}}};
  // clang-format on
  for (const auto& [text, delimiters, expected] : cases) {
    std::vector<std::string> fields{"kept"};
    SplitString(text, fields, delimiters);
    EXPECT_EQ(fields, expected) << text;
  }
}

TEST(ConvertCoordinate, SinglePrecisionTable) {
  constexpr std::uint32_t kMax = 4294967295u;
  // clang-format off
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"126.950100", 1269501}, {"37.389400", 373894},
      {"37.999999", 380000},  // double precision would truncate to 379999
      {"126.900099", 1269001}, {"-126.5", kMax}, {"-1", kMax}, {"-0.00005", 0},
      {"-0.0000999", 0}, {"0", 0}, {"abc", 0}, {"", 0}, {"  37.5xyz", 375000},
      {"429496.7295", kMax},  // rounds to 2^32 in single precision
      {"429496.7", 4294966784u}, {"1e300", kMax}, {"-1e300", kMax}, {"nan", kMax},
      {"inf", kMax}, {"0x10", 160000}};
  // clang-format on
  for (const auto& [text, units] : cases) EXPECT_EQ(ConvertCoordinate(text), units) << text;
}

// Rows in the plainest form take a shortcut; every row must still give the
// point the fields give one by one, each number field cut to its low bits.
TEST(Parser, EveryRowGivesThePointOfItsFields) {
  std::vector<std::string> rows = {"-0.5\t-0.00001\t-1\t-0\t256\t65537",
                                   "1.\t2\t123456789\t1234567890\t99999999999\t-9",
                                   "0000000000000001.5\t12345678901234.5\t1\t1\t1\t1",
                                   "429496.7296\t-1\t1\t1\t1\t1",
                                   "1e2\t0x10\t+1\t 2\t3x\t4",
                                   "1.5\t\t2\t3\t4\t5\t6",
                                   "\t1\t2\t3\t4\t5\t6\t",
                                   "1\t2\t3\t4\t5\t6\t",
                                   "126.9\t37.3\t256\t300\t-1\t65537",
                                   "126.9\t37.3\tx\t80km\t 3\t-1",
                                   "126.9\t37.3\t9999999999\t+7\t0\t-9999999999"};
  std::mt19937 random(5);
  for (int i = 0; i < 2000; ++i) {
    std::string row;
    for (int f = 0; f < 6; ++f) {
      row += f == 0 ? "" : "\t";
      if (random() % 4 == 0) row += '-';
      std::string number = std::to_string(random() >> (random() % 32));
      if (f < 2) number.insert(random() % (number.size() + 1), 1, '.');
      row += number;
    }
    rows.push_back(row);
  }
  for (const std::string& row : rows) {
    std::vector<std::string_view> fields;
    SplitString(row, fields, "\t");
    const ParseRun run(kVersion + std::string(kHeader) + row + "\n", 3);
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
      {"V\n" + h, 2, 0, "Version is too short!", 0},
      {std::string("V1.0 21\0 1105\n", 14) + h, 2, 0, "Version is too short!", 0},
      {"V1.0 211105", 1, 1, "", 0},
      // characters no file name may hold, in the date part (5 to 10) only
      {"V1.0 :11105\n" + h, 2, 0, "Version has a bad character!", 0},
      {"V1.0 21110\x7F\n" + h, 2, 0, "Version has a bad character!", 0},
      {"V1.0/211105|\n" + h, 2, 1, "", 0},
      // header line
      {v + "x\tY\tTYPE\n", 2, 0, "X is not exist!", 0},
      {v + "\n", 2, 0, "X is not exist!", 0},
      {v + "X\tY\tType\n", 2, 0, "TYPE is not exist!", 0},
      {v + "\tX\t\tY\tTYPE\tanything else\n", 2, 1, "", 0},
      // data rows
      {v + h + "\n" + r, 2, 1, "", 1},
      {v + h + r + "\t\t\n" + r, 3, 1, "", 2},
      {v + h + r + "\t\t\n" + r, 5, 0, "Error : EmptyLine 4", 1},
      {v + h + r + "\n\n" + r, 3, 0, "Error : EmptyLine 5", 1},
      {v + h + "\t126.95\t37.38\t1\t2\t3\t4\t\n", 3, 1, "", 1},
      {v + h + "126.95\t37.38\t1\t2\t3\t4\t5\n", 3, 0, "Error : Line 3", 0},
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
    ParseRun run(c.text, c.line_count);
    EXPECT_EQ(run.result, c.result) << c.text;
    EXPECT_EQ(run.status, c.status) << c.text;
    EXPECT_EQ(run.state.GPS_DB.size(), c.points) << c.text;
  }
  for (const char c : "/\\:*?\"<>|\x01\x1F"s) {
    EXPECT_EQ(ParseRun("V1.0 12" + std::string(1, c) + "456\n" + h, 2).status,
              "Version has a bad character!")
        << int(c);
  }
}

TEST(Parser, TraceLines) {
  ParseRun run(std::string(kVersion) + kHeader + kRow1 + kRow2);
  EXPECT_EQ(run.trace, "GPS_DB.size() = 1\nid =122493131\nGPS_DB.size() = 2\nid =122558669\n");
}

}  // namespace
}  // namespace korvel
