#pragma once
// The check of a camera text as both `check` and `generate` run it.

#include <cstdint>
#include <string>

#include "camdb/checker.h"
#include "camdb/gps_point.h"
#include "generate/db_encoder.h"
#include "generate/package.h"
#include "generate/pipeline.h"

namespace korvel::cli {

/// The checker's limits as Generate sets them: the rows it appends and the
/// room the database has in a package.
inline CheckLimits GenerateLimits() {
  CheckLimits limits;
  limits.appended_rows[0] = kSampleRow1;
  limits.appended_rows[1] = kSampleRow2;
  limits.max_points_per_cell = kMaxPointsPerCell;
  limits.max_database_bytes = kImageBufferSize;
  limits.database_header_bytes = kDbHeaderSize;
  limits.cell_entry_bytes = kCellEntrySize;
  limits.point_bytes = kGpsPointSize;
  limits.cell_too_large_status = gen_status::kCellTooLarge;
  limits.too_large_status = gen_status::kDbTooLarge;
  return limits;
}

/// Checks the text at `path` (with `dash_is_input`, "-" is standard input).
/// False, with "PATH: REASON" in `problem`, when it cannot be opened or read
/// to its end.
bool CheckTextFile(const std::string& path, bool dash_is_input, const CheckSink& sink,
                   CheckSummary& summary, std::string& problem);

/// "PATH:LINE: error: MESSAGE", or "PATH: warning: MESSAGE" for the whole file.
std::string ProblemLine(const std::string& path, const CheckProblem& problem);

}  // namespace korvel::cli
