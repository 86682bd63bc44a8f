// korvel-cli map: the cameras of databases, packages or camera texts drawn
// over land and borders in one SVG file or one HTML page; also the map that
// diff --map writes.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/cli_command.h"
#include "app/cli/command_files.h"
#include "camdb/parser.h"
#include "exchange/export.h"
#include "exchange/map/html_map.h"
#include "exchange/map/svg_map.h"
#include "exchange/map/xml_text.h"

namespace korvel::cli {
namespace {

struct Options {
  std::vector<std::string> files;
  std::string title;
  MapOutput out;
};

/// Adds the cameras of `path`; kExitOk or the failure's status (printed).
int AddInput(const std::string& path, map::CameraMap& camera_map, std::vector<MapReport>& reports) {
  Problem failure;
  CameraDetails details;
  // Beyond the marks' limit the SVG shows cells, which need no lines.
  details.lines_up_to = map::kDensityAbove + 3;
  auto db = ReadCameras(path, failure, &details);
  if (!db) {
    for (const std::string& line : details.check_errors) std::cerr << line << '\n';
    // Only a text generate stops on is the input's fault here: its errors
    // are listed; a file with no cameras has nothing to draw.
    failure.fault = details.text_faults ? Fault::kInput : Fault::kSystem;
    return ReportFailure(failure);
  }
  if (db->points.empty()) {
    return ReportFailure(FileProblem(path, "holds no cameras", Fault::kSystem));
  }
  camera_map.versions.push_back(map::FileNameText(path) + ": version " + VersionText(db->version));
  reports.push_back({path, {}});
  map::AddCameras(*db, details.lines, camera_map, reports.back().left_out);
  camera_map.inputs.push_back(MapInputOf(path, *db, camera_map.cameras.size()));
  return kExitOk;
}

int Run(Options& options) {
  if (const int status = CheckMapOutput("map", options.out); status != kExitOk) return status;
  map::CameraMap camera_map;
  std::vector<MapReport> reports;
  for (const std::string& path : options.files) {
    if (const int status = AddInput(path, camera_map, reports); status != kExitOk) return status;
  }
  if (!options.title.empty()) {
    camera_map.title = options.title;
  } else {
    for (const std::string& path : options.files)
      camera_map.title += (camera_map.title.empty() ? "" : ", ") + map::FileNameText(path);
  }
  return WriteMap(options.out, camera_map, reports);
}

}  // namespace

void AddMapOptions(CLI::App& sub, MapOutput& out) {
  sub.add_option("--format", out.format,
                 "svg or html (default: html for a name ending .html or .htm, else svg)");
  sub.add_option("--bbox", out.bbox,
                 "LON1,LAT1,LON2,LAT2: the view in degrees (default: fitted to the cameras)");
  sub.add_option("--tiles", out.tiles,
                 "HTML map: a tile URL such as https://tile.openstreetmap.org/{z}/{x}/{y}.png "
                 "that the browser loads when online (default: none, the page asks no one)");
}

int CheckMapOutput(const std::string& command, MapOutput& out) {
  if (out.path.empty() || out.path == "-") {
    return ReportUsage(command, "the map goes to a file: give its name, not '-'");
  }
  if (!out.bbox.empty() && !(out.view = map::ParseBbox(out.bbox))) {
    return ReportUsage(
        command,
        "--bbox: '" + out.bbox + "' is not LON1,LAT1,LON2,LAT2 in degrees, west and south first");
  }
  if (out.format.empty()) {
    const std::string& p = out.path;
    const bool html =
        p.ends_with(".html") || p.ends_with(".htm") || p.ends_with(".HTML") || p.ends_with(".HTM");
    out.format = html ? "html" : "svg";
  }
  if (out.format != "svg" && out.format != "html") {
    return ReportUsage(command, "--format: '" + out.format + "' is not svg or html");
  }
  if (out.format == "svg" && !out.tiles.empty()) {
    return ReportUsage(command, "--tiles: only the HTML map loads tiles");
  }
  if (out.format == "html" && !map::HtmlMapAvailable()) {
    return ReportFailure(FileProblem("",
                                     "this korvel-cli was built without Leaflet, which the HTML "
                                     "map needs (Debian packages libjs-leaflet and "
                                     "libjs-leaflet.markercluster); write an SVG map instead",
                                     Fault::kSystem));
  }
  return kExitOk;
}

map::MapInput MapInputOf(const std::string& path, const DecodedDb& db, std::size_t end) {
  return {path, PrintableVersion(db.version), PrintableVersion(K93Exchange(db.version)), end};
}

int WriteMap(const MapOutput& out, const map::CameraMap& camera_map,
             const std::vector<MapReport>& reports) {
  Problem failure;
  const bool written = WriteOutput(
      out.path,
      [&](std::ostream& stream) {
        if (out.format == "html") {
          map::WriteHtmlMap(camera_map,
                            {out.view, out.tiles,
                             out.tiles.empty() ? std::string() : map::TileAttribution(out.tiles)},
                            stream);
        } else {
          map::DrawCameraMap(camera_map, out.view, stream);
        }
        return true;
      },
      failure);
  if (!written) return ReportFailure(failure);
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
  CLI::App* sub = app.add_subcommand(
      "map", "Draw the cameras over land and borders in an SVG file or an HTML page, offline");
  auto options = std::make_shared<Options>();
  sub->add_option("INPUT", options->files,
                  "camera text, database or K93 package; - reads standard input")
      ->required();
  sub->add_option("-o,--output", options->out.path, "the SVG or HTML file to write")->required();
  sub->add_option("--title", options->title, "the map's title (default: the input names)");
  AddMapOptions(*sub, options->out);
  sub->footer(
      "Draws land and country borders (Natural Earth 1:50m, compiled in), a graticule,\n"
      "a scale bar, a legend of the camera types with their counts and one mark per\n"
      "camera, coloured by type, with a tick along its direction when its dirtype is\n"
      "not 0 and the view is at most 50 km wide, and its record (and a text's line)\n"
      "as a tooltip; above 50000 cameras, their density per 0.02-degree cell. The\n"
      "view fits the cameras without the two sample points every database holds.\n" +
      std::string(
          map::HtmlMapAvailable()
              ? "An HTML page (.html, or --format html) holds everything it needs: open it\n"
                "in a browser, offline; it zooms from the country to one camera, clusters the\n"
                "marks, shows a camera's record on a click and hides types in its layer list.\n"
              : "This korvel-cli writes no HTML pages: Leaflet was missing when it was built.\n") +
      "A point stored beyond 180 degrees of longitude or 90 of latitude is left\n"
      "out, with a warning on standard error.\n"
      "The file appears only when complete, written while its folder is locked.\n"
      "Exit status: 0 when written, 1 for a camera text generate stops on (its\n"
      "errors are listed), 2 for a usage error or a file that cannot be read or\n"
      "written or holds no cameras.");
  sub->callback([options, &exit_status] { exit_status = Run(*options); });
}

}  // namespace korvel::cli
