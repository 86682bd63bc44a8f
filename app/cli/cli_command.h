// The subcommands of korvel-cli. Each lives in a file of its own and adds
// itself to the program's CLI::App through one registration function.

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camdb/problem.h"
#include "exchange/map/camera_map.h"
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
void RegisterMap(CLI::App& app, int& exit_status);

/// One input's cameras that a map left out.
struct MapReport {
  std::string path;
  map::LeftOut left_out;
};

/// Where and how a map goes: the options map and diff --map share.
struct MapOutput {
  std::string path;
  std::string format;               ///< "svg" or "html"; told by the extension when not given
  std::string bbox;                 ///< --bbox as given
  std::string tiles;                ///< --tiles: a tile URL for the HTML map
  std::optional<map::GeoBox> view;  ///< the parsed --bbox
};

/// Adds --format, --bbox and --tiles for `out` to `sub`.
void AddMapOptions(CLI::App& sub, MapOutput& out);

/// Settles `out`'s format and view: kExitOk, or the usage error (printed) of
/// a map output that is no file, a bad --bbox or --format, tiles for an SVG,
/// or an HTML map from a build without Leaflet.
int CheckMapOutput(const std::string& command, MapOutput& out);

/// The map's record of an input: its name and version, as inspect shows it.
map::MapInput MapInputOf(const std::string& path, const DecodedDb& db, std::size_t end);

/// Writes the map to `out` as every output is written (staged, under the
/// folder's lock), then names the left-out cameras as export does. The exit
/// status: kExitOk, or kExitUsage with the reason printed.
int WriteMap(const MapOutput& out, const map::CameraMap& camera_map,
             const std::vector<MapReport>& reports);

/// Prints `failure` on standard error as "korvel-cli: PLACE: MESSAGE", with
/// `input_suffix` after a failure that is the input's fault, and gives the
/// exit status: kExitFailure for the input's fault, kExitUsage for the
/// system's or the user's.
int ReportFailure(const Problem& failure, std::string_view input_suffix = {});

/// Prints a usage error as "korvel-cli: MESSAGE" and a line that points to
/// `command`'s help; gives kExitUsage.
int ReportUsage(std::string_view command, const std::string& message);

/// The system's failure to use the file at `path`: "PATH: REASON", REASON
/// as strerror gives it.
Problem SystemProblem(const std::string& path, int error_number);

/// The system's "cannot lock folder DIR: REASON" for the lock file `error` names.
Problem LockProblem(const FileError& error);

}  // namespace korvel::cli
