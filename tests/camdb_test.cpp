// Camera points, the field splitter, the text parser, and the checker: what
// it reports, and that its errors are exactly the faults the parser stops on
// in Generate's copy of the text.

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/text_check.h"
#include "camdb/camera_rules.h"
#include "camdb/checker.h"
#include "camdb/gps_point.h"
#include "camdb/parser.h"
#include "camdb/problem.h"
#include "camdb/split_string.h"
#include "generate/pipeline.h"
#include "platform/c_number.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

using testing::MemoryFileSystem;
using namespace std::string_literals;

/// One parse of `text`: its result, its one status text (or none), the state
/// and the trace it left.
struct ParseRun : StatusLine {
  ParseRun(const std::string& text, std::uint32_t line_count = 0, bool unreadable = false) {
    MemoryFileSystem fs;
    fs.SetFile("in.txt", text);
    if (unreadable) fs.fail_read_at = {{"in.txt", 0}};
    TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
    state.DB_LINE_COUNT = line_count;
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
  const std::tuple<std::string, std::string, std::vector<std::string_view>> cases[] = {
      {"a\tb\tc", "\t", {"kept", "a", "b", "c"}}, {"\ta\t\tb\t", "\t", {"kept", "a", "b"}},
      {"a b\tc", "\t", {"kept", "a b", "c"}}, {"", "\t", {"kept"}}, {"\t\t\t", "\t", {"kept"}},
      {"a,b;c", ",;", {"kept", "a", "b", "c"}}, {"abc", "", {"kept", "abc"}}, {"", "", {"kept"}}};
  // clang-format on
  for (const auto& [text, delimiters, expected] : cases) {
    std::vector<std::string_view> fields{"kept"};
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

TEST(Parser, FaultsAcceptanceAndTraceTable) {
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
      {std::string("V1.0 21\0 1105\n", 14) + h, 2, 0, "Version is too short!", 0},
      {"V1.0 211105", 1, 1, "", 0},
      // characters no file name may hold, in the date part (5 to 10) only
      {"V1.0 :11105\n" + h, 2, 0, "Version has a bad character!", 0},
      {"V1.0 21110\x7F\n" + h, 2, 0, "Version has a bad character!", 0},
      {"V1.0/211105|\n" + h, 2, 1, "", 0},
      // header line
      {v + "x\tY\tTYPE\n", 2, 0, "X is not exist!", 0},
      {v + "\n", 2, 0, "X is not exist!", 0},
      {v + "X\ty\tTYPE\n", 2, 0, "Y is not exist!", 0},
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
  EXPECT_EQ(ParseRun(v + h + kRow1 + kRow2).trace,
            "GPS_DB.size() = 1\nid =122493131\nGPS_DB.size() = 2\nid =122558669\n");
}

std::string Rows(int count, const std::string& row) {
  std::string text;
  for (int i = 0; i < count; ++i) text += row;
  return text;
}

// Rows in `cells` cells, one point each, round and round: one more than the
// package's room when `cells` is 10.
std::string SpreadRows(int count, int cells) {
  std::string text;
  for (int i = 0; i < count; ++i) text += std::to_string(i % cells) + "\t1\t1\t1\t1\t1\n";
  return text;
}

TEST(Checker, ReportsEveryFaultAsTheParserSeesIt) {
  const std::string head = "V1.0 123456 test\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\n";
  const std::string row = "127.0\t37.5\t3\t60\t1\t90\n";
  const std::string sample_cell = "126.9501\t37.3894\t1\t1\t1\t1\n";
  constexpr auto E = CheckKind::kError;
  constexpr auto W = CheckKind::kWarning;
  struct Case {
    std::string text;
    std::uint64_t line;  // 0 with an empty key: no problem at all
    CheckKind kind;
    std::string key;  // a part of the one message
    bool fail_read = false;
  };
  // clang-format off
  const Case cases[] = {
      {head + row + "180\t90\t255\t0\t255\t359\n1.5e1\t+37.5\t 3\t60 \t0\t0", 0, E, ""},
      {head + row, 0, E, ""},
      {head, 0, W, "the text holds no camera rows: the database would hold only the two sample rows"},
      {head + row + "\r\n", 4, E, "1 empty line at the end of the file; only one line end may follow the last row (the dialog shows \"Error : EmptyLine 4\")"},
      {head + row + "\n\t\t\n", 4, E, "2 empty lines at the end"},
      {head + "\n" + row, 3, E, "empty row (the dialog shows \"Error : EmptyLine 3\")"},
      {"", 1, E, "the file is empty (the dialog shows \"Version is not exist!\")"},
      {"\xEF\xBB\xBF" + head, 1, E, "UTF-8 byte-order mark"},
      {std::string("\xFF\xFEV\0", 4) + head, 1, E, "UTF-16"},
      {"V1.0 12345\nX\tY\tTYPE\n", 1, E, "has 10 characters, at least 11 expected (the dialog shows \"Version is too short!\")"},
      {"V1.0 12:456\nX\tY\tTYPE\n", 1, E, "character 8 (\":\") cannot be in a file name"},
      {"V1.0 12\t456\nX\tY\tTYPE\n", 1, E, "control character 9"},
      {"V1.0 123456", 2, E, "ends before the header line (the dialog shows \"X is not exist!\")"},
      {"V1.0 123456\nX\ty\tTYPE\n", 2, E, "header field 2 is \"y\", \"Y\" expected"},
      {"V1.0 123456\nX\tY\n", 2, E, "no field 3, \"TYPE\" expected; the header starts X, Y, TYPE (the dialog shows \"TYPE is not exist!\")"},
      {head + "1\t2\t\t3\t4\t5\n", 3, E, "5 fields, 6 TAB-separated fields expected (the dialog shows \"Error : Line 3\")"},
      {head + "1 2 3 4 5 6\n", 3, E, "1 field, 6"},
      {head + row + std::string(TextReader::kMaxLineLength + 1, '1') + "\n", 4, E, "longer than 1048576 bytes (the dialog shows \"Error : Line 4\")"},
      {head + row, 1, E, "cannot be read from here on (the dialog shows \"Error : ReadLine 1\")", true},
      {head + "\"126.903093\"\t37.5\t3\t60\t1\t90\n", 3, W, "X \"126.903093\" is in quotes: read as 0"},
      {head + "126,950100\t37.5\t3\t60\t1\t90\n", 3, W, "X \"126,950100\" has a decimal comma: read as 126"},
      {head + "128.1736O5\t37.5\t3\t60\t1\t90\n", 3, W, "X \"128.1736O5\" has text after the number: read as 128.1736"},
      {head + "127.0\t37.5\t3\tfast\t1\t90\n", 3, W, "SPEED \"fast\" is not a number: read as 0"},
      {head + "127.0\t37.5\t3\t60.5\t1\t90\n", 3, W, "SPEED \"60.5\" has text after the number: read as 60"},
      {head + "127.0\t37.5\t-30\t60\t1\t90\n", 3, W, "TYPE -30 is outside 0 to 255: stored as 226"},
      {head + "127.0\t37.5\t3\t60\t256\t90\n", 3, W, "DIRTYPE 256 is outside 0 to 255: stored as 0"},
      {head + "127.0\t37.5\t3\t60\t1\t360\n", 3, W, "DIRECTION 360 is outside 0 to 359: stored as 360"},
      {head + "127.0\t37.5\t3\t60\t1\t-1\n", 3, W, "DIRECTION -1 is outside 0 to 359: stored as 65535"},
      {head + "180.5\t37.5\t3\t60\t1\t90\n", 3, W, "longitude X 180.5 is outside -180 to 180"},
      {head + "127.0\t90.5\t3\t60\t1\t90\n", 3, W, "latitude Y 90.5 is outside -90 to 90"},
      {head + "37.5\t127.0\t3\t60\t1\t90\n", 3, W, "outside -90 to 90; the X and Y columns look swapped"},
      {head + "-0.00001\t37.5\t3\t60\t1\t90\n", 3, W, "X -1e-05 is negative: coordinates are stored without a sign, as 0"},
      {head + "127.0\t-1\t3\t60\t1\t90\n", 3, W, "Y -1 is negative: coordinates are stored without a sign, as 4294967295"},
      // The cell of the first sample row takes 65535 points, the sample included.
      {head + Rows(65534, sample_cell), 0, E, ""},
      {head + Rows(65535, sample_cell), 0, E, "holds 65536 points with the sample rows, at most 65535 fit (the dialog shows \" Cell over 65535 points..\")"},
      // 23 + 10 * 12 cells + 18 * (466023 + 2) points = 8388593 bytes fit; one more point does not.
      {head + SpreadRows(466023, 10), 0, E, ""},
      {head + SpreadRows(466024, 10), 0, W, "takes 8388611 bytes, over the package's 8388608-byte room for it: only the per-model files can be made (the dialog shows \" DB file too large..\")"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 120));
    MemoryFileSystem fs;
    fs.SetFile("in.txt", c.text);
    if (c.fail_read) fs.fail_read_at = {{"in.txt", 0}};
    std::vector<CheckProblem> found;
    TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
    const CheckSummary summary =
        CheckDbText(reader, GenerateLimits(), [&](const CheckProblem& p) { found.push_back(p); });
    if (c.key.empty()) {
      EXPECT_EQ(found.size(), 0u) << found.front().message;
      continue;
    }
    ASSERT_EQ(found.size(), 1u) << found.back().message;
    EXPECT_EQ(found[0].line, c.line);
    EXPECT_EQ(found[0].kind, c.kind);
    EXPECT_NE(found[0].message.find(c.key), std::string::npos) << found[0].message;
    EXPECT_EQ(summary.errors + summary.warnings, 1u);

    // Generate's copy: the text, a line end, the two sample rows.
    if (c.line == 0) continue;
    const ParseRun copy(c.text + "\r\n" + kSampleRow1 + kSampleRow2,
                        CountLines(fs, "in.txt").value_or(0), c.fail_read);
    EXPECT_EQ(copy.result == 0, c.kind == E);
    if (copy.result == 0) {
      EXPECT_NE(found[0].message.find("(the dialog shows \"" + copy.status + "\")"),
                std::string::npos)
          << copy.status;
    }
  }
}

TEST(Problem, SourceTextStaysOneLineOfUtf8) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"60 km/h", "60 km/h"},
      {"\xEC\xA0\x9C\xED\x95\x9C", "\xEC\xA0\x9C\xED\x95\x9C"},  // 제한, kept
      {"\xF0\x9F\x93\xB7", "\xF0\x9F\x93\xB7"},                  // U+1F4F7, four bytes
      {"a\nb\r\tc", "a\\nb\\r\\tc"},
      {std::string("x\0y", 3), "x\\x00y"},
      {"\x1F\x7F", "\\x1F\\x7F"},
      {"\xC0\xA7\xB5\xB5", "\\xC0\\xA7\\xB5\\xB5"},      // 위도 in CP949, not UTF-8
      {"\xC0\xAF", "\\xC0\\xAF"},                        // overlong '/'
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},               // a surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},      // past U+10FFFF
      {"\xE2\x82", "\\xE2\\x82"},                        // cut at the end
      {"\xE2(\xAC", "\\xE2(\\xAC"},                      // cut by another byte
      {"\xDF\xBF\xE0\xA0\x80", "\xDF\xBF\xE0\xA0\x80"},  // the smallest of their lengths
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeText(c.text), c.shown) << c.shown;
}

