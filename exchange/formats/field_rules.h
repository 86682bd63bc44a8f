#pragma once
// What the user says about a source's names and values: --field and --values.
// Plain data, given to every reader with the import's settings.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvel {

/// What a column, property, element or tag holds, by its name.
enum class Column { kX, kY, kType, kSpeed, kDirType, kDirection, kSample, kWkt, kNone };
inline constexpr int kColumnCount = 8;

/// A source's values and the device value each stands for.
struct ValueMap {
  std::vector<std::pair<std::string, std::int64_t>> values;  ///< FROM, TO in the order given
  std::optional<std::int64_t> otherwise;                     ///< `*=N`
};

struct FieldRules {
  /// The names given by --field, by Column; an empty list takes the built-in
  /// names.
  std::array<std::vector<std::string>, kColumnCount> names;
  /// --values, by Column (TYPE to DIRECTION only).
  std::array<std::optional<ValueMap>, kColumnCount> values;
};

}  // namespace korvel
