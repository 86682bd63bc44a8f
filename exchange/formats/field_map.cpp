#include "exchange/formats/field_map.h"

#include <algorithm>
#include <charconv>

#include "exchange/formats/fields.h"
#include "platform/system.h"

namespace korvel {
namespace {

/// The names of the columns that are no device field.
constexpr std::string_view kOtherNames[] = {"X", "Y", "SAMPLE", "WKT"};

/// Names listed in the note at most; the rest are counted.
constexpr std::size_t kListedNames = 30;

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsValueColumn(Column column) {
  return column >= Column::kType && column <= Column::kDirection;
}

Field FieldOf(Column column) {
  return static_cast<Field>(static_cast<int>(column) - static_cast<int>(Column::kType));
}

std::optional<Column> ParseColumn(std::string_view name) {
  for (int i = 0; i < kColumnCount; ++i) {
    if (NormalName(name) == NormalName(ColumnName(static_cast<Column>(i))))
      return static_cast<Column>(i);
  }
  return std::nullopt;
}

std::string Quote(std::string_view text) {
  return QuotedLine(text);
}

std::string OptionFailure(std::string_view option, std::string_view text, std::string why) {
  return std::string(option) + " " + Quote(text) + ": " + why;
}

/// The value --values gives `text` for `column`; nullopt when it gives none.
std::optional<std::int64_t> MappedValue(const ValueMap& map, std::string_view text) {
  for (const auto& [from, to] : map.values) {
    if (from == text) return to;
  }
  return map.otherwise;
}

/// One FROM=TO of --values into `map`.
bool ParseValuePair(std::string_view option, std::string_view pair, Column column, ValueMap& map,
                    std::string& failure) {
  const std::size_t equals = pair.rfind('=');
  if (equals == std::string_view::npos || equals == 0) {
    failure = OptionFailure("--values", option, Quote(pair) + " is not FROM=TO");
    return false;
  }
  const std::string_view from = TrimBlanks(pair.substr(0, equals));
  const std::string_view to = TrimBlanks(pair.substr(equals + 1));
  std::int64_t value = -1;
  const auto [end, error] = std::from_chars(to.data(), to.data() + to.size(), value);
  if (to.empty() || error != std::errc() || end != to.data() + to.size() || value < 0) {
    failure = OptionFailure("--values", option, Quote(to) + " is not a whole number");
    return false;
  }
  const std::int64_t top = FieldTop(FieldOf(column));
  if (value > top) {
    failure = OptionFailure("--values", option,
                            std::string(ColumnName(column)) + " " + std::to_string(value) +
                                " is outside 0 to " + std::to_string(top));
    return false;
  }
  const bool repeated = from == "*"
                            ? map.otherwise.has_value()
                            : std::any_of(map.values.begin(), map.values.end(),
                                          [&](const auto& known) { return known.first == from; });
  if (repeated) {
    failure = OptionFailure("--values", option, Quote(from) + " is given twice");
    return false;
  }
  if (from == "*") {
    map.otherwise = value;
  } else {
    map.values.emplace_back(from, value);
  }
  return true;
}

}  // namespace

std::string NormalName(std::string_view name) {
  name = TrimBlanks(name);
  if (name.ends_with(')')) {
    const std::size_t open = name.rfind('(');
    if (open != std::string_view::npos && open != 0) name = name.substr(0, open);
  }
  std::string normal;
  normal.reserve(name.size());
  for (char c : name) {
    if (c != '_' && c != '-' && c != ' ' && c != '\t') normal += Lower(c);
  }
  return normal;
}

Column BuiltInColumn(std::string_view name) {
  struct Name {
    std::string_view text;
    Column column;
  };
  static constexpr Name kNames[] = {
      {"x", Column::kX},
      {"lon", Column::kX},
      {"lng", Column::kX},
      {"long", Column::kX},
      {"longitude", Column::kX},
      {"\xEA\xB2\xBD\xEB\x8F\x84", Column::kX},  // 경도
      {"y", Column::kY},
      {"lat", Column::kY},
      {"latitude", Column::kY},
      {"\xEC\x9C\x84\xEB\x8F\x84", Column::kY},  // 위도
      {"type", Column::kType},
      {"speed", Column::kSpeed},
      {"maxspeed", Column::kSpeed},
      {"speedlimit", Column::kSpeed},
      {"limit", Column::kSpeed},
      {"vmax", Column::kSpeed},
      {"\xEC\xA0\x9C\xED\x95\x9C\xEC\x86\x8D\xEB\x8F\x84", Column::kSpeed},  // 제한속도
      {"dirtype", Column::kDirType},
      {"flag", Column::kDirType},
      // A road's up or down direction (road_direction, 도로노선방향) is no
      // bearing: it is left out on purpose.
      {"direction", Column::kDirection},
      {"heading", Column::kDirection},
      {"angle", Column::kDirection},
      {"bearing", Column::kDirection},
      {"azimuth", Column::kDirection},
      {"course", Column::kDirection},
      {"compassdirection", Column::kDirection},
      {"camera:direction", Column::kDirection},
      {"sample", Column::kSample},
      // A point as text, as ogr2ogr and QGIS write geometry into CSV.
      {"wkt", Column::kWkt},
      {"wktgeom", Column::kWkt},
      {"geometry", Column::kWkt},
      {"thegeom", Column::kWkt},
  };
  const std::string normal = NormalName(name);
  for (const Name& known : kNames) {
    if (normal == known.text) return known.column;
  }
  return Column::kNone;
}

std::string_view ColumnName(Column column) {
  switch (column) {
    case Column::kX:
      return kOtherNames[0];
    case Column::kY:
      return kOtherNames[1];
    case Column::kSample:
      return kOtherNames[2];
    case Column::kWkt:
      return kOtherNames[3];
    case Column::kNone:
      return "-";
    default:
      return FieldName(FieldOf(column));
  }
}

bool ParseFieldOption(std::string_view text, FieldRules& rules, std::string& failure) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    failure = OptionFailure("--field", text, "FIELD=NAME expected");
    return false;
  }
  const auto column = ParseColumn(text.substr(0, equals));
  if (!column) {
    failure =
        OptionFailure("--field", text,
                      std::string(TrimBlanks(text.substr(0, equals))) +
                          " is no field (X, Y, TYPE, SPEED, DIRTYPE, DIRECTION, SAMPLE or WKT)");
    return false;
  }
  const std::string_view name = TrimBlanks(text.substr(equals + 1));
  if (NormalName(name).empty()) {
    failure = OptionFailure("--field", text, "a name expected after =");
    return false;
  }
  for (int i = 0; i < kColumnCount; ++i) {
    for (const std::string& given : rules.names[i]) {
      if (NormalName(given) == NormalName(name)) {
        failure = OptionFailure(
            "--field", text,
            Quote(name) + " is given for " + std::string(ColumnName(static_cast<Column>(i))));
        return false;
      }
    }
  }
  rules.names[static_cast<int>(*column)].emplace_back(name);
  return true;
}

