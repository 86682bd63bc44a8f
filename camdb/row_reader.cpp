#include "camdb/row_reader.h"

#include "camdb/split_string.h"
#include "platform/c_number.h"

namespace korvel {
namespace {

constexpr char kTab = kFieldDelimiter[0];

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

/// Keeps the first six fields and counts them all: the checker names the
/// count of a row that does not have six.
void CutFields(std::string_view text, RowFields& fields) {
  FieldCutter cutter(kFieldDelimiter);
  cutter.Start(text);
  fields.count = 0;
  for (std::string_view field; cutter.Next(field); ++fields.count) {
    if (fields.count < kRowFields) fields.field[fields.count] = field;
  }
}

}  // namespace

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

void ReadCutRow(std::string_view text, DataRow& row) {
  CutFields(text, row.fields);
  row.kind = row.fields.count == kRowFields ? LineKind::kCRow
             : row.fields.count == 0        ? LineKind::kEmpty
                                            : LineKind::kFieldCount;
}

void CRowPoint(const RowFields& fields, GPS_POINT& point) {
  const auto& field = fields.field;
  point.x = ConvertCoordinate(field[0]);
  point.y = ConvertCoordinate(field[1]);
  point.type = static_cast<std::uint8_t>(CAtoi(field[2]));
  point.speed = static_cast<std::uint8_t>(CAtoi(field[3]));
  point.flag = static_cast<std::uint8_t>(CAtoi(field[4]));
  point.angle = static_cast<std::uint16_t>(CAtoi(field[5]));
  point.id = CellId(point.x, point.y);
  point.reserved = 0;
}

bool PointOfRow(std::string_view text, GPS_POINT& point) {
  if (text.ends_with('\n')) text.remove_suffix(text.ends_with("\r\n") ? 2 : 1);
  DataRow row;
  ReadDataRow(text, row);
  if (row.kind != LineKind::kPlainRow && row.kind != LineKind::kCRow) return false;
  RowPoint(row, point);
  return true;
}

std::uint32_t ConvertCoordinate(std::string_view field) {
  return DegreesToUnits(CAtof(field));
}

void RowReader::ClassifyOther() {
  if (file_.too_long()) {
    row_.kind = LineKind::kTooLong;
  } else if (line_ == 1) {
    row_.kind = LineKind::kVersion;
  } else {
    // The header is never a row, however plain it looks.
    CutFields(text_, row_.fields);
    row_.kind = LineKind::kHeader;
  }
}

}  // namespace korvel
