#include "camdb/camera_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>

#include "camdb/row_reader.h"

namespace korvel {
namespace {

bool ReadsBack(std::string_view text, std::uint32_t units) {
  return ConvertCoordinate(text) == units;
}

/// Texts of `value` from the shortest up to one that holds the float exactly.
std::optional<std::string> FloatText(float value, std::uint32_t units) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
  std::string shortest(text, end);
  if (ReadsBack(shortest, units)) return shortest;
  for (const char* format : {"%.9g", "%.17g"}) {
    std::snprintf(text, sizeof text, format, static_cast<double>(value));
    if (ReadsBack(text, units)) return std::string(text);
  }
  return std::nullopt;
}

/// Writes the CoordinateText of `units` at `out`, at most 63 bytes; the end,
/// or null when there is none. `reads_back`: FourDecimalsReadBack(units) is
/// known to hold.
char* PutCoordinate(std::uint32_t units, char* out, bool reads_back) {
  if (reads_back || FourDecimalsReadBack(units)) return out + FormatDegrees(units, out, true);
  const std::optional<std::string> text = CoordinateText(units);
  if (!text) return nullptr;
  return std::copy_n(text->data(), std::min<std::size_t>(text->size(), 63), out);
}

/// Writes a TAB and `value`, at most 65535, at `out`; the end. Most fields
/// have one to three digits: no loop for those.
char* PutField(unsigned value, char* out) {
  *out++ = '\t';
  if (value >= 1000) return std::to_chars(out, out + 5, value).ptr;
  if (value >= 100) {
    *out++ = static_cast<char>('0' + value / 100);
    value %= 100;
    *out++ = static_cast<char>('0' + value / 10);
  } else if (value >= 10) {
    *out++ = static_cast<char>('0' + value / 10);
  }
  *out++ = static_cast<char>('0' + value % 10);
  return out;
}

/// Writes TYPE, SPEED, DIRTYPE and DIRECTION at `out`, each after a TAB.
char* PutFields(const GPS_POINT& p, char* out) {
  out = PutField(p.type, out);
  out = PutField(p.speed, out);
  out = PutField(p.flag, out);
  return PutField(p.angle, out);
}

/// Writes the row of `p` with its line end at `out`; the end, or null.
char* PutRow(const GPS_POINT& p, char* out, unsigned four_decimals = 0) {
  out = PutCoordinate(p.x, out, four_decimals & 1);
  if (!out) return nullptr;
  *out++ = '\t';
  out = PutCoordinate(p.y, out, four_decimals & 2);
  if (!out) return nullptr;
  out = PutFields(p, out);
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

constexpr std::size_t kChunk = 1 << 16;
/// A row's most: two coordinate texts (63 bytes each at most), four numbers,
/// TABs and the line end.
constexpr std::size_t kMaxRow = 192;

}  // namespace

std::string_view FieldName(Field field) {
  static constexpr std::string_view kNames[] = {"TYPE", "SPEED", "DIRTYPE", "DIRECTION"};
  return kNames[field];
}

int DirectionOf(double degrees) {
  const double turn = std::fmod(std::round(degrees), 360);
  return static_cast<int>(turn < 0 ? turn + 360 : turn);
}

GPS_POINT SamplePoint(int which) {
  GPS_POINT point;
  PointOfRow(which == 0 ? kSampleRow1 : kSampleRow2, point);
  return point;
}

bool IsSamplePoint(const GPS_POINT& point) {
  static const GPS_POINT kSamples[2] = {SamplePoint(0), SamplePoint(1)};
  return SamePoint(point, kSamples[0]) || SamePoint(point, kSamples[1]);
}

std::string NumberText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::size_t FormatDegrees(std::uint32_t units, char* out, bool four_decimals) {
  char* end = std::to_chars(out, out + 12, units / 10000).ptr;
  std::uint32_t fraction = units % 10000;
  if (fraction == 0 && !four_decimals) return static_cast<std::size_t>(end - out);
  *end++ = '.';
  int digits = 4;
  if (!four_decimals) {
    while (fraction % 10 == 0) {
      fraction /= 10;
      --digits;
    }
  }
  for (int i = digits - 1; i >= 0; --i, fraction /= 10)
    end[i] = static_cast<char>('0' + fraction % 10);
  return static_cast<std::size_t>(end + digits - out);
}

std::string Degrees(std::uint32_t units) {
  char text[24];
  return std::string(text, FormatDegrees(units, text, false));
}

std::optional<std::string> CoordinateText(std::uint32_t units) {
  // Negative and out-of-range texts all convert to the largest value.
  if (units == 0xFFFFFFFFu) return std::string("-1");
  char text[24];
  const std::string_view fixed(text, FormatDegrees(units, text, true));
  // atof reads the four decimals as their digits over 10000, correctly
  // rounded: the same double as units / 1e4, so the test needs no text.
  if (DegreesToUnits(units / 1e4) == units) return std::string(fixed);
  // The four decimals land on a float whose product with 10000 falls just
  // short: look among the neighbouring floats for one that gives the value.
  constexpr float kInf = std::numeric_limits<float>::infinity();
  float up = static_cast<float>(units / 10000.0);
  float down = up;
  for (int step = 0; step < 64; ++step) {
    for (float candidate : {up, down}) {
      const double product = static_cast<double>(candidate * 10000.0f);
      if (product >= units && product < units + 1.0) {
        if (auto found = FloatText(candidate, units)) return found;
      }
    }
    up = std::nextafter(up, kInf);
    down = std::nextafter(down, -kInf);
  }
  return std::nullopt;
}

bool FourDecimalsReadBack(std::uint32_t units) {
  // As CoordinateText decides, "-1" for the largest value included.
  return units != 0xFFFFFFFFu && DegreesToUnits(units / 1e4) == units;
}

std::string TsvRow(const GPS_POINT& p) {
  char row[kMaxRow];
  if (const char* end = PutRow(p, row))
    return std::string(row, static_cast<std::size_t>(end - 2 - row));
  // Only for showing: four decimals, even though they do not read back.
  char* end = row + FormatDegrees(p.x, row, true);
  *end++ = '\t';
  end += FormatDegrees(p.y, end, true);
  return std::string(row, static_cast<std::size_t>(PutFields(p, end) - row));
}

CameraTextWriter::CameraTextWriter(std::ostream& out, std::string_view version)
    : out_(out), chunk_(std::make_unique<char[]>(kChunk + kMaxRow)), end_(chunk_.get()) {
  std::string head(version);
  head.append("\r\n").append(kCameraHeader).append("\r\n");
  out_.write(head.data(), static_cast<std::streamsize>(head.size()));
}

CameraTextWriter::~CameraTextWriter() {
  Finish();
}

bool CameraTextWriter::Row(const GPS_POINT& point, unsigned four_decimals) {
  char* end = PutRow(point, end_, four_decimals);
  if (!end) return false;
  end_ = end;
  if (end_ - chunk_.get() >= static_cast<std::ptrdiff_t>(kChunk)) Finish();
  return true;
}

void CameraTextWriter::Finish() {
  out_.write(chunk_.get(), end_ - chunk_.get());
  end_ = chunk_.get();
}

}  // namespace korvel