TEST(Problem, QuotedValuesAreUtf8OnOneLine) {
  const struct {
    std::string text;
    std::size_t limit;
    std::string quoted;
  } cases[] = {
      {"", 40, "\"\""},
      {"60", 40, "\"60\""},
      {"\xC0\xA7\xB5\xB5", 40, "\"\xEC\x9C\x84\xEB\x8F\x84\""},          // 위도 in CP949
      {"\xEC\x9C\x84\xEB\x8F\x84", 40, "\"\xEC\x9C\x84\xEB\x8F\x84\""},  // 위도 in UTF-8
      {"\xC0\xA7\n", 40, "\"\xEC\x9C\x84\\n\""},  // CP949 and a control character
      {"\xFF\xFF", 40, "\"\\xFF\\xFF\""},         // neither: escaped
      {"a\tb", 40, "\"a\\tb\""},
      {"abcd", 4, "\"abcd\""},
      {"abcde", 4, "\"abcd...\""},
      {"ab\n", 3, "\"ab...\""},  // an escape is never cut
      {"ab\n", 4, "\"ab\\n\""},
      {"a\xEC\x9C\x84", 3, "\"a...\""},  // nor a character
      {"a\xEC\x9C\x84", 4, "\"a\xEC\x9C\x84\""},
      {std::string(100, '7'), std::string_view::npos, "\"" + std::string(100, '7') + "\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QuotedText(c.text, c.limit), c.quoted) << c.quoted;
    if (c.limit == std::string_view::npos || c.text.size() * 4 <= c.limit) {
      EXPECT_EQ("\"" + ShownText(c.text) + "\"", c.quoted) << c.quoted;
    }
  }
}

TEST(Problem, PlacesKindsAndFailures) {
  const struct {
    Problem problem;
    std::string line, failure;
  } cases[] = {
      {LineProblem("a.csv", 7, "SPEED \"x\ny\""), "a.csv:7: error: SPEED \"x\\ny\"",
       "a.csv:7: SPEED \"x\\ny\""},
      {FileProblem("a.osm", "No such file or directory", Fault::kSystem),
       "a.osm: error: No such file or directory", "a.osm: No such file or directory"},
      {{"a.json", PlaceKind::kFeature, 3, ProblemKind::kWarning, Fault::kInput, "m"},
       "a.json: feature 3: warning: m",
       "a.json: feature 3: m"},
      {{"a.pbf", PlaceKind::kNode, -5, ProblemKind::kNote, Fault::kInput, "m"},
       "a.pbf: node -5: note: m",
       "a.pbf: node -5: m"},
      {{"", PlaceKind::kFile, 0, ProblemKind::kError, Fault::kSystem, "no version line"},
       "error: no version line",
       "no version line"},
      // A path and the system's reason in CP949 (Korean Windows) keep their
      // bytes; only control characters are escaped, in the path too.
      {FileProblem("\xC0\xA7.txt", "\xC6\xC4\xC0\xCF", Fault::kSystem),
       "\xC0\xA7.txt: error: \xC6\xC4\xC0\xCF", "\xC0\xA7.txt: \xC6\xC4\xC0\xCF"},
      {LineProblem("a\nb.csv", 2, "x\ty\x7F\x1F\xFF"), "a\\nb.csv:2: error: x\\ty\\x7F\\x1F\xFF",
       "a\\nb.csv:2: x\\ty\\x7F\\x1F\xFF"},
      {FileProblem(" ~.csv", "\x20~\r"), " ~.csv: error:  ~\\r", " ~.csv:  ~\\r"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProblemLine(c.problem), c.line);
    EXPECT_EQ(FailureText(c.problem), c.failure);
  }
}

}  // namespace
}  // namespace korvel
