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

/// The failure `result` tells of.
Problem UnpackFailure(const Options& options, const UnpackResult& result) {
  switch (result.status) {
    case UnpackStatus::kOk:
      break;
    case UnpackStatus::kNotPackage:
      return FileProblem(options.package, result.why);
    case UnpackStatus::kExists:
      return FileProblem("", result.path + " exists; --force replaces it");
    case UnpackStatus::kLockFailed:
      return LockProblem(result.error);
    case UnpackStatus::kWriteFailed:
      break;
  }
  return FileProblem(result.error.path, result.error.description, Fault::kSystem);
}

int Run(const Options& options) {
  Bytes bytes;
  Problem failure;
  if (!ReadInput(options.package, bytes, failure)) return ReportFailure(failure);
  std::error_code error;
  std::filesystem::create_directories(options.dir, error);
  RealFileSystem fs;
  const UnpackResult result =
      Unpack(fs, bytes, NameOf(options.package), options.dir, options.force, [&] {
        std::cerr << "korvel-cli: waiting for another run to let go of " << options.dir
                  << std::endl;
      });
  if (result.status != UnpackStatus::kOk) return ReportFailure(UnpackFailure(options, result));
  for (const std::string& path : result.written) std::cout << "wrote " << path << '\n';
  std::cout << std::flush;
  return kExitOk;
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
