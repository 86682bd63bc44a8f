// Usage errors in the words people know from other command-line programs,
// shared by korvel-cli and korvel-make-samples.

#pragma once

#include <optional>

namespace CLI {
class App;
class ParseError;
}  // namespace CLI

namespace korvel::cli {

/// Parses the command line with `app`, whose callbacks run the command. When
/// it is refused, prints what is wrong in the words people know (an unknown
/// command or option with the nearest known one, a value given to a flag, an
/// option given twice, a missing value) and where to look for help, and
/// returns the usage exit status 2; returns 0 after --help or --version, and
/// nullopt when the command ran.
std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv);

}  // namespace korvel::cli
