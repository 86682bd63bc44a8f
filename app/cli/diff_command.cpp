// korvel-cli diff: the cameras two releases differ in.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>

#include "app/cli/cli_command.h"
#include "app/cli/command_files.h"
#include "exchange/diff.h"
#include "exchange/export.h"
#include "exchange/map/camera_map.h"
#include "exchange/map/xml_text.h"

namespace korvel::cli {
namespace {

struct Options {
  std::string old_file;
  std::string new_file;
  MapOutput map;
};

/// The map of the differences; kExitOk or the failure's status (printed).
int DrawDiff(const Options& options, const DecodedDb& old_db, const CameraDetails& old_details,
             const DecodedDb& new_db, const CameraDetails& new_details) {
  const std::string old_name = map::FileNameText(options.old_file),
                    new_name = map::FileNameText(options.new_file);
  map::CameraMap camera_map;
  camera_map.title = old_name + " \u2192 " + new_name;
  camera_map.versions = {"old: " + old_name + ": version " + VersionText(old_db.version),
                         "new: " + new_name + ": version " + VersionText(new_db.version)};
  std::vector<MapReport> reports = {{options.old_file, {}}, {options.new_file, {}}};
  map::AddDiff(old_db, old_details.lines, new_db, new_details.lines, camera_map,
               reports[0].left_out, reports[1].left_out);
  camera_map.inputs = {MapInputOf(options.old_file, old_db, 0),
                       MapInputOf(options.new_file, new_db, camera_map.cameras.size())};
  return WriteMap(options.map, camera_map, reports);
}

int Run(Options& options) {
  if (options.old_file == "-" && options.new_file == "-") {
    return ReportUsage("diff",
                       "standard input can be read only once; give '-' for one of OLD and NEW");
  }
  const bool with_map = !options.map.path.empty();
  if (!with_map &&
      (!options.map.bbox.empty() || !options.map.format.empty() || !options.map.tiles.empty())) {
    return ReportUsage("diff", "--bbox, --format and --tiles go with --map");
  }
  if (with_map) {
    if (const int status = CheckMapOutput("diff", options.map); status != kExitOk) return status;
  }
  Problem failure;
  CameraDetails old_details, new_details;
  const auto old_db = ReadCameras(options.old_file, failure, with_map ? &old_details : nullptr);
  const auto new_db =
      old_db ? ReadCameras(options.new_file, failure, with_map ? &new_details : nullptr)
             : std::nullopt;
  if (!old_db || !new_db) {
    // Exit status 1 says the cameras differ: an input without any is trouble.
    failure.fault = Fault::kSystem;
    return ReportFailure(failure);
  }
  const DiffCounts counts = DiffCameras(*old_db, *new_db, std::cout);
  std::cout << std::flush;
  if (with_map) {
    if (const int status = DrawDiff(options, *old_db, old_details, *new_db, new_details);
        status != kExitOk)
      return status;
  }
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
  sub->add_option("--map", options->map.path,
                  "also draw the differences over land in this SVG file or HTML page (see map "
                  "--help)");
  AddMapOptions(*sub, options->map);
  sub->footer(
      "Matches cameras by their whole record; of the rest, a removed and an added\n"
      "camera at the same position are one changed camera. Prints one line per\n"
      "difference, \"+ ROW\", \"- ROW\" or \"~ OLD -> NEW\" with rows as export writes\n"
      "them, then both version fields, then\n"
      "\"N added, N removed, N changed, N unchanged\".\n"
      "--map FILE also writes a map: added cameras green, removed red, changed\n"
      "orange, unchanged small grey dots (a grey density above 50000 in an SVG, a\n"
      "layer left off in an HTML page), a moved camera joined to where it was.\n"
      "Exit status: 0 when the cameras are the same, 1 when they differ, 2 on\n"
      "trouble (a usage error, a file that cannot be read or holds no cameras).");
  sub->callback([options, &exit_status] { exit_status = Run(*options); });
}

}  // namespace korvel::cli
