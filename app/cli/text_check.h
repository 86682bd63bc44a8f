#pragma once
// The check of a camera text as both `check` and `generate` run it.

#include <cstdint>
#include <string>

#include "camdb/checker.h"
#include "camdb/problem.h"
#include "generate/pipeline.h"

namespace korvel::cli {

/// Checks the text at `path` (with `dash_is_input`, "-" is standard input).
/// False, with the failure (the system's fault), when it cannot be opened or
/// read to its end.
bool CheckTextFile(const std::string& path, bool dash_is_input, const CheckLimits& limits,
                   const CheckSink& sink, CheckSummary& summary, Problem& failure);

/// "PATH:LINE: error: MESSAGE", or "PATH: warning: MESSAGE" for the whole file.
std::string ProblemLine(const std::string& path, const CheckProblem& problem);

}  // namespace korvel::cli
