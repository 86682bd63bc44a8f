// The database text parser over any text, in both modes, with the file failing
// to read at a point the input chooses.
//
// Input: byte 0 flags (bit 0: K93 mode; bits 1-3 equal to 001: repeat the
// rows after the second line until the text passes the reader's first chunk,
// so lines cross a chunk boundary), byte 1 the line count the dialog counted,
// bytes 2-3 the offset in 4-byte units at which reading fails (little-endian,
// 0xFFFF: never), then the text.

#include <algorithm>
#include <cstdio>
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

/// One of the parser's status texts, a line number from 1 in place of its "%d".
bool IsParserStatus(const std::string& text) {
  for (const char* fixed : {parse_status::kVersionMissing, parse_status::kVersionTooShort,
                            parse_status::kVersionBadChar, parse_status::kXMissing,
                            parse_status::kYMissing, parse_status::kTypeMissing}) {
    if (text == fixed) return true;
  }
  for (const char* pattern :
       {parse_status::kEmptyLine, parse_status::kBadLine, parse_status::kReadFailed}) {
    // Read back and printed again, the text must be the same to the byte.
    int line = 0;
    char again[64];
    if (std::sscanf(text.c_str(), pattern, &line) == 1 && line > 0 &&
        std::snprintf(again, sizeof again, pattern, line) > 0 && text == again) {
      return true;
    }
  }
  return false;
}

/// With memchr, which the fuzzer does not instrument: stretched texts are long.
std::size_t CountLineEnds(const std::string& text) {
  std::size_t count = 0;
  for (const char* p = text.data();
       (p = static_cast<const char*>(std::memchr(p, '\n', text.size() - (p - text.data())))) !=
       nullptr;
       ++p) {
    ++count;
  }
  return count;
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
  const std::size_t lines = CountLineEnds(text) + 1;

  // Reads fail from that byte on, returning what lies before it.
  testing::MemoryFileSystem fs;
  fs.SetFile("in.txt", text);
  fs.fail_read_at["in.txt"] = fail_at;
  DbState state;
  state.K93_MODE = k93 ? 1 : 0;
  state.DB_LINE_COUNT = data[1];
  struct : StatusLine {
    void SetStatus(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
  } status;
  TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
  const int result = ParseDbText(reader, state, status, nullptr);

  Require(result == 0 || result == 1, "result is neither 0 nor 1");
  if (result == 0) {
    Require(status.texts.size() == 1, "a fault must set exactly one status");
    Require(IsParserStatus(status.texts[0]), "unknown status \"" + status.texts[0] + "\"");
    return 0;
  }
  if (!status.texts.empty()) Fail("success set the status \"" + status.texts[0] + "\"");
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
  Require(state.GPS_DB.size() + 2 <= std::max<std::size_t>(lines, 2), "more points than rows");
  for (const GPS_POINT& point : state.GPS_DB) {
    Require(point.id == CellId(point.x, point.y), "a point's id is not its cell");
    Require(point.reserved == 0, "a point's reserved byte is set");
  }
  return 0;
}

}  // namespace korvel::fuzz

KORVEL_FUZZ_ENTRY(FuzzParser)
