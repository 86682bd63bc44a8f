// The subcommands of korvel-cli. Each lives in a file of its own and adds
// itself to the program's CLI::App through one registration function.

#pragma once

#include <string>

#include "platform/file_system.h"

namespace CLI {
class App;
}

namespace korvel::cli {

inline constexpr int kExitOk = 0, kExitFailure = 1, kExitUsage = 2;

/// Adds the subcommand to `app`; its callback leaves its exit status in `exit_status`.
void RegisterGenerate(CLI::App& app, int& exit_status);
void RegisterCheck(CLI::App& app, int& exit_status);
void RegisterInspect(CLI::App& app, int& exit_status);
void RegisterExport(CLI::App& app, int& exit_status);
void RegisterDiff(CLI::App& app, int& exit_status);
void RegisterUnpack(CLI::App& app, int& exit_status);
void RegisterImport(CLI::App& app, int& exit_status);

/// "PATH: REASON" for a file that cannot be used, REASON as strerror gives it.
std::string FileProblem(const std::string& path, int error_number);

/// "cannot lock folder DIR: REASON" for the lock file `error` names.
std::string LockProblem(const FileError& error);

}  // namespace korvel::cli
