#include "camdb/parser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <ostream>
#include <utility>

#include "platform/c_number.h"

namespace korvel {
namespace {

constexpr char kTab = kFieldDelimiter[0];
/// Reserving for more points than this waits until they are really there: a
/// text of empty lines must not claim memory for rows it will never give.
constexpr std::size_t kMaxReserve = std::size_t{1} << 21;

/// The first fields of a row, as SplitString cuts them: runs of TABs
/// separate once, no field is empty. Counting stops one past a full row,
/// which is all the parser needs to know about longer lines.
struct Fields {
  std::array<std::string_view, kRowFields + 1> field;
  std::size_t count = 0;
};

void SplitFields(std::string_view text, Fields& out) {
  out.count = 0;
  const char* p = text.data();
  const char* const end = p + text.size();
  while (out.count < out.field.size()) {
    while (p != end && *p == kTab) ++p;
    if (p == end) return;
    const char* start = p;
    while (p != end && *p != kTab) ++p;
    out.field[out.count++] = std::string_view(start, static_cast<std::size_t>(p - start));
  }
}

/// double to float with IEEE round-to-nearest, also for values beyond the
/// float range (a plain cast of those is undefined in C++).
float ToFloat(double value) {
  // Halfway between FLT_MAX and the next power of two: from here on the
  // nearest float is infinity (the tie goes to the even side, infinity).
  constexpr double kOverflow = 0x1.ffffffp127;
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  if (std::fabs(value) >= kOverflow) {
    const float inf = std::numeric_limits<float>::infinity();
    return value > 0 ? inf : -inf;
  }
  return static_cast<float>(value);
}

/// K93 version lines carry the version characters in another order: 5 and 6
/// trade places with 9 and 10.
std::string K93Exchange(std::string_view line) {
  std::string swapped(line);
  if (swapped.size() >= kMinVersionLength) {
    std::swap(swapped[5], swapped[9]);
    std::swap(swapped[6], swapped[10]);
  }
  return swapped;
}

}  // namespace

std::string LineMessage(std::string_view pattern, std::uint64_t line_number) {
  std::string text(pattern);
  const std::size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(line_number));
  return text;
}

const char* VersionFault(std::string_view version) {
  if (version.empty() || version[0] != 'V') return parse_status::kVersionMissing;
  // Characters 5 to 10 name every output file and fill the device header; a
  // shorter line would leave them undefined.
  if (version.size() < kMinVersionLength) return parse_status::kVersionTooShort;
  if (FindBadVersionChar(version) != std::string_view::npos) return parse_status::kVersionBadChar;
  return nullptr;
}

std::size_t MissingHeaderField(std::span<const std::string_view> fields) {
  for (std::size_t i = 0; i < std::size(kHeaderNames); ++i) {
    if (fields.size() <= i || fields[i] != kHeaderNames[i]) return i;
  }
  return std::string_view::npos;
}

std::size_t FindBadVersionChar(std::string_view version) {
  for (std::size_t i = 5; i < kMinVersionLength && i < version.size(); ++i) {
    const auto c = static_cast<unsigned char>(version[i]);
    if (c < 0x20 || c == 0x7F ||
        std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) {
      return i;
    }
  }
  return std::string_view::npos;
}

namespace {

/// A coordinate field as nearly every text writes it: an optional minus and
/// a plain decimal, then a TAB or the end. Returns the field's end, or null
/// for any other form.
const char* ReadPlainCoordinate(const char* p, const char* end, double& value) {
  const bool negative = p != end && *p == '-';
  p = ReadPlainDecimal(negative ? p + 1 : p, end, value);
  if (p == nullptr || (p != end && *p != kTab)) return nullptr;
  if (negative) value = -value;
  return p;
}

/// An integer field of an optional minus and at most 9 digits, then a TAB
/// or the end: what atoi gives. Null for any other form.
const char* ReadPlainInt(const char* p, const char* end, int& value) {
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  const char* first = p;
  int magnitude = 0;
  while (p != end && IsDigit(*p) && p - first < 9) magnitude = magnitude * 10 + (*p++ - '0');
  if (p == first || (p != end && *p != kTab)) return nullptr;
  value = negative ? -magnitude : magnitude;
  return p;
}

}  // namespace

