#include "exchange/formats/fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/c_number.h"

namespace korvel {
namespace {

/// The blanks around a field: space, TAB, CR and LF.
constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

/// Spelled out: find_first_not_of searches its set with a library call per
/// character, twice for every field of every row.
std::string_view Trim(std::string_view text) {
  std::size_t first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool EqualsLower(std::string_view text, std::string_view lower) {
  return text.size() == lower.size() &&
         std::equal(text.begin(), text.end(), lower.begin(), [](char a, char b) {
           return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
         });
}

std::string Quoted(std::string_view text) {
  return QuotedText(text, 40);
}

/// Integers beyond this are out of every field's range anyway; the cap keeps
/// the conversion defined.
constexpr double kIntegerCap = 1e15;

/// Degrees of the sixteen compass points, N = 0.
std::optional<double> CompassDegrees(std::string_view text) {
  static constexpr std::string_view kPoints[] = {"n", "nne", "ne", "ene", "e", "ese", "se", "sse",
                                                 "s", "ssw", "sw", "wsw", "w", "wnw", "nw", "nnw"};
  for (std::size_t i = 0; i < std::size(kPoints); ++i) {
    if (EqualsLower(text, kPoints[i])) return static_cast<double>(i) * 22.5;
  }
  return std::nullopt;
}

/// SPEED as OpenStreetMap's maxspeed writes it: km/h, or a number and a unit.
std::optional<double> SpeedKmh(std::string_view text) {
  if (auto plain = ReadDecimal(text)) return plain;
  const std::size_t blank = text.find_last_of(' ');
  if (blank == std::string_view::npos) return std::nullopt;
  const auto number = ReadDecimal(text.substr(0, blank));
  const std::string_view unit = text.substr(blank + 1);
  if (!number) return std::nullopt;
  if (EqualsLower(unit, "mph")) return *number * 1.609344;
  if (EqualsLower(unit, "knots")) return *number * 1.852;
  if (EqualsLower(unit, "km/h") || EqualsLower(unit, "kmh")) return number;
  return std::nullopt;
}

/// Stores `value` rounded; a plain number with a fraction gets a warning, a
/// converted unit or compass point does not.
/// `shown` is the source's text, quoted when `quote`.
void Store(SourceCamera& camera, Field field, std::string_view shown, bool quote, double value,
           CameraSink& sink, bool plain = true) {
  const double capped = std::clamp(value, -kIntegerCap, kIntegerCap);
  auto whole = static_cast<std::int64_t>(std::llround(capped));
  const bool fraction = static_cast<double>(whole) != value;
  // A direction rounded to 360 is north: turned as one with a fraction, so
  // that one warning tells both.
  if (field == kDirection && fraction) whole = DirectionOf(capped);
  if (plain && fraction) {
    Warn(sink, camera.place,
         std::string(FieldName(field)) + " " + (quote ? Quoted(shown) : std::string(shown)) +
             " read as " + std::to_string(whole));
  }
  camera.fields[field] = whole;
}

}  // namespace

std::optional<double> ReadDecimal(std::string_view text, bool decimal_comma) {
  text = Trim(text);
  // Nearly every field: digits, a point, digits, read as strtod reads them.
  double plain = 0;
  if (ReadPlainDecimal(text.data(), text.data() + text.size(), plain) ==
          text.data() + text.size() &&
      !text.empty()) {
    return plain;
  }
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty() || text.size() > 64) return std::nullopt;
  // Only decimals: from_chars would take "inf", "nan" and hexadecimal too.
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E' ||
          (decimal_comma && c == ','))) {
      return std::nullopt;
    }
  }
  char copy[65];
  std::size_t n = 0;
  for (char c : text) copy[n++] = c == ',' ? '.' : c;
  double value = 0;
  const auto [end, error] = std::from_chars(copy, copy + n, value);
  if (error != std::errc() || end != copy + n || !std::isfinite(value)) return std::nullopt;
  return value;
}

void SetFieldText(SourceCamera& camera, Field field, std::string_view text, CameraSink& sink,
                  bool decimal_comma) {
  text = Trim(text);
  if (text.empty()) return;
  // Nearly every field: a few digits.
  if (text.size() <= 9 &&
      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    std::int64_t value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    camera.fields[field] = value;
    return;
  }
  std::optional<double> value = ReadDecimal(text, decimal_comma);
  const bool plain = value.has_value();
  if (!value && field == kSpeed) value = SpeedKmh(text);
  if (!value && field == kDirection) value = CompassDegrees(text);
  if (value) {
    Store(camera, field, text, true, *value, sink, plain);
    return;
  }
  if (field == kDirection) {
    Warn(sink, camera.place,
         "DIRECTION " + Quoted(text) + " is not a direction: DIRTYPE 0 and DIRECTION 0");
    camera.fields[kDirType] = 0;
    camera.fields[kDirection] = 0;
    return;
  }
  Warn(sink, camera.place,
       std::string(FieldName(field)) + " " + Quoted(text) + " is not a number: read as 0");
  camera.fields[field] = 0;
}

void SetFieldNumber(SourceCamera& camera, Field field, double value, CameraSink& sink) {
  char shown[32];
  const auto end = std::to_chars(shown, shown + sizeof shown, value).ptr;
  Store(camera, field, std::string_view(shown, static_cast<std::size_t>(end - shown)), false, value,
        sink);
}

bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    std::uint32_t code = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, code = c & 0x07;
    } else {
      return false;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
      if (i + k >= text.size()) return false;
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF.
    if ((extra == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (extra == 3 && (code < 0x10000 || code > 0x10FFFF))) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

void Warn(CameraSink& sink, const Place& place, std::string message) {
  sink.Problem(SourceProblem{place, ProblemKind::kWarning, std::move(message)});
}

void Fail(CameraSink& sink, const Place& place, std::string message) {
  sink.Problem(SourceProblem{place, ProblemKind::kError, std::move(message)});
}

}  // namespace korvel
