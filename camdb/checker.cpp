#include "camdb/checker.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "camdb/camera_rules.h"
#include "camdb/gps_point.h"
#include "camdb/parser.h"
#include "camdb/row_reader.h"
#include "platform/c_number.h"
#include "platform/memory.h"

namespace korvel {
namespace {

constexpr const char* kFieldNames[kRowFields] = {"X", "Y", "TYPE", "SPEED", "DIRTYPE", "DIRECTION"};

constexpr const double* kDegreeLimits = kMaxDegrees;
constexpr const std::uint32_t* kUnitLimits = kMaxUnits;

bool StartsNegative(std::string_view field) {
  std::size_t i = 0;
  while (i < field.size() && IsCSpace(field[i])) ++i;
  return i < field.size() && field[i] == '-';
}

/// True when the whole field is one plain decimal number, blanks around it
/// allowed: what atof or atoi reads from it is then exactly what it says.
/// Coordinates may have a point and an exponent; the other fields are integers.
bool IsPlainNumber(std::string_view field, bool coordinate) {
  std::size_t i = 0;
  const std::size_t n = field.size();
  while (i < n && IsCSpace(field[i])) ++i;
  if (i < n && (field[i] == '+' || field[i] == '-')) ++i;
  std::size_t digits = 0;
  for (; i < n && IsDigit(field[i]); ++i) ++digits;
  if (coordinate && i < n && field[i] == '.') {
    for (++i; i < n && IsDigit(field[i]); ++i) ++digits;
  }
  if (digits == 0) return false;
  if (coordinate && i < n && (field[i] == 'e' || field[i] == 'E')) {
    ++i;
    if (i < n && (field[i] == '+' || field[i] == '-')) ++i;
    const std::size_t start = i;
    while (i < n && IsDigit(field[i])) ++i;
    if (i == start) return false;
  }
  while (i < n && IsCSpace(field[i])) ++i;
  return i == n;
}

/// The text in double quotes, unless it already is in them.
std::string Quoted(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return std::string(text);
  std::string quoted(1, '"');
  quoted.append(text);
  quoted += '"';
  return quoted;
}

/// Why a field that is not a plain number reads as something else.
std::string NumberProblem(std::string_view name, std::string_view field, const std::string& read) {
  std::size_t i = 0;
  while (i < field.size() && IsCSpace(field[i])) ++i;
  std::size_t first = i;
  if (first < field.size() && (field[first] == '+' || field[first] == '-')) ++first;
  const bool starts_number =
      first < field.size() &&
      (IsDigit(field[first]) ||
       (field[first] == '.' && first + 1 < field.size() && IsDigit(field[first + 1])));
  const std::string head = std::string(name) + " " + Quoted(field);
  if (i < field.size() && (field[i] == '"' || field[i] == '\'')) {
    return head + " is in quotes: read as " + read;
  }
  if (!starts_number) return head + " is not a number: read as " + read;
  if (field.find(',') != std::string_view::npos) {
    return head + " has a decimal comma: read as " + read;
  }
  return head + " has text after the number: read as " + read;
}

/// Where the dialog would stop: its status text, quoted.
std::string Shows(const std::string& status) {
  return std::string(kDialogShows) + status + "\")";
}

std::string Shows(ParseFault fault, std::uint64_t line) {
  return Shows(ParseStatusText({fault, line}));
}

std::string Plural(std::uint64_t count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

class Checker {
 public:
  Checker(const CheckLimits& limits, const CheckSink& sink) : limits_(limits), sink_(sink) {}

  CheckSummary Run(TextReader& file) {
    RowReader rows(file);
    while (rows.Next()) {
      line_ = rows.line();
      const DataRow& row = rows.row();
      switch (row.kind) {
        case LineKind::kTooLong:
          FlushEmpty(false);
          Error(line_, "line longer than " + std::to_string(TextReader::kMaxLineLength) + " bytes" +
                           Shows(ParseFault::kBadLine, line_));
          break;
        case LineKind::kVersion:
          if (!CheckVersion(rows.text())) return summary_;
          break;
        case LineKind::kHeader:
          CheckHeader(row.fields);
          break;
        case LineKind::kEmpty:
          if (empty_run_ == 0) empty_first_ = line_;
          ++empty_run_;
          break;
        case LineKind::kPlainRow:
          // Nearly every row: read at once, nothing but the ranges left to check.
          FlushEmpty(false);
          CheckPlainRow(row.plain);
          break;
        case LineKind::kFieldCount:
        case LineKind::kCRow:
          FlushEmpty(false);
          CheckRow(row.fields);
          break;
      }
    }
    if (rows.failed()) {
      FlushEmpty(false);
      Error(line_ + 1,
            "the file cannot be read from here on" + Shows(ParseFault::kReadFailed, line_ + 1));
      return summary_;
    }
    FlushEmpty(true);
    if (line_ == 0) {
      Error(1, "the file is empty" + Shows(ParseFault::kVersionMissing, 1));
    } else if (line_ == 1) {
      Error(2, "the file ends before the header line" + Shows(ParseFault::kXMissing, 2));
    }
    for (std::string_view row : limits_.appended_rows) {
      if (GPS_POINT point; PointOfRow(row, point)) AddPoint(point.id);
    }
    CheckCells();
    if (line_ >= 2 && summary_.rows == 0 && summary_.errors == 0) {
      Warning(0, "the text holds no camera rows: the database would hold only the two sample rows");
    }
    return summary_;
  }

 private:
  void Report(std::uint64_t line, CheckKind kind, std::string message) {
    ++(kind == CheckKind::kError ? summary_.errors : summary_.warnings);
    sink_(CheckProblem{line, kind, std::move(message)});
  }
  void Error(std::uint64_t line, std::string message) {
    Report(line, CheckKind::kError, std::move(message));
  }
  void Warning(std::uint64_t line, std::string message) {
    Report(line, CheckKind::kWarning, std::move(message));
  }

  /// Returns false when the rest of the text cannot be read as lines at all.
  bool CheckVersion(std::string_view text) {
    const ParseFault fault = VersionFault(text);
    if (fault == ParseFault::kNone) return true;
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
      Error(1, "the file is UTF-16 text; save it as ANSI or UTF-8 without a byte-order mark" +
                   Shows(fault, 1));
      return false;
    }
    std::string why;
    if (text.starts_with("\xEF\xBB\xBF")) {
      why = "the file starts with a UTF-8 byte-order mark; save it without one";
    } else if (fault == ParseFault::kVersionMissing) {
      why = "the first line must be the version line, starting with V";
    } else if (fault == ParseFault::kVersionTooShort) {
      why = "version line " + Quoted(text) + " has " + std::to_string(text.size()) +
            " characters, at least " + std::to_string(kMinVersionLength) + " expected";
    } else {
      const std::size_t at = FindBadVersionChar(text);
      const auto c = static_cast<unsigned char>(text[at]);
      why = "version line character " + std::to_string(at + 1) + " (" +
            (c < 0x20 || c == 0x7F ? "control character " + std::to_string(c)
                                   : Quoted(text.substr(at, 1))) +
            ") cannot be in a file name; characters 6 to 11 name the output files";
    }
    Error(1, why + Shows(fault, 1));
    return true;
  }

  void CheckHeader(const RowFields& fields) {
    const std::size_t missing = MissingHeaderField(std::span(fields.field.data(), fields.kept()));
    if (missing == std::string_view::npos) return;
    const std::string expected = Quoted(kHeaderNames[missing]);
    std::string why = fields.count <= missing
                          ? "the header line has no field " + std::to_string(missing + 1)
                          : "header field " + std::to_string(missing + 1) + " is " +
                                Quoted(fields.field[missing]);
    Error(2, why + ", " + expected + " expected; the header starts X, Y, TYPE" +
                 Shows(kHeaderMissing[missing], 2));
  }

  /// Reports the run of empty rows before this line, or at the end of the file.
  void FlushEmpty(bool at_end) {
    if (empty_run_ == 0) return;
    if (at_end) {
      Error(empty_first_, Plural(empty_run_, "empty line") +
                              " at the end of the file; only one line end may follow the last row" +
                              Shows(ParseFault::kEmptyLine, empty_first_));
    } else {
      for (std::uint64_t i = 0; i < empty_run_; ++i) {
        const std::uint64_t at = empty_first_ + i;
        Error(at, "empty row" + Shows(ParseFault::kEmptyLine, at));
      }
    }
    empty_run_ = 0;
  }

  void CheckRow(const RowFields& fields) {
    if (fields.count != kRowFields) {
      Error(line_, std::to_string(fields.count) + " field" + (fields.count == 1 ? "" : "s") + ", " +
                       std::to_string(kRowFields) + " TAB-separated fields expected" +
                       Shows(ParseFault::kBadLine, line_));
      return;
    }
    const auto& field = fields.field;
    ++summary_.rows;
    std::uint32_t units[2];
    for (int i = 0; i < 2; ++i) units[i] = ConvertCoordinate(field[i]);
    AddPoint(units);
    // The common row is a plain number within range: the stored units tell
    // that without reading the text a second time.
    double degrees[2] = {};
    for (int i = 0; i < 2; ++i) {
      const bool plain = IsPlainNumber(field[i], true);
      if (plain && units[i] <= kUnitLimits[i] && !StartsNegative(field[i])) continue;
      degrees[i] = CAtof(field[i]);
      if (!plain) Warning(line_, NumberProblem(kFieldNames[i], field[i], NumberText(degrees[i])));
      CheckCoordinate(i, degrees[i], units[i], CAtof(field[0]));
    }
    for (std::size_t i = 2; i < kRowFields; ++i) {
      const int value = CAtoi(field[i]);
      if (!IsPlainNumber(field[i], false)) {
        Warning(line_, NumberProblem(kFieldNames[i], field[i], std::to_string(value)));
      }
      CheckIntRange(i, value);
    }
  }

  void CheckPlainRow(const PlainRow& plain) {
    ++summary_.rows;
    const double degrees[2] = {plain.x, plain.y};
    const std::uint32_t units[2] = {DegreesToUnits(plain.x), DegreesToUnits(plain.y)};
    AddPoint(units);
    for (int i = 0; i < 2; ++i) {
      if (units[i] > kUnitLimits[i] || degrees[i] < 0) {
        CheckCoordinate(i, degrees[i], units[i], plain.x);
      }
    }
    for (std::size_t i = 2; i < kRowFields; ++i) CheckIntRange(i, plain.values[i - 2]);
  }

  /// TYPE, SPEED and DIRTYPE are bytes, DIRECTION 16 bits: the low bits are kept.
  void CheckIntRange(std::size_t i, int value) {
    const bool direction = i == kRowFields - 1;
    const int top = FieldTop(static_cast<Field>(i - 2));
    if (value >= 0 && value <= top) return;
    const unsigned stored =
        direction ? static_cast<std::uint16_t>(value) : static_cast<std::uint8_t>(value);
    Warning(line_, std::string(kFieldNames[i]) + " " + std::to_string(value) + " is outside 0 to " +
                       std::to_string(top) + ": stored as " + std::to_string(stored));
  }

  /// `x_degrees` is the row's longitude, to tell swapped columns.
  void CheckCoordinate(int i, double degrees, std::uint32_t units, double x_degrees) {
    const double limit = kDegreeLimits[i];
    const auto head = [&] {
      return std::string(i == 0 ? "longitude " : "latitude ") + kFieldNames[i] + " " +
             NumberText(degrees);
    };
    if (!(std::fabs(degrees) <= limit)) {
      // A latitude in X and a longitude in Y: the columns are the wrong way round.
      const bool swapped = i == 1 && std::fabs(x_degrees) <= 90 && std::fabs(degrees) <= 180;
      Warning(line_, head() + " is outside -" + NumberText(limit) + " to " + NumberText(limit) +
                         (swapped ? "; the X and Y columns look swapped" : ""));
    } else if (degrees < 0) {
      Warning(line_, head() + " is negative: coordinates are stored without a sign, as " +
                         std::to_string(units));
    }
  }

  /// Megabytes for a large text: in huge pages, like the generator's points.
  using CellIds = std::vector<std::uint32_t, HugePageAllocator<std::uint32_t>>;

  void AddPoint(std::uint32_t id) { cells_.push_back(id); }
  /// A camera row's point.
  void AddPoint(const std::uint32_t (&units)[2]) {
    if (units[0] == 0 && units[1] == 0) ++summary_.rows_at_origin;
    AddPoint(CellId(units[0], units[1]));
  }

  /// Sorts the cell ids (two 16-bit radix passes) and walks the runs.
  void CheckCells() {
    CellIds sorted(cells_.size());
    for (int shift : {0, 16}) {
      std::vector<std::size_t> start(0x10001, 0);
      for (std::uint32_t id : cells_) ++start[((id >> shift) & 0xFFFF) + 1];
      for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
      for (std::uint32_t id : cells_) sorted[start[(id >> shift) & 0xFFFF]++] = id;
      cells_.swap(sorted);
    }
    CellIds().swap(sorted);
    std::uint64_t distinct = 0;
    for (std::size_t i = 0; i < cells_.size();) {
      std::size_t j = i;
      while (j < cells_.size() && cells_[j] == cells_[i]) ++j;
      ++distinct;
      if (j - i > limits_.max_points_per_cell) {
        const std::uint32_t id = cells_[i];
        Error(0, "grid cell " + std::to_string(id) + " (latitude " +
                     NumberText((id >> 16) * kCellDegrees) + ", longitude " +
                     NumberText((id & 0xFFFF) * kCellDegrees) + ") holds " + std::to_string(j - i) +
                     " points with the sample rows, at most " +
                     std::to_string(limits_.max_points_per_cell) + " fit" +
                     Shows(std::string(limits_.cell_too_large_status)));
      }
      i = j;
    }
    const std::uint64_t points = cells_.size();
    CellIds().swap(cells_);
    const std::uint64_t bytes = limits_.database_size(distinct, points);
    if (bytes > limits_.max_database_bytes) {
      Warning(0, "the database takes " + std::to_string(bytes) + " bytes, over the package's " +
                     std::to_string(limits_.max_database_bytes) +
                     "-byte room for it: only the per-model files can be made" +
                     Shows(std::string(limits_.too_large_status)));
    }
  }

  const CheckLimits& limits_;
  const CheckSink& sink_;
  CheckSummary summary_;
  std::uint64_t line_ = 0;  ///< one-based number of the line just read
  std::uint64_t empty_first_ = 0;
  std::uint64_t empty_run_ = 0;
  CellIds cells_;  ///< the cell id of every stored point
};

}  // namespace

CheckSummary CheckDbText(TextReader& file, const CheckLimits& limits, const CheckSink& sink) {
  return Checker(limits, sink).Run(file);
}

std::string SummaryText(const CheckSummary& summary) {
  return Plural(summary.rows, "row") + ", " + Plural(summary.errors, "error") + ", " +
         Plural(summary.warnings, "warning");
}

}  // namespace korvel