std::uint32_t DegreesToUnits(double value) {
  const float degrees = ToFloat(value);
  const float units = degrees * 10000.0f;
  if (std::isnan(units) || units <= -1.0f || units >= 4294967296.0f) return 0xFFFFFFFFu;
  if (units < 0.0f) return 0;
  return static_cast<std::uint32_t>(units);
}

bool ReadPlainRow(std::string_view text, PlainRow& row) {
  const char* p = text.data();
  const char* const end = p + text.size();
  if (!(p = ReadPlainCoordinate(p, end, row.x)) || p == end) return false;
  if (!(p = ReadPlainCoordinate(p + 1, end, row.y)) || p == end) return false;
  for (int i = 0; i < 4; ++i) {
    if (!(p = ReadPlainInt(p + 1, end, row.values[i])) || (p == end) != (i == 3)) return false;
  }
  return true;
}

std::uint32_t ConvertCoordinate(std::string_view field) {
  return DegreesToUnits(CAtof(field));
}

int ParseDbText(TextReader& file, DbState& state, StatusLine& status, std::ostream* trace) {
  std::string_view text;
  Fields fields;
  std::uint64_t index = 0;
  // The copy holds at most as many rows as the chosen text has lines.
  state.GPS_DB.reserve(state.GPS_DB.size() +
                       std::min<std::size_t>(state.DB_LINE_COUNT, kMaxReserve));
  // The reader has already cut each line at its first NUL.
  while (file.ReadLine(text)) {
    if (file.too_long()) {
      status.SetStatus(LineMessage(parse_status::kBadLine, index + 1));
      return 0;
    }

    if (index == 0) {
      state.DB_VERSION = state.K93_MODE == 1 ? K93Exchange(text) : std::string(text);
      if (const char* fault = VersionFault(state.DB_VERSION)) {
        status.SetStatus(fault);
        return 0;
      }
      index = 1;
      continue;
    }

    GPS_POINT point;
    PlainRow row;
    const bool plain = index >= 2 && ReadPlainRow(text, row);
    if (plain) {
      point.x = DegreesToUnits(row.x);
      point.y = DegreesToUnits(row.y);
      // Conversions to unsigned types keep the low bits: "256" gives 0, "-1" 255.
      point.type = static_cast<std::uint8_t>(row.values[0]);
      point.speed = static_cast<std::uint8_t>(row.values[1]);
      point.flag = static_cast<std::uint8_t>(row.values[2]);
      point.angle = static_cast<std::uint16_t>(row.values[3]);
    } else {
      SplitFields(text, fields);
    }

    if (index == 1) {
      if (const std::size_t missing =
              MissingHeaderField(std::span(fields.field.data(), fields.count));
          missing != std::string_view::npos) {
        status.SetStatus(kHeaderMissing[missing]);
        return 0;
      }
      index = 2;
      continue;
    }

    if (plain || fields.count == kRowFields) {
      if (!plain) {
        const auto& field = fields.field;
        point.x = ConvertCoordinate(field[0]);
        point.y = ConvertCoordinate(field[1]);
        point.type = static_cast<std::uint8_t>(CAtoi(field[2]));
        point.speed = static_cast<std::uint8_t>(CAtoi(field[3]));
        point.flag = static_cast<std::uint8_t>(CAtoi(field[4]));
        point.angle = static_cast<std::uint16_t>(CAtoi(field[5]));
      }
      point.id = CellId(point.x, point.y);
      state.GPS_DB.push_back(point);
      if (trace != nullptr) {
        *trace << "GPS_DB.size() = " << state.GPS_DB.size() << '\n' << std::flush;
        *trace << "id =" << point.id << '\n' << std::flush;
      }
    } else if (fields.count == 0 && index == state.DB_LINE_COUNT) {
      // The line end the generator appends after a file that already ends
      // with one: the only empty row that is not a fault.
    } else if (fields.count == 0) {
      status.SetStatus(LineMessage(parse_status::kEmptyLine, index + 1));
      return 0;
    } else {
      status.SetStatus(LineMessage(parse_status::kBadLine, index + 1));
      return 0;
    }
    ++index;
  }
  if (file.failed()) {
    status.SetStatus(LineMessage(parse_status::kReadFailed, index + 1));
    return 0;
  }
  return 1;
}

}  // namespace korvel
