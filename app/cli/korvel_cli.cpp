// korvel-cli: the dialog's logic and its checks driven from the command line.
// One subcommand per file; this file only builds the command line and turns
// its errors into the usual one-line form.

#include <CLI/CLI.hpp>

#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "app/cli/cli_command.h"
#include "app/cli/usage.h"

namespace korvel::cli {

std::string FileProblem(const std::string& path, int error_number) {
  return path + ": " + std::strerror(error_number);
}

}  // namespace korvel::cli

int main(int argc, char** argv) {
  namespace cli = korvel::cli;
  CLI::App app("Korvel on the command line: generate K93 packages and check camera texts.",
               "korvel-cli");
  app.set_version_flag("-V,--version", "korvel-cli " KORVEL_VERSION);
  app.require_subcommand(1);
  app.footer("Run 'korvel-cli COMMAND --help' for a command's options and exit statuses.");
  int exit_status = cli::kExitOk;
  cli::RegisterGenerate(app, exit_status);
  cli::RegisterCheck(app, exit_status);
  cli::RegisterInspect(app, exit_status);
  cli::RegisterExport(app, exit_status);
  cli::RegisterDiff(app, exit_status);
  cli::RegisterUnpack(app, exit_status);
  try {
    if (auto status = cli::ParseCommandLine(app, argc, argv)) return *status;
  } catch (const std::exception& e) {
    std::cerr << "korvel-cli: " << e.what() << std::endl;
    return cli::kExitFailure;
  }
  return exit_status;
}
