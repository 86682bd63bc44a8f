// korvel-cli diff: the cameras two releases differ in.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>

#include "app/cli/camera_input.h"
#include "app/cli/cli_command.h"
#include "exchange/diff.h"

namespace korvel::cli {
namespace {

struct Options {
  std::string old_file;
  std::string new_file;
};

int Run(const Options& options) {
  if (options.old_file == "-" && options.new_file == "-") {
    std::cerr << "korvel-cli: standard input can be read only once; give '-' for one of OLD "
                 "and NEW\nTry 'korvel-cli diff --help' for more information."
              << std::endl;
    return kExitUsage;
  }
  std::string problem;
  InputFault fault;
  const auto old_db = ReadCameras(options.old_file, problem, fault);
  const auto new_db = old_db ? ReadCameras(options.new_file, problem, fault) : std::nullopt;
  if (!old_db || !new_db) {
    std::cerr << "korvel-cli: " << problem << std::endl;
    return kExitUsage;
  }
  const DiffCounts counts = DiffCameras(*old_db, *new_db, std::cout);
  std::cout << std::flush;
  return counts.same() ? kExitOk : kExitFailure;
}

}  // namespace

void RegisterDiff(CLI::App& app, int& exit_status) {
  CLI::App* sub = app.add_subcommand("diff", "Compare the cameras of two databases or packages");
  auto options = std::make_shared<Options>();
  sub->add_option("OLD", options->old_file, "database or K93 package; - reads standard input")
      ->required();
  sub->add_option("NEW", options->new_file, "database or K93 package; - reads standard input")
      ->required();
  sub->footer(
      "Matches cameras by their whole record; of the rest, a removed and an added\n"
      "camera at the same position are one changed camera. Prints one line per\n"
      "difference, \"+ ROW\", \"- ROW\" or \"~ OLD -> NEW\" with rows as export writes\n"
      "them, then both version fields, then\n"
      "\"N added, N removed, N changed, N unchanged\".\n"
      "Exit status: 0 when the cameras are the same, 1 when they differ, 2 on\n"
      "trouble (a usage error, a file that cannot be read or holds no cameras).");
  sub->callback([options, &exit_status] { exit_status = Run(*options); });
}

}  // namespace korvel::cli
