#pragma once
// What the maps of korvel-cli map and diff --map show: the cameras, the
// moved pairs and the view, made from the databases first. The SVG map
// (svg_map.h) and the HTML page (html_map.h) only draw it.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camdb/camera_rules.h"
#include "exchange/diff.h"
#include "exchange/map/projection.h"
#include "format/db_reader.h"

namespace korvel::map {

/// Above this many cameras of one layer the map draws their density per
/// 0.02-degree cell instead of one mark each.
inline constexpr std::size_t kDensityAbove = 50000;

enum class MarkKind : std::uint8_t { kCamera, kAdded, kRemoved, kChanged, kUnchanged };

/// One camera on the map.
struct MapCamera {
  GPS_POINT point;
  MarkKind kind = MarkKind::kCamera;
};

/// The old record of a changed camera.
struct MapChange {
  std::size_t camera = 0;  ///< index into CameraMap::cameras
  GPS_POINT old_point;
  std::uint32_t old_line = 0;
};

/// Cameras without a map position, left out: the first kShownLeftOut in
/// export's words, and how many in all.
struct LeftOut {
  std::vector<std::string> shown;
  std::uint64_t count = 0;
};

/// One input file of a map: the old and the new one of a diff.
struct MapInput {
  std::string path;          ///< as given
  std::string version;       ///< the version field, as inspect shows it
  std::string version_line;  ///< and as the version line of a text
  std::size_t end = 0;       ///< cameras before this index come from here or earlier
};

struct CameraMap {
  std::vector<MapInput> inputs;
  std::string title;                  ///< the first title line: --title or the file names
  std::vector<std::string> versions;  ///< "version: ..." lines
  std::uint64_t total = 0;            ///< points of the input(s), left out ones included
  bool diff = false;
  std::vector<MapCamera> cameras;
  /// The text line of each camera's row, 0 where the input is no text or the
  /// point is an appended sample row; shorter than `cameras` (down to empty)
  /// where the rest have none. Kept apart: a million cameras have none.
  std::vector<std::uint32_t> lines;
  std::vector<MapChange> changes;
  /// A removed and an added camera (indices into `cameras`) with the same
  /// record but for a position up to 0.02 degree away: drawn joined by a line
  /// as one moved camera, still counted as diff counts them.
  std::vector<std::pair<std::size_t, std::size_t>> moves;
  DiffCounts counts;  ///< a diff's counts, as its summary line gives them
};

/// Adds every camera of `db` with a map position; `lines` (empty, or one per
/// point) gives their text lines. The others go to `left_out`.
void AddCameras(const DecodedDb& db, const std::vector<std::uint32_t>& lines, CameraMap& map,
                LeftOut& left_out);

/// Appends one camera and its text line (0: none).
void AddCamera(CameraMap& map, const GPS_POINT& point, std::uint32_t line, MarkKind kind);

/// The text line of camera `index`, 0 for none.
inline std::uint32_t LineOf(const CameraMap& map, std::size_t index) {
  return index < map.lines.size() ? map.lines[index] : 0;
}

/// Adds the cameras of both databases as diff matches them, each with its
/// kind, and pairs the moved ones. Cameras without a map position go to the
/// left-out list of their side.
DiffCounts AddDiff(const DecodedDb& old_db, const std::vector<std::uint32_t>& old_lines,
                   const DecodedDb& new_db, const std::vector<std::uint32_t>& new_lines,
                   CameraMap& map, LeftOut& old_left_out, LeftOut& new_left_out);

/// "LON1,LAT1,LON2,LAT2" in degrees, west before east and south before north.
/// nullopt when it is not that.
std::optional<GeoBox> ParseBbox(std::string_view text);

/// The fill of a camera of type `type` (one fixed colour-blind-safe palette).
std::string_view TypeColour(std::uint8_t type);
/// "camera", "added", "removed", "changed" or "unchanged".
std::string_view KindName(MarkKind kind);
/// The fill of a mark: a diff's kind colour, or the type's.
std::string_view KindColour(MarkKind kind, std::uint8_t type);
/// Whether `p` is one of the two sample rows every database holds.
bool IsSample(const GPS_POINT& p);

/// Stored units (1e-4 degree) as degrees.
inline double Deg(std::uint32_t units) {
  return units / kUnitsPerDegree;
}

inline bool InView(const GeoBox& v, const GPS_POINT& p) {
  const double lon = Deg(p.x), lat = Deg(p.y);
  return lon >= v.west && lon <= v.east && lat >= v.south && lat <= v.north;
}

/// The view of a map and what it holds.
struct MapView {
  GeoBox box;
  // Counted without the sample points, which are counted apart.
  std::map<std::uint8_t, std::uint64_t> types;  ///< cameras in view by TYPE
  std::array<std::uint64_t, 5> kinds{};         ///< cameras in view by MarkKind
  std::uint64_t in_view = 0;
  std::uint64_t cameras = 0;          ///< cameras with a map position
  std::uint64_t samples = 0;          ///< sample points on the map or off it
  std::uint64_t samples_outside = 0;  ///< sample points outside the view
  bool dense_marks = false;           ///< too many marks: density cells instead
  bool dense_unchanged = false;       ///< too many unchanged ones: their density
};

/// The view of `bbox`, or one fitted to the cameras without the sample
/// points (to the sample points when there is nothing else), and its counts.
MapView ViewOf(const CameraMap& map, const std::optional<GeoBox>& bbox);

}  // namespace korvel::map
