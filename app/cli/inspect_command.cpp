// korvel-cli inspect: what a database or K93 package holds and every
// structural fault in it, told apart by content.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/cli_command.h"
#include "app/cli/command_files.h"
#include "exchange/camera_input.h"
#include "exchange/inspect.h"

namespace korvel::cli {
namespace {

struct Options {
  std::vector<std::string> files;
  bool json = false;
};

int Run(const Options& options) {
  int status = kExitOk;
  bool first = true;
  for (const std::string& path : options.files) {
    InspectEntry entry{path, std::nullopt, ""};
    Bytes bytes;
    CameraInput input;
    std::string text_fault;
    Problem failure;
    const bool read = ReadInput(path, bytes, failure);
    if (!read) {
      status = std::max(status, ReportFailure(failure));
      entry.problem = failure.message;
    } else if (!DecodeCameraInput(bytes, input, text_fault)) {
      entry.problem = TextFaultText(path, text_fault);
      status = std::max(status, kExitFailure);
    } else {
      entry.file = std::move(input.file);
      entry.text_size = input.text_size;
      if (!InspectValid(entry)) status = std::max(status, kExitFailure);
    }
    // Each file's decoded tables go once its part is out: four 512 MiB
    // inputs never lie in memory together.
    if (options.json) {
      std::cout << InspectJsonEntry(entry, std::exchange(first, false)) << std::flush;
    } else if (read) {
      std::cout << InspectText(entry) << std::flush;
    }
  }
  if (options.json) std::cout << InspectJsonEnd(!first) << std::flush;
  return status;
}

}  // namespace

void RegisterInspect(CLI::App& app, int& exit_status) {
  CLI::App* sub = app.add_subcommand("inspect", "Show what a device database or K93 package holds");
  auto options = std::make_shared<Options>();
  sub->add_option("FILE", options->files,
                  "database, K93 package or camera text; - reads standard input")
      ->required();
  sub->add_flag("--json", options->json, "print everything as one JSON object");
  sub->footer(
      "Tells a K93 package from a database by its content. For a database: the\n"
      "version field, cells and points, the bounding box in degrees, the fullest\n"
      "cell against 65535, the points per TYPE and the size against the 8 MiB a\n"
      "package may carry; for a package also the three parts' lengths and offsets\n"
      "and the tags its name would carry. Lists every structural fault found.\n"
      "Exit status: 0 when every file is valid, 1 when faults were found or a file\n"
      "is not a camera database or K93 package, 2 for a usage error or a file that\n"
      "cannot be read.");
  sub->callback([options, &exit_status] { exit_status = Run(*options); });
}

}  // namespace korvel::cli
