#pragma once
// Which of a source's names feeds which camera field: the built-in names,
// --field and --values, and the note on what each input's names gave.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "exchange/formats/field_rules.h"
#include "exchange/formats/source.h"

namespace korvel {

/// `name` as names are matched: ASCII letters in lower case, without `_`,
/// `-` and blanks, and without a trailing unit in parentheses ("(km/h)").
std::string NormalName(std::string_view name);

/// The column a built-in name stands for (x, lon, 위도, speed_limit,
/// compass_direction, ...), by NormalName; kNone for any other.
Column BuiltInColumn(std::string_view name);

/// "X", "Y", "TYPE", "SPEED", "DIRTYPE", "DIRECTION", "SAMPLE" or "WKT".
std::string_view ColumnName(Column column);

/// Adds one --field FIELD=NAME to `rules`; false with the reason in `failure`.
bool ParseFieldOption(std::string_view text, FieldRules& rules, std::string& failure);
/// Adds one --values FIELD:FROM=TO,... (`*=N` for the rest) to `rules`.
bool ParseValuesOption(std::string_view text, FieldRules& rules, std::string& failure);

/// Refuses a --values map of `column` in an input with no source for it:
/// "--values TYPE: PATH has no TYPE to map: ...".
void RefuseUnmapped(CameraSink& sink, const Place& place, Column column);

/// The position of a WKT point, "POINT (lon lat)" (also with Z or M);
/// nullopt for any other text.
std::optional<std::pair<double, double>> ReadWktPoint(std::string_view text);

/// A sample mark as text: true, yes or 1, in any case.
bool ReadSample(std::string_view text);

/// X and Y as one row of a format whose geometry gives the position wrote
/// them under the names --field gives (index 0 X, 1 Y).
struct NamedPosition {
  std::optional<std::string> text[2];  ///< the value, as text
  std::string name[2];                 ///< the name it came under
};

/// The names of one input and the fields they feed.
class FieldMap {
 public:
  /// Without `named_coordinates` (GeoJSON, KML, GPX: the geometry gives them)
  /// names of X and Y feed nothing and are not listed, unless --field names
  /// them.
  FieldMap(const FieldRules& rules, bool named_coordinates);

  /// Whether --field names the source of `axis` (kX or kY) in a format whose
  /// geometry gives it otherwise.
  bool Names(Column axis) const;
  /// Whether it names both: the geometry is then not needed.
  bool NamesPosition() const { return Names(Column::kX) && Names(Column::kY); }
  /// Puts the coordinates `named` holds in `camera` for each axis Names; false
  /// with the row's error when one is missing or no number.
  bool TakePosition(const NamedPosition& named, SourceCamera& camera, CameraSink& sink) const;

  /// The column `name` feeds in a row (or a header) whose names so far fed
  /// the columns in `taken` (bit per Column), which it then joins: the first
  /// name for a column feeds it, a later one in the same row feeds nothing.
  Column Meet(std::string_view name, unsigned& taken);
  /// Whether --values maps any field.
  bool MapsValues() const;

  /// Stores the text of a TYPE to DIRECTION column into `camera`, through
  /// --values when given. False when --values lists no such value and has no
  /// default: the row's error is reported.
  bool SetText(SourceCamera& camera, Column column, std::string_view text, CameraSink& sink,
               bool decimal_comma = false) const;
  /// The same for a number a source stores as a number; `shown` is its text.
  bool SetNumber(SourceCamera& camera, Column column, double value, std::string_view shown,
                 CameraSink& sink) const;

  /// Reports at `place` which names fed which field and which fed none, and
  /// the fields --values gives every camera; refuses a --values map of a
  /// field no name fed that has no `*=N`.
  void Note(CameraSink& sink, const Place& place) const;

 private:
  const FieldRules& rules_;
  bool named_coordinates_;
  /// The column of a name, and whether the note lists it already.
  struct Seen {
    Column column = Column::kNone;
    bool fed = false, unused = false;
  };
  Seen& Lookup(std::string_view name);

  std::array<std::vector<std::string>, kColumnCount> from_;  ///< the names that fed each
  std::vector<std::string> unused_;
  std::unordered_map<std::string, Seen> seen_;
};

}  // namespace korvel
