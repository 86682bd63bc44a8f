#pragma once
// The checker: reads a camera database text exactly as the parser reads it,
// but goes on after a fault and reports every problem it finds, with what
// the parser would stop on (errors) and what it takes but stores other than
// the text says (warnings).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/text_file.h"

namespace korvel {

enum class CheckKind { kError, kWarning };

/// One problem. `line` is one-based over the file; 0 means the whole file.
struct CheckProblem {
  std::uint64_t line = 0;
  CheckKind kind = CheckKind::kError;
  std::string message;
};

/// An error's message ends with this, the dialog's status text and `")`.
inline constexpr std::string_view kDialogShows = " (the dialog shows \"";

/// Receives each problem as soon as it is found, in line order (whole-file
/// problems last).
using CheckSink = std::function<void(const CheckProblem&)>;

/// What Generate adds to the text and what the database it writes may hold.
struct CheckLimits {
  std::string_view appended_rows[2];  ///< the sample rows appended to every copy
  std::uint32_t max_points_per_cell = 0;
  std::uint64_t max_database_bytes = 0;  ///< room for the database in the package
  /// Bytes of the database written for that many cells and points.
  std::uint64_t (*database_size)(std::uint64_t cells, std::uint64_t points) = nullptr;
  std::string_view cell_too_large_status;  ///< Generate's status for a full cell
  std::string_view too_large_status;       ///< its status for a database over the room
};

/// The per-file summary.
struct CheckSummary {
  std::uint64_t rows = 0;  ///< camera rows of the text (six fields), sample rows not counted
  std::uint64_t errors = 0;
  std::uint64_t warnings = 0;
  std::uint64_t rows_at_origin = 0;  ///< camera rows stored at 0,0, whatever the text says
};

/// Checks the text `file` reads, from its first line. Besides one line it
/// keeps four bytes per camera row (its cell id, for the cell limit and the
/// database size), eight while they are sorted at the end; Generate
/// holds several times that for the same text.
CheckSummary CheckDbText(TextReader& file, const CheckLimits& limits, const CheckSink& sink);

/// "N rows, E errors, W warnings", each count with its right plural.
std::string SummaryText(const CheckSummary& summary);

}  // namespace korvel
