// The checker over bad camera texts: what it reports, and that its errors are
// exactly the faults the parser stops on in Generate's copy of the text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/cli/text_check.h"
#include "camdb/checker.h"
#include "camdb/parser.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

using testing::MemoryFileSystem;

class LastStatus : public StatusLine {
 public:
  void SetStatus(const std::string& text) override { text_ = text; }
  std::string text_;
};

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
    if (c.fail_read) fs.fail_read_at = {{"in.txt", 0}, {"copy.txt", 0}};
    std::vector<CheckProblem> found;
    TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
    const CheckSummary summary = CheckDbText(reader, cli::GenerateLimits(),
                                             [&](const CheckProblem& p) { found.push_back(p); });
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
    const auto line_count = CountLines(fs, "in.txt");
    fs.SetFile("copy.txt", c.text + "\r\n" + kSampleRow1 + kSampleRow2);
    TextReader copy(fs.Open("copy.txt", OpenMode::kReadShared));
    DbState state;
    state.DB_LINE_COUNT = line_count.value_or(0);
    LastStatus status;
    const int parsed = ParseDbText(copy, state, status, nullptr);
    EXPECT_EQ(parsed == 0, c.kind == E);
    if (parsed == 0) {
      EXPECT_NE(found[0].message.find("(the dialog shows \"" + status.text_ + "\")"),
                std::string::npos)
          << status.text_;
    }
  }
}

}  // namespace
}  // namespace korvel
