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
#include "exchange/formats/field_map.h"
#include "exchange/formats/format_table.h"
#include "exchange/import/import.h"
#include "platform/real_file_system.h"

namespace korvel::cli {
namespace {

struct Options {
  std::vector<std::string> inputs;
  std::string from;
  std::string version_line;
  std::string base;
  std::string dedupe = "exact";
  double near = 0;
  int type = 1;
  bool strict = false;
  std::vector<std::string> fields, values;
  std::uint64_t max_problems = 20;
  std::string out;
  CLI::Option* near_option = nullptr;
  CLI::Option* type_option = nullptr;
};

int UsageError(const std::string& message) {
  return ReportUsage("import", "import: " + message);
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
  std::string wrong;
  for (const std::string& field : options.fields) {
    if (!ParseFieldOption(field, import.fields, wrong)) return UsageError(wrong);
  }
  for (const std::string& values : options.values) {
    if (!ParseValuesOption(values, import.fields, wrong)) return UsageError(wrong);
  }
  // --max-problems 0 shows every problem, each repeat too.
  if (options.max_problems == 0) import.shown_per_kind = 0;
  const std::uint64_t shown = options.max_problems == 0 ? ~std::uint64_t{0} : options.max_problems;
  if (!import.version_line.empty() && VersionFault(import.version_line) != ParseFault::kNone) {
    return UsageError("--version-line \"" + import.version_line +
                      "\" is not a version line generate takes: it starts with V, has at least "
                      "11 characters, and characters 6 to 11 can be in a file name");
  }

  std::uint64_t problems = 0;
  RealFileSystem fs;
  const ImportResult result = RunImport(import, fs, [&](const std::string& line) {
    if (problems++ < shown) std::cerr << line << '\n';
  });
  if (problems > shown) {
    std::cerr << "korvel-cli: " << problems - shown << " more problems not shown\n";
  }
  std::cerr << std::flush;
  switch (result.outcome) {
    case ImportOutcome::kNoVersion:
    case ImportOutcome::kUsage:
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
  Problem failure;
  if (!WriteOutput(
          options.out,
          [&](std::ostream& out) {
            WriteImportText(result, out);
            return true;
          },
          failure)) {
    return ReportFailure(failure);
  }
  // The licence binds only what was written.
  if (result.used_osm) std::cerr << "korvel-cli: " << kOdblNote << '\n';
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
  sub->add_option("--field", options->fields,
                  "FIELD=NAME: the column, property, KML Data name, GPX extension element or "
                  "OpenStreetMap tag that gives FIELD (X, Y, TYPE, SPEED, DIRTYPE, DIRECTION, "
                  "SAMPLE or WKT), in place of the built-in names; X and Y in degrees, in "
                  "place of a GeoJSON, KML or GPX geometry's; repeatable")
      ->allow_extra_args(false);
  sub->add_option("--values", options->values,
                  "FIELD:FROM=TO,...: the device value of each source value of TYPE, SPEED, "
                  "DIRTYPE or DIRECTION; *=N for the rest and for cameras without the field, "
                  "else an unlisted value is an error for its row (and a field without a "
                  "source a usage error); repeatable")
      ->allow_extra_args(false);
  sub->add_option("--max-problems", options->max_problems,
                  "problems shown before the rest are counted (default 20; 0: all, with every "
                  "repeat)");
  sub->add_flag("--strict", options->strict,
                "write nothing when any row has an error or a warning (exit status 1)");
  sub->add_option("-o,--output", options->out, "output file; - or none: standard output");
  sub->footer(
      "Writes a camera text that generate reads: the version line, the header, one\n"
      "row per camera, CR LF lines; every coordinate as the text that stores the\n"
      "1/10000-degree unit nearest the source value. The sample rows of our own\n"
      "exports are left out (generate adds them).\n"
      "Fields by name, case, _, - and blanks aside, and a unit in parentheses:\n"
      "  X  x lon lng long longitude 경도    Y  y lat latitude 위도\n"
      "  TYPE  type    DIRTYPE  dirtype flag    SAMPLE  sample (true, yes, 1)\n"
      "  WKT  wkt wkt_geom geometry the_geom: POINT (lon lat), in place of X and Y\n"
      "  SPEED  speed maxspeed max_speed speed_limit speedlimit limit vmax 제한속도\n"
      "  DIRECTION  direction heading angle bearing azimuth course compass_direction\n"
      "             camera:direction (never a road's up/down direction)\n"
      "One note per input names the source of each field and the names not used.\n"
      "A direction read without DIRTYPE gives DIRTYPE 1. TYPE missing: --values\n"
      "TYPE:*=N, --type, else 1 with one warning per input.\n"
      "GeoJSON crs: EPSG:3857 converted, before the features; other non-WGS84 refused.\n"
      "Problems go to standard error as PATH:LINE:, PATH: feature N: or PATH: node\n"
      "ID:; after 3 of one kind in an input the rest are counted, and after\n"
      "--max-problems in all.\n"
      "An output file appears only when complete, written while its folder is locked.\n"
      "Exit status: 0 when every camera was imported; 1 when rows with errors were\n"
      "left out (the rest is written), with --strict and any error or warning\n"
      "(nothing written), when an input is not what its format says or no camera\n"
      "is left (nothing written); 2 for a usage error, no version line, or a file\n"
      "that cannot be read or written.");
  sub->callback([options, &exit_status] { exit_status = Run(*options); });
}

}  // namespace korvel::cli
