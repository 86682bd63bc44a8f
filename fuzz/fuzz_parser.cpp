// The database text parser over any text, in both modes, with the file failing
// to read at a point the input chooses.
//
// Input: byte 0 flags (bit 0: K93 mode; bits 1-3 equal to 001: repeat the
// rows after the second line until the text passes the reader's first chunk,
// so lines cross a chunk boundary), byte 1 the line count the dialog counted,
// bytes 2-3 the offset in 4-byte units at which reading fails (little-endian,
// 0xFFFF: never), then the text.

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "camdb/parser.h"
#include "fuzz/fuzz_check.h"

namespace korvel::fuzz {
namespace {

constexpr std::size_t kHeaderSize = 4;
constexpr std::uint16_t kNoFailure = 0xFFFF;
// Just past the reader's first 64 KiB chunk.
constexpr std::size_t kStretchedSize = 66 * 1024;

/// The text as a file whose reads fail from byte `fail_at` on: a read that
/// reaches it returns what lies before it and fails.
class FailingFile : public BinaryFile {
 public:
  FailingFile(std::string text, std::uint64_t fail_at)
      : text_(std::move(text)), fail_at_(fail_at) {}

  std::optional<std::uint64_t> GetLength() override { return text_.size(); }
  bool Seek(std::uint64_t offset) override {
    position_ = offset;
    return true;
  }
  std::size_t Read(void* data, std::size_t size) override {
    if (failed_ || position_ >= text_.size()) return 0;
    const std::uint64_t end = std::min<std::uint64_t>(position_ + size, text_.size());
    const bool fails = end > fail_at_;
    const std::uint64_t stop = fails ? std::max(fail_at_, position_) : end;
    const auto count = static_cast<std::size_t>(stop - position_);
    std::memcpy(data, text_.data() + position_, count);
    position_ = stop;
    failed_ = fails;
    return count;
  }
  bool Write(const void*, std::size_t) override {
    failed_ = true;
    return false;
  }
  bool Close() override { return true; }
  bool failed() const override { return failed_; }

 private:
  std::string text_;
  std::uint64_t fail_at_;
  std::uint64_t position_ = 0;
  bool failed_ = false;
};

class RecordedStatus : public StatusLine {
 public:
  void SetStatus(const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

/// One of the parser's status texts, a line number in place of its "%d".
bool IsParserStatus(const std::string& text) {
  for (const char* fixed : {parse_status::kVersionMissing, parse_status::kVersionTooShort,
                            parse_status::kVersionBadChar, parse_status::kXMissing,
                            parse_status::kYMissing, parse_status::kTypeMissing}) {
    if (text == fixed) return true;
  }
  for (const std::string_view pattern :
       {parse_status::kEmptyLine, parse_status::kBadLine, parse_status::kReadFailed}) {
    const std::string_view prefix = pattern.substr(0, pattern.find("%d"));
    if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string_view number = std::string_view(text).substr(prefix.size());
    if (number[0] != '0' &&
        std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
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

  DbState state;
  state.K93_MODE = k93 ? 1 : 0;
  state.DB_LINE_COUNT = data[1];
  RecordedStatus status;
  TextReader reader(std::make_unique<FailingFile>(std::move(text), fail_at));
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
