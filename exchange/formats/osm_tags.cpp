#include "exchange/formats/osm_tags.h"

#include <array>
#include <cmath>
#include <numbers>

namespace korvel {
namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Digits with an optional fraction, taken from the front of `text`. Our own
// loop rather than strtod: no locale, no exponent, no hex, no "inf".
std::optional<double> TakeNumber(std::string_view& text) {
  double value = 0;
  std::size_t i = 0, digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    value = value * 10 + (text[i] - '0');
  }
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits, scale /= 10) {
      value += (text[i] - '0') * scale;
    }
  }
  // Nine digits keep the rounded value inside an int.
  if (digits == 0 || value >= 1e9) return std::nullopt;
  text.remove_prefix(i);
  return value;
}

std::optional<int> SpeedKmh(std::string_view text) {
  text = Trim(text);
  const std::optional<double> value = TakeNumber(text);
  if (!value) return std::nullopt;
  text = Trim(text);
  double factor = 0;
  if (text.empty() || text == "km/h" || text == "kmh" || text == "kph") factor = 1;
  if (text == "mph") factor = 1.609344;
  if (text == "knots") factor = 1.852;
  if (factor == 0) return std::nullopt;
  return static_cast<int>(std::lround(*value * factor));
}

constexpr std::array<std::string_view, 16> kCompass = {"N",  "NNE", "NE", "ENE", "E",  "ESE",
                                                       "SE", "SSE", "S",  "SSW", "SW", "WSW",
                                                       "W",  "WNW", "NW", "NNW"};

int Normalized(long degrees) {
  return static_cast<int>(((degrees % 360) + 360) % 360);
}

std::optional<int> Degrees(std::string_view text) {
  text = Trim(text);
  for (std::size_t i = 0; i < kCompass.size(); ++i) {
    if (text == kCompass[i]) return Normalized(std::lround(i * 22.5));
  }
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::optional<double> value = TakeNumber(text);
  if (!value || !Trim(text).empty()) return std::nullopt;
  return Normalized(std::lround(negative ? -*value : *value));
}

// `name "value" what`. Appended piece by piece: GCC 12 at -O3 reports a false
// -Wrestrict for a literal plus a temporary string.
std::string Remark(std::string_view name, std::string_view value, std::string_view what) {
  std::string text(name);
  text.append(" \"").append(value).append("\" ").append(what);
  return text;
}

}  // namespace

OsmCameraTags ReadOsmCameraTags(std::optional<std::string_view> maxspeed,
                                std::optional<std::string_view> direction) {
  OsmCameraTags tags;
  if (maxspeed) {
    if (const std::optional<int> speed = SpeedKmh(*maxspeed)) {
      tags.speed = *speed;
    } else {
      tags.warnings.push_back(Remark("maxspeed", *maxspeed, "is not a number: SPEED 0"));
    }
  }
  if (direction) {
    if (const std::optional<int> degrees = Degrees(*direction)) {
      tags.dirtype = 1;
      tags.direction = *degrees;
    } else {
      const std::size_t dash = direction->find('-', 1);
      const bool range = dash != std::string_view::npos && Degrees(direction->substr(0, dash)) &&
                         Degrees(direction->substr(dash + 1));
      const bool several = direction->find(';') != std::string_view::npos;
      tags.warnings.push_back(Remark("direction", *direction,
                                     range     ? "is a range: DIRTYPE 0"
                                     : several ? "holds more than one value: DIRTYPE 0"
                                               : "cannot be read: DIRTYPE 0"));
    }
  }
  return tags;
}

std::optional<int> InitialBearing(double from_lon, double from_lat, double to_lon, double to_lat) {
  if (from_lon == to_lon && from_lat == to_lat) return std::nullopt;
  constexpr double kRadians = std::numbers::pi / 180;
  const double phi1 = from_lat * kRadians, phi2 = to_lat * kRadians;
  const double delta = (to_lon - from_lon) * kRadians;
  const double y = std::sin(delta) * std::cos(phi2);
  const double x =
      std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(delta);
  return Normalized(std::lround(std::atan2(y, x) / kRadians));
}

}  // namespace korvel
