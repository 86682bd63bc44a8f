#include "camdb/parser.h"

#include <cmath>
#include <limits>
#include <ostream>
#include <utility>
#include <vector>

#include "camdb/split_string.h"
#include "platform/c_number.h"

namespace korvel {
namespace {

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

std::size_t MissingHeaderField(const std::vector<std::string_view>& fields) {
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

std::uint32_t ConvertCoordinate(std::string_view field) {
  const float degrees = ToFloat(CAtof(field));
  const float units = degrees * 10000.0f;
  if (std::isnan(units) || units <= -1.0f || units >= 4294967296.0f) return 0xFFFFFFFFu;
  if (units < 0.0f) return 0;
  return static_cast<std::uint32_t>(units);
}

int ParseDbText(TextReader& file, DbState& state, StatusLine& status, std::ostream* trace) {
  std::string line;
  std::vector<std::string_view> fields;
  std::uint64_t index = 0;
  while (file.ReadString(line)) {
    // The reader has already cut the line at its first NUL.
    const std::string_view text(line);
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

    fields.clear();
    SplitString(text, fields, kFieldDelimiter);

    if (index == 1) {
      if (const std::size_t missing = MissingHeaderField(fields);
          missing != std::string_view::npos) {
        status.SetStatus(kHeaderMissing[missing]);
        return 0;
      }
      index = 2;
      continue;
    }

    if (fields.size() == kRowFields) {
      GPS_POINT point;
      point.x = ConvertCoordinate(fields[0]);
      point.y = ConvertCoordinate(fields[1]);
      point.id = CellId(point.x, point.y);
      // Conversions to unsigned types keep the low bits: "256" gives 0, "-1" 255.
      point.type = static_cast<std::uint8_t>(CAtoi(fields[2]));
      point.speed = static_cast<std::uint8_t>(CAtoi(fields[3]));
      point.flag = static_cast<std::uint8_t>(CAtoi(fields[4]));
      point.angle = static_cast<std::uint16_t>(CAtoi(fields[5]));
      state.GPS_DB.push_back(point);
      if (trace != nullptr) {
        *trace << "GPS_DB.size() = " << state.GPS_DB.size() << '\n' << std::flush;
        *trace << "id =" << point.id << '\n' << std::flush;
      }
    } else if (fields.empty() && index == state.DB_LINE_COUNT) {
      // The line end the generator appends after a file that already ends
      // with one: the only empty row that is not a fault.
    } else if (fields.empty()) {
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
