#pragma once
// The camera text line by line, each line classified once: the version line,
// the header, and the data rows by what they hold. The parser stops at the
// first line that is a fault; the checker reads on and reports them all.

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "camdb/gps_point.h"
#include "platform/text_file.h"

namespace korvel {

/// Fields are cut at TABs; a camera row has six: X, Y, TYPE, SPEED, DIRTYPE
/// and DIRECTION.
inline constexpr char kFieldDelimiter[] = "\t";
inline constexpr std::size_t kRowFields = 6;

/// What one line of the text is.
enum class LineKind : std::uint8_t {
  kVersion,     ///< line 1, taken whole
  kHeader,      ///< line 2, cut into fields
  kEmpty,       ///< a data row without fields (empty, or only TABs)
  kFieldCount,  ///< a data row with fields, but not six
  kTooLong,     ///< any line longer than TextReader::kMaxLineLength
  kPlainRow,    ///< a data row in its plainest form, already read (DataRow::plain)
  kCRow,        ///< six fields that need the C runtime's atof and atoi rules
};

/// A data row in its plainest form, as nearly every text writes it: six
/// fields each ended by one TAB (the last by the line end), the coordinates an
/// optional minus and a plain decimal of at most 15 digits, the others an
/// optional minus and at most nine digits. The values as atof and atoi read
/// them, before they are cut to their fields' widths.
struct PlainRow {
  double x = 0;
  double y = 0;
  int values[4] = {};  ///< columns 3 to 6
};

/// False for a row in any other form; the C rules then read it, to the same
/// values or to the same fault.
bool ReadPlainRow(std::string_view text, PlainRow& row);

/// A line's fields: the first six as views into the line, and how many it has.
struct RowFields {
  std::array<std::string_view, kRowFields> field;
  std::size_t count = 0;  ///< all of the line's fields, also those not kept
  std::size_t kept() const { return count < kRowFields ? count : kRowFields; }
};

/// One data row as it was classified: `plain` for kPlainRow, `fields` for the
/// other kinds.
struct DataRow {
  LineKind kind = LineKind::kEmpty;
  PlainRow plain;
  RowFields fields;
};

/// Classifies `text` as a data row (kEmpty, kFieldCount, kPlainRow or kCRow).
inline void ReadDataRow(std::string_view text, DataRow& row);

/// Sets `point` to what a kPlainRow or kCRow row gives, each number cut to
/// its field's width: "256" as TYPE gives 0, "-1" gives 255. In place: the
/// parser fills the list's new element field by field.
inline void RowPoint(const DataRow& row, GPS_POINT& point);

/// The point of one row's text (a line end after it is allowed, as the sample
/// rows carry one); false when the text is no row of six fields.
bool PointOfRow(std::string_view text, GPS_POINT& point);

/// Degrees as atof read them to 1/10000 degree, in single precision as the
/// devices' tool always did: round to float, times 10000 in float, truncate.
/// -1 or less, 2^32 or more and NaN give 4294967295; (-1, 0) gives 0.
inline std::uint32_t DegreesToUnits(double degrees);

/// Coordinate text to 1/10000 degree: atof, then DegreesToUnits.
std::uint32_t ConvertCoordinate(std::string_view field);

/// Reads a camera text one classified line at a time.
class RowReader {
 public:
  explicit RowReader(TextReader& file) : file_(file) {}

  /// Reads and classifies the next line. False at the end of the file, or
  /// when it cannot be read any further (then failed()).
  bool Next() {
    if (!file_.ReadLine(text_)) return false;
    ++line_;
    if (line_ > 2 && !file_.too_long()) {
      ReadDataRow(text_, row_);
    } else {
      ClassifyOther();
    }
    return true;
  }

  LineKind kind() const { return row_.kind; }
  /// One-based number of the line Next gave; 0 before the first.
  std::uint64_t line() const { return line_; }
  /// The line's text, valid until the next read: whole for the version line,
  /// cut at its first NUL as the reader gives it.
  std::string_view text() const { return text_; }
  /// The header's or a data row's fields and, for kPlainRow, its values.
  const DataRow& row() const { return row_; }
  bool failed() const { return file_.failed(); }

 private:
  /// The version line, the header and any line too long.
  void ClassifyOther();

  TextReader& file_;
  std::string_view text_;
  std::uint64_t line_ = 0;
  DataRow row_;
};

// Inline: the parser converts every row of texts with millions of them.

inline std::uint32_t DegreesToUnits(double degrees) {
  // Round to float as IEEE does; a plain cast of a double beyond the float
  // range is undefined in C++. From halfway between FLT_MAX and the next
  // power of two on, the nearest float is infinity.
  constexpr double kOverflow = 0x1.ffffffp127;
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const float as_float = std::isnan(degrees)               ? std::numeric_limits<float>::quiet_NaN()
                         : std::fabs(degrees) >= kOverflow ? (degrees > 0 ? kInf : -kInf)
                                                           : static_cast<float>(degrees);
  const float units = as_float * 10000.0f;
  if (std::isnan(units) || units <= -1.0f || units >= 4294967296.0f) return 0xFFFFFFFFu;
  if (units < 0.0f) return 0;
  return static_cast<std::uint32_t>(units);
}

/// ReadDataRow's way for a row that is not plain: cut into fields.
void ReadCutRow(std::string_view text, DataRow& row);

inline void ReadDataRow(std::string_view text, DataRow& row) {
  // Nearly every row is plain: read at once, never cut into fields.
  if (ReadPlainRow(text, row.plain)) {
    row.kind = LineKind::kPlainRow;
  } else {
    ReadCutRow(text, row);
  }
}

/// RowPoint's way for rows that need the C rules.
void CRowPoint(const RowFields& fields, GPS_POINT& point);

inline void RowPoint(const DataRow& row, GPS_POINT& point) {
  if (row.kind != LineKind::kPlainRow) {
    CRowPoint(row.fields, point);
    return;
  }
  point.x = DegreesToUnits(row.plain.x);
  point.y = DegreesToUnits(row.plain.y);
  // Conversions to unsigned types keep the low bits.
  point.type = static_cast<std::uint8_t>(row.plain.values[0]);
  point.speed = static_cast<std::uint8_t>(row.plain.values[1]);
  point.flag = static_cast<std::uint8_t>(row.plain.values[2]);
  point.angle = static_cast<std::uint16_t>(row.plain.values[3]);
  point.id = CellId(point.x, point.y);
  point.reserved = 0;
}

}  // namespace korvel
