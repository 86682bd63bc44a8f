// korvel-cli map: the cameras of databases, packages or camera texts drawn
// over land and borders in one SVG file; also the map that diff --map writes.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/cli_command.h"
#include "app/cli/command_files.h"
#include "exchange/export.h"
#include "exchange/map/camera_map.h"

namespace korvel::cli {
namespace {

struct Options {
  std::vector<std::string> files;
  std::string out;
  std::string title;
  std::string bbox;
};

/// The usage error of a bad --bbox or -o, in the usual two lines.
int Usage(const std::string& command, const std::string& message) {
  std::cerr << "korvel-cli: " << message << "\nTry 'korvel-cli " << command
            << " --help' for more information." << std::endl;
  return kExitUsage;
}

int Run(const Options& options) {
  std::optional<map::GeoBox> bbox;
  if (!options.bbox.empty() && !(bbox = map::ParseBbox(options.bbox))) {
    return Usage("map", "--bbox: '" + options.bbox +
                            "' is not LON1,LAT1,LON2,LAT2 in degrees, west and south first");
  }
  if (const int status = CheckMapOutput("map", options.out); status != kExitOk) return status;
  map::CameraMap camera_map;
  std::vector<MapReport> reports;
  for (const std::string& path : options.files) {
    std::string problem;
    InputFault fault;
    CameraDetails details;
    // Beyond the marks' limit the map shows cells, which need no lines.
    details.lines_up_to = map::kDensityAbove + 3;
    auto db = ReadCameras(path, problem, fault, &details);
    if (!db) {
      for (const std::string& line : details.check_errors) std::cerr << line << '\n';
      std::cerr << "korvel-cli: " << problem << std::endl;
      return fault == InputFault::kTextFaults ? kExitFailure : kExitUsage;
    }
    if (db->points.empty()) {
      std::cerr << "korvel-cli: " << path << ": holds no cameras" << std::endl;
      return kExitUsage;
    }
    camera_map.versions.push_back(path + ": version " + VersionText(db->version));
    reports.push_back({path, {}});
    map::AddCameras(*db, details.lines, camera_map, reports.back().left_out);
    db->points = std::vector<GPS_POINT>();  // its cameras are in the map now
  }
  if (!options.title.empty()) {
    camera_map.title = options.title;
  } else {
    for (const std::string& path : options.files)
      camera_map.title += (camera_map.title.empty() ? "" : ", ") + path;
  }
  return WriteMap(options.out, camera_map, bbox, reports);
}

}  // namespace

int CheckMapOutput(const std::string& command, const std::string& out) {
  if (out.empty() || out == "-") {
    return Usage(command, "the map goes to a file: give its name, not '-'");
  }
  return kExitOk;
}

int WriteMap(const std::string& out, const map::CameraMap& camera_map,
             const std::optional<map::GeoBox>& bbox, const std::vector<MapReport>& reports) {
  std::string problem;
  const bool written = WriteOutput(
      out,
      [&](std::ostream& stream) {
        map::DrawCameraMap(camera_map, bbox, stream);
        return true;
      },
      problem);
  if (!written) {
    std::cerr << "korvel-cli: " << problem << std::endl;
    return kExitUsage;
  }
  for (const MapReport& report : reports) {
    for (const std::string& line : report.left_out.shown)
      std::cerr << report.path << ": warning: " << line << '\n';
    if (report.left_out.count > report.left_out.shown.size()) {
      std::cerr << report.path << ": " << report.left_out.count - report.left_out.shown.size()
                << " more cameras without a map position left out\n";
    }
  }
  std::cerr << std::flush;
  return kExitOk;
}

void RegisterMap(CLI::App& app, int& exit_status) {
  CLI::App* sub =
      app.add_subcommand("map", "Draw the cameras over land and borders in an SVG file, offline");
  auto options = std::make_shared<Options>();
  sub->add_option("INPUT", options->files,
                  "camera text, database or K93 package; - reads standard input")
      ->required();
  sub->add_option("-o,--output", options->out, "the SVG file to write")->required();
  sub->add_option("--title", options->title, "the map's title (default: the input names)");
  sub->add_option("--bbox", options->bbox,
                  "LON1,LAT1,LON2,LAT2: the view in degrees (default: fitted to the cameras)");
  sub->footer(
      "Draws land and country borders (Natural Earth 1:50m, compiled in), a graticule,\n"
      "a scale bar, a legend of the camera types with their counts and one mark per\n"
      "camera, coloured by type, with a tick along its direction when its dirtype is\n"
      "not 0 and its record (and a text's line) as a tooltip; above 50000 cameras,\n"
      "their density per 0.02-degree cell. A point stored beyond 180 degrees of\n"
      "longitude or 90 of latitude is left out, with a warning on standard error.\n"
      "The file appears only when complete, written while its folder is locked.\n"
      "Exit status: 0 when written, 1 for a camera text generate stops on (its\n"
      "errors are listed), 2 for a usage error or a file that cannot be read or\n"
      "written or holds no cameras.");
  sub->callback([options, &exit_status] { exit_status = Run(*options); });
}

}  // namespace korvel::cli