bool ParseValuesOption(std::string_view text, FieldRules& rules, std::string& failure) {
  const std::size_t colon = text.find(':');
  const auto column =
      colon == std::string_view::npos ? std::nullopt : ParseColumn(text.substr(0, colon));
  if (!column) {
    failure = OptionFailure("--values", text, "FIELD:FROM=TO,... expected");
    return false;
  }
  if (!IsValueColumn(*column)) {
    failure = OptionFailure("--values", text, "values map TYPE, SPEED, DIRTYPE or DIRECTION only");
    return false;
  }
  auto& slot = rules.values[static_cast<int>(*column)];
  ValueMap map = slot.value_or(ValueMap());
  std::string_view rest = text.substr(colon + 1);
  while (true) {
    const std::size_t comma = rest.find(',');
    if (!ParseValuePair(text, rest.substr(0, comma), *column, map, failure)) return false;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  slot = std::move(map);
  return true;
}

void RefuseUnmapped(CameraSink& sink, const Place& place, Column column) {
  const std::string field(ColumnName(column));
  sink.Refuse(place, "--values " + field,
              "has no " + field + " to map: name its source with --field " + field +
                  "=NAME, or give " + field + ":*=N for every camera");
}

std::optional<std::pair<double, double>> ReadWktPoint(std::string_view text) {
  text = TrimBlanks(text);
  std::string upper;
  for (char c : text.substr(0, 5)) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (upper != "POINT") return std::nullopt;
  text.remove_prefix(5);
  const std::size_t open = text.find('(');
  // Between POINT and "(": blanks, and Z, M or ZM for the dimensions.
  if (open == std::string_view::npos || !text.ends_with(')') ||
      TrimBlanks(text.substr(0, open)).find_first_not_of("ZMzm") != std::string_view::npos) {
    return std::nullopt;
  }
  std::string_view inside = TrimBlanks(text.substr(open + 1, text.size() - open - 2));
  const std::size_t blank = inside.find_first_of(" \t");
  if (blank == std::string_view::npos) return std::nullopt;
  const auto x = ReadDecimal(inside.substr(0, blank));
  inside = TrimBlanks(inside.substr(blank));
  const auto y = ReadDecimal(inside.substr(0, inside.find_first_of(" \t")));
  if (!x || !y) return std::nullopt;
  return std::pair(*x, *y);
}

bool ReadSample(std::string_view text) {
  text = TrimBlanks(text);
  const auto is = [&](std::string_view lower) {
    return text.size() == lower.size() && std::equal(text.begin(), text.end(), lower.begin(),
                                                     [](char a, char b) { return Lower(a) == b; });
  };
  return is("true") || is("yes") || is("1");
}

FieldMap::FieldMap(const FieldRules& rules, bool named_coordinates)
    : rules_(rules), named_coordinates_(named_coordinates) {}

FieldMap::Seen& FieldMap::Lookup(std::string_view name) {
  if (const auto known = seen_.find(std::string(name)); known != seen_.end()) {
    return known->second;
  }
  const std::string normal = NormalName(name);
  Column column = Column::kNone;
  for (int i = 0; i < kColumnCount && column == Column::kNone; ++i) {
    for (const std::string& wanted : rules_.names[i]) {
      if (NormalName(wanted) == normal) column = static_cast<Column>(i);
    }
  }
  if (column == Column::kNone) {
    column = BuiltInColumn(normal);
    // --field replaces the built-in names of its field.
    if (column != Column::kNone && !rules_.names[static_cast<int>(column)].empty()) {
      column = Column::kNone;
    }
  }
  return seen_.emplace(std::string(name), Seen{column}).first->second;
}

Column FieldMap::Meet(std::string_view name, unsigned& taken) {
  name = TrimBlanks(name);
  if (name.empty()) return Column::kNone;
  Seen& seen = Lookup(name);
  const Column column = seen.column;
  const bool coordinate = column == Column::kX || column == Column::kY;
  // Left to the geometry, and not listed.
  if (coordinate && !named_coordinates_ && !Names(column)) return Column::kNone;
  const unsigned bit = 1u << static_cast<int>(column);
  if (column != Column::kNone && (taken & bit) == 0) {
    taken |= bit;
    if (!seen.fed) from_[static_cast<int>(column)].emplace_back(name);
    seen.fed = true;
    return column;
  }
  if (!seen.unused) unused_.emplace_back(name);
  seen.unused = true;
  return Column::kNone;
}

bool FieldMap::MapsValues() const {
  return std::any_of(rules_.values.begin(), rules_.values.end(),
                     [](const auto& map) { return map.has_value(); });
}

bool FieldMap::SetText(SourceCamera& camera, Column column, std::string_view text, CameraSink& sink,
                       bool decimal_comma) const {
  if (!IsValueColumn(column)) return true;
  const auto& map = rules_.values[static_cast<int>(column)];
  if (!map) {
    SetFieldText(camera, FieldOf(column), text, sink, decimal_comma);
    return true;
  }
  text = TrimBlanks(text);
  if (text.empty()) return true;
  // The values given are UTF-8; a CP949 list's are converted to match them.
  std::string utf8;
  if (!IsUtf8(text) && Cp949ToUtf8(text, utf8)) text = utf8;
  if (const auto value = MappedValue(*map, text)) {
    camera.fields[FieldOf(column)] = *value;
    return true;
  }
  Fail(sink, camera.place,
       std::string(ColumnName(column)) + " " + Quote(text.substr(0, 40)) +
           " is not among --values " + std::string(ColumnName(column)) +
           " (give *=N for the rest); skipped");
  return false;
}

bool FieldMap::SetNumber(SourceCamera& camera, Column column, double value, std::string_view shown,
                         CameraSink& sink) const {
  if (!IsValueColumn(column)) return true;
  if (rules_.values[static_cast<int>(column)]) return SetText(camera, column, shown, sink);
  SetFieldNumber(camera, FieldOf(column), value, sink);
  return true;
}

bool FieldMap::Names(Column axis) const {
  return !named_coordinates_ && !rules_.names[static_cast<int>(axis)].empty();
}

bool FieldMap::TakePosition(const NamedPosition& named, SourceCamera& camera,
                            CameraSink& sink) const {
  for (int axis = 0; axis < 2; ++axis) {
    const auto column = static_cast<Column>(axis);
    if (!Names(column)) continue;
    const std::string field(ColumnName(column));
    if (!named.text[axis] || TrimBlanks(*named.text[axis]).empty()) {
      std::string names;
      for (const std::string& name : rules_.names[axis]) {
        names += (names.empty() ? "" : " or ") + Quote(name);
      }
      Fail(sink, camera.place, "no " + names + " for " + field + "; skipped");
      return false;
    }
    const std::optional<double> degrees = ReadDecimal(*named.text[axis]);
    if (!degrees) {
      Fail(sink, camera.place,
           field + " " + Quote(named.text[axis]->substr(0, 40)) + " from " +
               Quote(named.name[axis]) + " is not a number; skipped");
      return false;
    }
    (axis == 0 ? camera.x : camera.y) = *degrees;
  }
  return true;
}

void FieldMap::Note(CameraSink& sink, const Place& place) const {
  std::string text;
  for (int i = 0; i < kColumnCount; ++i) {
    for (std::size_t k = 0; k < from_[i].size(); ++k) {
      text += text.empty() ? "" : k == 0 ? ", " : " and ";
      if (k == 0) text += std::string(ColumnName(static_cast<Column>(i))) + " from ";
      text += Quote(from_[i][k]);
    }
    // A field no name fed, which --values gives when it has a default.
    const auto& map = rules_.values[i];
    if (!map || !from_[i].empty()) continue;
    const std::string field(ColumnName(static_cast<Column>(i)));
    // A name --field gives that is not there leaves the warning on the field.
    if (!map->otherwise && !rules_.names[i].empty()) continue;
    if (!map->otherwise) {
      RefuseUnmapped(sink, place, static_cast<Column>(i));
      return;
    }
    text += (text.empty() ? "" : ", ") + field + " from --values " + field +
            ":*=" + std::to_string(*map->otherwise);
  }
  if (text.empty() && unused_.empty()) return;
  if (text.empty()) text = "no names of fields";
  if (!unused_.empty()) {
    text += "; not used: ";
    for (std::size_t i = 0; i < unused_.size() && i < kListedNames; ++i) {
      text += (i == 0 ? "" : ", ") + EscapeText(unused_[i]);
    }
    if (unused_.size() > kListedNames) {
      text += " and " + std::to_string(unused_.size() - kListedNames) + " more";
    }
    text += " (--field FIELD=NAME takes one)";
  }
  sink.Problem(SourceProblem{place, ProblemKind::kNote, std::move(text)});
}

}  // namespace korvel
