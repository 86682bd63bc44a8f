// korvel-cli check: every problem of camera texts, one per line, in the form
// compilers use, so editors and CI logs link to the line.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/cli_command.h"
#include "app/cli/text_check.h"

namespace korvel::cli {
namespace {

struct Options {
  std::vector<std::string> files;
  bool strict = false;
};

int Run(const Options& options) {
  int status = kExitOk;
  for (const std::string& path : options.files) {
    CheckSummary summary;
    Problem failure;
    const bool read = CheckTextFile(
        path, true, GenerateLimits(),
        [&](const CheckProblem& found) { std::cout << ProblemLine(path, found) << '\n'; }, summary,
        failure);
    if (!read) {
      std::cout << std::flush;
      status = std::max(status, ReportFailure(failure));
      continue;
    }
    std::cout << path << ": " << SummaryText(summary) << std::endl;
    if (summary.errors != 0 || (options.strict && summary.warnings != 0)) {
      status = std::max(status, kExitFailure);
    }
  }
  return status;
}

}  // namespace

void RegisterCheck(CLI::App& app, int& exit_status) {
  CLI::App* sub = app.add_subcommand("check", "Check camera database texts as Generate reads them");
  auto options = std::make_shared<Options>();
  sub->add_option("FILE", options->files, "camera database text; - reads standard input")
      ->required();
  sub->add_flag("--strict", options->strict, "count warnings as failures (exit status 1)");
  sub->footer(
      "Reads each text as \"Generate File\" reads it and lists every problem on\n"
      "standard output as \"PATH:LINE: error: MESSAGE\" or \"PATH:LINE: warning: MESSAGE\"\n"
      "(\"PATH: error: MESSAGE\" for the whole file), then \"PATH: N rows, E errors,\n"
      "W warnings\". Errors make Generate fail; warnings are rows it takes but stores\n"
      "other than the text says.\n"
      "Exit status: 0 without errors, 1 with errors (or warnings with --strict),\n"
      "2 for a usage error or a file that cannot be read.");
  sub->callback([options, &exit_status] { exit_status = Run(*options); });
}

}  // namespace korvel::cli
