// korvel-cli import: cameras from other camera texts, CSV, GeoJSON, GPX, KML
// and OpenStreetMap as one camera text that generate reads.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/cli_command.h"
#include "app/cli/command_files.h"
#include "app/cli/standard_input.h"
#include "camdb/parser.h"
#include "exchange/formats/format_table.h"
#include "exchange/import/import.h"
#include "platform/real_file_system.h"

namespace korvel::cli {
namespace {

/// Problems shown before the rest are only counted, as generate shows them.
constexpr std::uint64_t kShownProblems = 20;

struct Options {
  std::vector<std::string> inputs;
  std::string from;
  std::string version_line;
  std::string base;
  std::string dedupe = "exact";
  double near = 0;
  int type = 1;
  bool strict = false;
  std::string out;
  CLI::Option* near_option = nullptr;
  CLI::Option* type_option = nullptr;
};

int UsageError(const std::string& message) {
  std::cerr << "korvel-cli: import: " << message
            << "\nTry 'korvel-cli import --help' for more information." << std::endl;
  return kExitUsage;
}

int Run(const Options& options) {
  ImportOptions import;
  import.inputs = options.inputs;
  if (!options.from.empty()) import.from = ParseImportFormat(options.from);
  import.standard_input = StandardInputFile;
  import.version_line = options.version_line;
  import.base = options.base;
  import.dedupe = options.dedupe == "none"   ? Dedupe::kNone
                  : options.dedupe == "near" ? Dedupe::kNear
                                             : Dedupe::kExact;
  if (options.near_option->count() != 0) import.near_metres = options.near;
  if (options.type_option->count() != 0) import.type = options.type;
  import.strict = options.strict;
  if (const std::string problem = VersionControlProblem("--version-line", import.version_line);
      !problem.empty()) {
    return UsageError(problem + ": a version line is one line of printable text");
  }
  if (!import.version_line.empty() && VersionFault(import.version_line) != ParseFault::kNone) {
    return UsageError("--version-line \"" + import.version_line +
                      "\" is not a version line generate takes: it starts with V, has at least "
                      "11 characters, and characters 6 to 11 can be in a file name");
  }

  std::uint64_t problems = 0;
  RealFileSystem fs;
  const ImportResult result = RunImport(import, fs, [&](const std::string& line) {
    if (problems++ < kShownProblems) std::cerr << line << '\n';
  });
  if (problems > kShownProblems) {
    std::cerr << "korvel-cli: " << problems - kShownProblems << " more problems not shown\n";
  }
  if (result.used_osm) std::cerr << "korvel-cli: " << kOdblNote << '\n';
  std::cerr << std::flush;
  switch (result.outcome) {
    case ImportOutcome::kNoVersion:
      return UsageError(result.failure.message);
    case ImportOutcome::kUnreadable:
    case ImportOutcome::kMalformed:
      return ReportFailure(result.failure, "; nothing written");
    case ImportOutcome::kNoCameras:
      return ReportFailure(result.failure, "; nothing written");
    case ImportOutcome::kStrictRefused:
      std::cerr << "korvel-cli: import: " << result.errors << " errors and " << result.warnings
                << " warnings with --strict; nothing written" << std::endl;
      return kExitFailure;
    case ImportOutcome::kDone:
    case ImportOutcome::kRowsSkipped:
      break;
  }
  std::string problem;
  if (!WriteOutput(
          options.out,
          [&](std::ostream& out) {
            WriteImportText(result, out);
            return true;
          },
          problem)) {
    std::cerr << "korvel-cli: " << problem << std::endl;
    return kExitUsage;
  }
  std::cerr << "korvel-cli: import: " << result.cameras.size()
            << (result.cameras.size() == 1 ? " camera" : " cameras") << " written; "
            << result.errors << " errors, " << result.warnings << " warnings, " << result.notes
            << " notes; version line from " << result.version_from << std::endl;
  return result.outcome == ImportOutcome::kDone ? kExitOk : kExitFailure;
}

}  // namespace

void RegisterImport(CLI::App& app, int& exit_status) {
  CLI::App* sub = app.add_subcommand(
      "import", "Make a camera text from CSV, GeoJSON, GPX, KML, OpenStreetMap or camera texts");
  auto options = std::make_shared<Options>();
  sub->add_option("INPUT", options->inputs, "files to import, in order; - reads standard input")
      ->required();
  sub->add_option("--from", options->from,
                  "the inputs' format: " + FormatNameList(false) +
                      " (else told from content, then the name)")
      ->check(CLI::IsMember(FormatNames(false)));
  sub->add_option("--version-line", options->version_line,
                  "the text's version line (else from --base, a camera text or our own export)");
  sub->add_option("--base", options->base, "camera text whose rows come first, unchanged");
  sub->add_option("--dedupe", options->dedupe, "exact (default), near or none")
      ->check(CLI::IsMember({"none", "exact", "near"}));
  options->near_option =
      sub->add_option("--near", options->near,
                      "metres within which --dedupe near takes two cameras as one, 0.1 to 10000 "
                      "(default 30, 15 beside a camera without direction)")
          ->check(CLI::Validator(NearProblem, "METRES"));
  options->type_option =
      sub->add_option("--type", options->type, "TYPE of cameras without one (default 1)")
          ->check(CLI::Range(0, 255));
  sub->add_flag("--strict", options->strict,
                "write nothing when any row has an error or a warning (exit status 1)");
  sub->add_option("-o,--output", options->out, "output file; - or none: standard output");
  sub->footer(
      "Writes a camera text that generate reads: the version line, the header, one\n"
      "row per camera, CR LF lines; every coordinate as the text that stores the\n"
      "1/10000-degree unit nearest the source value. The sample rows of our own\n"
      "exports are left out (generate adds them). Problems go to standard error as\n"
      "PATH:LINE:, PATH: feature N: or PATH: node ID:, the first 20, then a count.\n"
      "An output file appears only when complete, written while its folder is locked.\n"
      "Exit status: 0 when every camera was imported; 1 when rows with errors were\n"
      "left out (the rest is written), with --strict and any error or warning\n"
      "(nothing written), when an input is not what its format says or no camera\n"
      "is left (nothing written); 2 for a usage error, no version line, or a file\n"
      "that cannot be read or written.");
  sub->callback([options, &exit_status] { exit_status = Run(*options); });
}

}  // namespace korvel::cli
