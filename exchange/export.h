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

#include "format/db_reader.h"

namespace korvel {

enum class ExportFormat { kTsv, kCsv, kGeoJson, kGpx, kKml };

/// "tsv", "csv", "geojson", "gpx" or "kml".
std::optional<ExportFormat> ParseExportFormat(std::string_view name);

/// 1/10000-degree units as exact decimal degrees into `out` (at least 16
/// chars): "126.9501"; with `four_decimals` always four ("127.0000"), else
/// without trailing zeros ("127"). Returns the length.
std::size_t FormatDegrees(std::uint32_t units, char* out, bool four_decimals);

/// FormatDegrees without trailing zeros, as a string.
std::string Degrees(std::uint32_t units);

/// A coordinate text that the parser's single-precision conversion turns back
/// into exactly `units`; nullopt when no text can (values no float product
/// reaches).
std::optional<std::string> CoordinateText(std::uint32_t units);

/// Whether the four decimals of `units` read back as them, so that they are
/// its CoordinateText: nearly every value, told without a text.
bool FourDecimalsReadBack(std::uint32_t units);

/// CoordinateText appended to `out`, the usual four decimals without a string
/// of their own; false, with nothing appended, when there is none.
bool AppendCoordinateText(std::uint32_t units, std::string& out);

/// The camera text row of a point, without a line end. A coordinate that no
/// text reads back as falls back to its four-decimal form.
std::string TsvRow(const GPS_POINT& point);

/// The version field as stored, then the line the text had:
/// "\"V1.0 051121\" (the text's \"V1.0 211105\")", printable either way.
std::string VersionText(std::string_view field);

/// The two sample points every generated database carries.
GPS_POINT SamplePoint(int which);

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
