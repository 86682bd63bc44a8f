#include "exchange/formats/osm_tags.h"

#include <array>
#include <cmath>
#include <numbers>

#include "camdb/camera_rules.h"
#include "camdb/problem.h"

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

/// Degrees as written, before they are taken modulo 360.
std::optional<long> Degrees(std::string_view text) {
  text = Trim(text);
  for (std::size_t i = 0; i < kCompass.size(); ++i) {
    if (text == kCompass[i]) return std::lround(static_cast<double>(i) * 22.5);
  }
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::optional<double> value = TakeNumber(text);
  if (!value || !Trim(text).empty()) return std::nullopt;
  return std::lround(negative ? -*value : *value);
}

// `name "value" what`. Appended piece by piece: GCC 12 at -O3 reports a false
// -Wrestrict for a literal plus a temporary string.
std::string Remark(std::string_view name, std::string_view value, std::string_view what) {
  std::string text = EscapeText(name);
  text.append(" ").append(QuotedText(value)).append(" ").append(what);
  return text;
}

/// The first of `keys` the object has, with its key.
std::optional<std::pair<std::string_view, std::string_view>> FirstTag(
    const OsmTagLookup& tag, const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    if (const auto value = tag(key)) {
      return std::pair<std::string_view, std::string_view>(key, *value);
    }
  }
  return std::nullopt;
}

/// The tags of `column`: --field's, else `built_in`.
const std::vector<std::string>& KeysOf(const FieldRules& rules, Column column,
                                       const std::vector<std::string>& built_in) {
  const auto& given = rules.names[static_cast<int>(column)];
  return given.empty() ? built_in : given;
}

void ReadSpeed(const OsmTagLookup& tag, std::optional<std::string_view> relation_maxspeed,
               const FieldRules& rules, OsmCameraTags& tags) {
  static const std::vector<std::string> kKeys = {"maxspeed", "maxspeed:forward",
                                                 "maxspeed:backward"};
  auto speed = FirstTag(tag, KeysOf(rules, Column::kSpeed, kKeys));
  if (!speed && relation_maxspeed) speed.emplace("maxspeed", *relation_maxspeed);
  if (!speed) return;
  if (const std::optional<int> kmh = SpeedKmh(speed->second)) {
    tags.speed = *kmh;
  } else {
    tags.warnings.push_back(Remark(speed->first, speed->second, "is not a number: SPEED 0"));
  }
}

void ReadDirection(const OsmTagLookup& tag, const FieldRules& rules, OsmCameraTags& tags) {
  static const std::vector<std::string> kKeys = {"direction", "camera:direction"};
  const auto direction = FirstTag(tag, KeysOf(rules, Column::kDirection, kKeys));
  if (!direction) return;
  tags.direction_tagged = true;
  const auto [key, value] = *direction;
  if (const std::optional<long> degrees = Degrees(value)) {
    tags.dirtype = 1;
    tags.direction = DirectionOf(static_cast<double>(*degrees));
    if (*degrees < 0 || *degrees > 359) {
      tags.warnings.push_back(Remark(key, value, "is outside 0 to 359: taken as ") +
                              std::to_string(tags.direction));
    }
    return;
  }
  const std::string_view trimmed = Trim(value);
  const std::size_t dash = value.find('-', 1);
  const bool range = dash != std::string_view::npos && Degrees(value.substr(0, dash)) &&
                     Degrees(value.substr(dash + 1));
  const bool several = value.find(';') != std::string_view::npos;
  const bool along = trimmed == "forward" || trimmed == "backward";
  tags.warnings.push_back(Remark(key, value,
                                 along     ? "points along a way, which a node has not: DIRTYPE 0"
                                 : range   ? "is a range: DIRTYPE 0"
                                 : several ? "holds more than one value: DIRTYPE 0"
                                           : "cannot be read: DIRTYPE 0"));
}

}  // namespace

bool IsOsmSpeedCamera(const OsmTagLookup& tag) {
  const auto highway = tag("highway");
  return highway && *highway == "speed_camera";
}

OsmCameraTags ReadOsmCameraTags(const OsmTagLookup& tag,
                                std::optional<std::string_view> relation_maxspeed,
                                const FieldRules& rules) {
  OsmCameraTags tags;
  ReadSpeed(tag, relation_maxspeed, rules, tags);
  ReadDirection(tag, rules, tags);
  if (const auto type = FirstTag(tag, rules.names[static_cast<int>(Column::kType)])) {
    tags.type.emplace(type->second);
  }
  return tags;
}

bool ParseOtherTags(std::string_view text, std::vector<std::pair<std::string, std::string>>& tags) {
  tags.clear();
  std::size_t at = 0;
  // One "..." with \" and \\ escapes, from `at`.
  const auto quoted = [&](std::string& out) {
    if (at >= text.size() || text[at] != '"') return false;
    for (++at; at < text.size(); ++at) {
      if (text[at] == '"') {
        ++at;
        return true;
      }
      if (text[at] == '\\' && at + 1 < text.size()) ++at;
      out += text[at];
    }
    return false;
  };
  while (at < text.size()) {
    std::string key, value;
    if (!quoted(key) || text.substr(at, 2) != "=>") return false;
    at += 2;
    if (!quoted(value)) return false;
    tags.emplace_back(std::move(key), std::move(value));
    if (at < text.size() && text[at++] != ',') return false;
  }
  return true;
}

std::optional<int> InitialBearing(double from_lon, double from_lat, double to_lon, double to_lat) {
  if (from_lon == to_lon && from_lat == to_lat) return std::nullopt;
  constexpr double kRadians = std::numbers::pi / 180;
  const double phi1 = from_lat * kRadians, phi2 = to_lat * kRadians;
  const double delta = (to_lon - from_lon) * kRadians;
  const double y = std::sin(delta) * std::cos(phi2);
  const double x =
      std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(delta);
  return DirectionOf(std::atan2(y, x) / kRadians);
}

}  // namespace korvel
