#pragma once
// The cameras of a database as text: a camera text that generate reads back
// into the same database, or map formats (GeoJSON, GPX 1.1, KML 2.2) with one
// point per camera.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camdb/camera_rules.h"
#include "format/db_reader.h"

namespace korvel {

enum class ExportFormat { kTsv, kCsv, kGeoJson, kGpx, kKml };

/// The version field as stored, then the line the text had:
/// "\"V1.0 051121\" (the text's \"V1.0 211105\")", printable either way.
std::string VersionText(std::string_view field);

/// The namespace of the camera fields in a GPX export's <extensions>.
inline constexpr char kGpxNamespace[] = "https://korvel.invalid/gpx/camera/1";

/// Map exports name at most this many left-out points, then count the rest.
inline constexpr std::size_t kShownLeftOut = 20;

struct ExportResult {
  bool ok = true;
  std::string error;  ///< why the export stopped, when !ok
  /// tsv only: sample points the database lacks, so generate adds one more
  /// point than was exported for each.
  int missing_samples = 0;
  /// Map formats: points without a map position, left out. The first
  /// kShownLeftOut as "camera N at stored X 4294967295 has no map position;
  /// left out", N counted from 0 as inspect counts points.
  std::vector<std::string> left_out;
  std::uint64_t left_out_count = 0;
};

/// Whether a stored position is a place on a map: longitude up to 180 and
/// latitude up to 90 degrees. A negative coordinate in a text is stored as
/// 4294967295 (the device's rule), which is neither.
bool HasMapPosition(const GPS_POINT& point);

/// "camera N at stored X 4294967295 has no map position; left out", for the
/// point `index` of a database.
std::string LeftOutText(const GPS_POINT& point, std::size_t index);

/// Writes every camera of `db` in `format` to `out`. The tsv form leaves out
/// one of each sample point (generate appends them again) and, before its
/// first byte, refuses with an error a version field or a coordinate that a
/// text cannot carry. The map formats leave out points with no map position.
ExportResult ExportCameras(const DecodedDb& db, ExportFormat format, std::ostream& out);

}  // namespace korvel
