// korvel-cli unpack: a K93 package taken apart into the three files generate
// builds it from.

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "app/cli/cli_command.h"
#include "app/cli/command_files.h"
#include "exchange/unpack.h"
#include "platform/path.h"
#include "platform/real_file_system.h"

namespace korvel::cli {
namespace {

struct Options {
  std::string package;
  std::string dir = ".";
  bool force = false;
};

int Run(const Options& options) {
  Bytes bytes;
  std::string problem;
  if (!ReadInput(options.package, bytes, problem)) {
    std::cerr << "korvel-cli: " << problem << std::endl;
    return kExitUsage;
  }
  std::error_code error;
  std::filesystem::create_directories(options.dir, error);
  RealFileSystem fs;
  const UnpackResult result =
      Unpack(fs, bytes, NameOf(options.package), options.dir, options.force, [&] {
        std::cerr << "korvel-cli: waiting for another run to let go of " << options.dir
                  << std::endl;
      });
  switch (result.status) {
    case UnpackStatus::kOk:
      for (const std::string& path : result.written) std::cout << "wrote " << path << '\n';
      std::cout << std::flush;
      return kExitOk;
    case UnpackStatus::kNotPackage:
      std::cerr << "korvel-cli: " << options.package << ": " << result.why << std::endl;
      return kExitFailure;
    case UnpackStatus::kExists:
      std::cerr << "korvel-cli: " << result.path << " exists; --force replaces it" << std::endl;
      return kExitFailure;
    case UnpackStatus::kLockFailed:
      std::cerr << "korvel-cli: " << LockProblem(result.error) << std::endl;
      return kExitUsage;
    case UnpackStatus::kWriteFailed:
      std::cerr << "korvel-cli: " << result.error.path << ": " << result.error.description
                << std::endl;
      return kExitUsage;
  }
  return kExitUsage;
}

}  // namespace

void RegisterUnpack(CLI::App& app, int& exit_status) {
  CLI::App* sub = app.add_subcommand(
      "unpack", "Take a K93 package apart into its firmware, voice image and database");
  auto options = std::make_shared<Options>();
  sub->add_option("PACKAGE", options->package, "K93 package")->required();
  sub->add_option("-o,--output", options->dir,
                  "folder for the three files, made when missing (default: .)");
  sub->add_flag("--force", options->force, "replace files that exist");
  sub->footer(
      "Checks the package's layout first. Writes K93_FW_v<F>.bin, K93_Voice_v<V>.bin\n"
      "and TempDb.bin, F and V taken from a package named K93_F<F>_V<V>_D<D>.bin\n"
      "(firmware.bin and voice.bin for other names), so the parts go straight back\n"
      "into generate. The three files take their names only once all are complete,\n"
      "while the folder is locked against generate and other runs.\n"
      "Exit status: 0 when written, 1 when the file is not a K93 package or a file\n"
      "exists (without --force), 2 for a usage error or a file that cannot be read\n"
      "or written.");
  sub->callback([options, &exit_status] { exit_status = Run(*options); });
}

}  // namespace korvel::cli
