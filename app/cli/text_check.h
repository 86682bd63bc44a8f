#pragma once
// The check of a camera text as both `check` and `generate` run it.

#include <cstdint>
#include <string>

#include "camdb/checker.h"

namespace korvel::cli {

/// The checker's limits as Generate sets them: the rows it appends and the
/// room the database has in a package.
CheckLimits GenerateLimits();

/// Checks the text at `path` ("-": standard input). False, with "PATH: REASON"
/// in `problem`, when it cannot be opened or read to its end.
bool CheckTextFile(const std::string& path, const CheckSink& sink, CheckSummary& summary,
                   std::string& problem);

/// "PATH:LINE: error: MESSAGE", or "PATH: warning: MESSAGE" for the whole file.
std::string ProblemLine(const std::string& path, const CheckProblem& problem);

}  // namespace korvel::cli
