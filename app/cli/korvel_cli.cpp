// korvel-cli: the dialog's logic and its checks driven from the command line.
// One subcommand per file; this file only builds the command line and turns
// its errors into the usual one-line form.

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "app/cli/cli_command.h"
#include "platform/path.h"

namespace korvel::cli {

std::string FileProblem(const std::string& path, int error_number) {
  return path + ": " + std::strerror(error_number);
}

std::string LockProblem(const FileError& error) {
  const std::string folder = FolderOf(error.path);
  return "cannot lock folder " + (folder.empty() ? std::string(".") : folder) + ": " +
         error.description;
}

int FinishOutput(int status) {
  errno = 0;
  std::cout.flush();
  int code = errno;
  if (std::cout && std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  if (code == 0) {
    // The failed write was earlier, and its errno is gone: bytes it left in
    // the buffer are tried once more, for the system's reason.
    std::clearerr(stdout);
    errno = 0;
    std::fflush(stdout);
    code = errno;
  }
  std::cerr << "korvel-cli: standard output: " << std::strerror(code != 0 ? code : EIO)
            << std::endl;
  return kExitUsage;
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
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help and --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // One line saying what is wrong, then where to look.
    std::string where = "korvel-cli", what = e.what();
    for (const CLI::App* sub : app.get_subcommands()) where += " " + sub->get_name();
    if (app.get_subcommands().empty() && argc > 1 && argv[1][0] != '-') {
      what = std::string("unknown command '") + argv[1] + "'";
    }
    std::cerr << "korvel-cli: " << what << "\nTry '" << where << " --help' for more information."
              << std::endl;
    return cli::kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "korvel-cli: " << e.what() << std::endl;
    return cli::kExitFailure;
  }
  return cli::FinishOutput(exit_status);
}
