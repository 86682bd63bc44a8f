// The database text parser over any text, in both modes, with the file failing
// to read at a point the input chooses.
//
// Input: byte 0 flags (bit 0: K93 mode; bits 1-3 equal to 001: repeat the
// rows after the second line until the text passes the reader's first chunk,
// so lines cross a chunk boundary), byte 1 the line count the dialog counted,
// bytes 2-3 the offset in 4-byte units at which reading fails (little-endian,
// 0xFFFF: never), then the text.
//
// Checks, against lines found here without the reader: each fault is what its
// line shows, and every row before it (all rows, on success) gave one point.

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "camdb/parser.h"
#include "fuzz/fuzz_check.h"
#include "tests/support/memory_file_system.h"

namespace korvel::fuzz {
namespace {

constexpr std::size_t kHeaderSize = 4;
constexpr std::uint16_t kNoFailure = 0xFFFF;
// Just past the reader's first 64 KiB chunk.
constexpr std::size_t kStretchedSize = 66 * 1024;

/// One line of the text, found here without the reader.
struct Line {
  std::string_view text;  ///< without its line end, cut at its first NUL
  bool too_long = false;  ///< longer than the reader takes
};

/// The lines as the text-mode reader should give them, found with memchr,
/// which the fuzzer does not instrument: stretched texts are long.
std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  for (std::size_t at = 0; at < text.size();) {
    const auto* newline =
        static_cast<const char*>(std::memchr(text.data() + at, '\n', text.size() - at));
    const std::size_t end = newline != nullptr ? newline - text.data() : text.size();
    std::string_view line(text.data() + at, end - at);
    if (newline != nullptr && line.ends_with('\r')) line.remove_suffix(1);
    const bool too_long = line.size() > TextReader::kMaxLineLength;
    line = line.substr(0, line.find('\0'));
    lines.push_back({line, too_long});
    at = end + 1;
  }
  return lines;
}

/// How many fields the parser's splitter cuts `text` into.
std::size_t CountFields(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    count += text[i] != '\t' && (i == 0 || text[i - 1] == '\t');
  }
  return count;
}

/// A fault must be what its line shows.
void CheckFault(const ParseResult& result, const std::vector<Line>& lines, bool read_fails,
                std::uint32_t line_count) {
  const std::uint64_t n = result.line;
  const std::string what = "fault " + std::to_string(static_cast<int>(result.fault)) + " at line " +
                           std::to_string(n) + " is not what the text shows";
  if (result.fault == ParseFault::kReadFailed) {
    Require(read_fails && n >= 1 && n <= lines.size() + 1, what);
    return;
  }
  Require(n >= 1 && n <= lines.size(), what);
  // A line the reader could not read to its end is a read fault.
  const Line& line = lines[n - 1];
  const std::size_t fields = CountFields(line.text);
  const std::size_t length = line.text.size();
  bool shown = false;
  switch (result.fault) {
    case ParseFault::kVersionMissing:
      shown = n == 1 && !line.text.starts_with('V');
      break;
    case ParseFault::kVersionTooShort:
      shown = n == 1 && length < kMinVersionLength;
      break;
    case ParseFault::kVersionBadChar:
      shown = n == 1 && length >= kMinVersionLength;
      break;
    case ParseFault::kXMissing:
    case ParseFault::kYMissing:
    case ParseFault::kTypeMissing:
      shown = n == 2;
      break;
    case ParseFault::kEmptyLine:  // not the line end appended after the chosen file
      shown = n >= 3 && fields == 0 && n - 1 != line_count;
      break;
    case ParseFault::kBadLine:
      shown = line.too_long || (n >= 3 && fields != 0 && fields != kRowFields);
      break;
    case ParseFault::kNone:
    case ParseFault::kReadFailed:
      break;
  }
  Require(shown, what);
}

/// The rows after the second line, repeated until the text is long enough.
std::string Stretch(std::string text) {
  const std::size_t first = text.find('\n');
  const std::size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
  if (second == std::string::npos || second + 1 == text.size()) return text;
  // Doubling keeps the fuzzer's instrumented loop short even for tiny rows.
  std::string rows = text.substr(second + 1);
  while (text.size() + rows.size() < kStretchedSize) rows += rows;
  return text + rows;
}

}  // namespace

int FuzzParser(const std::uint8_t* data, std::size_t size) {
  if (size < kHeaderSize) return 0;
  const bool k93 = (data[0] & 1) != 0;
  const bool stretch = (data[0] & 0x0E) == 0x02;  // rarely: it costs a thousand rows
  std::string text(reinterpret_cast<const char*>(data + kHeaderSize), size - kHeaderSize);
  if (stretch) text = Stretch(std::move(text));
  const std::uint16_t fail_units = static_cast<std::uint16_t>(data[2] | (data[3] << 8));
  const std::uint64_t fail_at =
      fail_units == kNoFailure ? UINT64_MAX : std::uint64_t{fail_units} * 4;
  const bool read_fails = fail_at < text.size();
  const bool empty = text.empty();
  const std::vector<Line> lines = SplitLines(text);

  // Reads fail from that byte on, returning what lies before it.
  testing::MemoryFileSystem fs;
  fs.SetFile("in.txt", text);
  fs.fail_read_at["in.txt"] = fail_at;
  DbState state;
  state.K93_MODE = k93 ? 1 : 0;
  state.DB_LINE_COUNT = data[1];
  TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
  const ParseResult result = ParseDb(reader, state, nullptr);

  // Every row before the fault, or in the whole text, gave its point.
  const std::size_t last = result.fault == ParseFault::kNone ? lines.size() : result.line - 1;
  std::size_t rows = 0;
  for (std::size_t i = 2; i < std::min(last, lines.size()); ++i) {
    rows += CountFields(lines[i].text) != 0;
  }
  if (result.fault != ParseFault::kNone) {
    CheckFault(result, lines, read_fails, state.DB_LINE_COUNT);
    Require(state.GPS_DB.size() == rows, "points not one per row before the fault");
    return 0;
  }
  Require(!read_fails, "success although the file could not be read to its end");
  if (empty) {
    // A file without any line is read to its end at once; nothing is checked.
    Require(state.DB_VERSION.empty() && state.GPS_DB.empty(), "an empty file gave a database");
    return 0;
  }
  Require(state.DB_VERSION.size() >= kMinVersionLength && state.DB_VERSION[0] == 'V',
          "success with a short version line or one without V");
  Require(FindBadVersionChar(state.DB_VERSION) == std::string_view::npos,
          "success with a version character no file name may hold");
  Require(state.GPS_DB.size() == rows, "points not one per row");
  for (const GPS_POINT& point : state.GPS_DB) {
    Require(point.id == CellId(point.x, point.y), "a point's id is not its cell");
    Require(point.reserved == 0, "a point's reserved byte is set");
  }
  return 0;
}

}  // namespace korvel::fuzz

KORVEL_FUZZ_ENTRY(FuzzParser)
