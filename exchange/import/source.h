#pragma once
// What every import format hands on: camera rows with the place they come
// from, and problems at such places. One reader per format turns its file
// into these; merging, de-duplication and the messages are written once, in
// import.cpp.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "exchange/import/field_rules.h"

namespace korvel {

/// The formats `import` reads.
enum class ImportFormat { kText, kCsv, kGeoJson, kGpx, kKml, kOsm, kKmz };

/// "text", "csv", "geojson", "gpx", "kml", "osm" or "kmz".
std::string_view ImportFormatName(ImportFormat format);
std::optional<ImportFormat> ParseImportFormat(std::string_view name);

/// How a place in a source is counted.
enum class PlaceKind : std::uint8_t {
  kFile,     ///< the file as a whole
  kLine,     ///< one-based line: text, CSV, GPX, KML
  kFeature,  ///< one-based GeoJSON feature
  kNode,     ///< OpenStreetMap node id
};

/// Where a camera or a problem is: which input (an index the caller gives
/// meaning to) and where in it. Small, since every kept camera carries one.
struct Place {
  std::uint32_t input = 0;
  PlaceKind kind = PlaceKind::kFile;
  std::int64_t number = 0;
};

/// The fields after the coordinates, in text order.
enum Field { kType, kSpeed, kDirType, kDirection, kFieldCount };

/// One camera as its source says it, before any check.
struct SourceCamera {
  Place place;
  /// Degrees as the source gives them; NaN when missing or unreadable.
  double x = 0, y = 0;
  /// A camera text's coordinates as the parser stores them, which can be one
  /// unit below the nearest: kept, so the same database comes back.
  std::optional<std::uint32_t> stored_x, stored_y;
  /// Missing fields stay empty; TYPE then comes from --type, the others are 0.
  std::optional<std::int64_t> fields[kFieldCount];
  /// Marked as one of the two sample rows every database carries.
  bool sample = false;
};

enum class ProblemKind { kError, kWarning, kNote };

/// "error", "warning" or "note".
std::string_view ProblemKindText(ProblemKind kind);

struct SourceProblem {
  Place place;
  ProblemKind kind = ProblemKind::kError;
  std::string message;
};

/// Receives what a reader finds, in source order.
class CameraSink {
 public:
  virtual ~CameraSink() = default;
  virtual void Camera(const SourceCamera& camera) = 0;
  virtual void Problem(const SourceProblem& problem) = 0;
  /// The version line the source carries (a camera text, our own exports).
  virtual void Version(const std::string& line) = 0;
  /// About how many rows the source holds, told before the first: a hint
  /// for reserving room, never a promise.
  virtual void Expect(std::uint64_t rows) { (void)rows; }
  /// The cameras come from OpenStreetMap data (under its licence), told by
  /// readers of formats that may hold other data too.
  virtual void FromOpenStreetMap() {}
  /// The user's --field and --values, for every reader.
  virtual const FieldRules& Fields() const {
    static const FieldRules kBuiltIn;
    return kBuiltIn;
  }
};

/// How reading a source ended.
enum class SourceOutcome {
  kRead,        ///< to its end; its rows' own problems went to the sink
  kUnreadable,  ///< the system could not open or read it
  kMalformed,   ///< it is not what its format says: broken JSON, no header...
};

/// One source format's reader.
class CameraSource {
 public:
  virtual ~CameraSource() = default;
  /// Streams the file at `path` (input number `input`) into `sink`. Unless
  /// kRead, `failure` says why, as "PATH: REASON" or "PATH:LINE: REASON".
  virtual SourceOutcome Read(const std::string& path, std::uint32_t input, CameraSink& sink,
                             std::string& failure) = 0;
};

/// The reader of `format`. `default_type` is the TYPE of sources that carry
/// none (OpenStreetMap).
std::unique_ptr<CameraSource> MakeCameraSource(ImportFormat format, int default_type);

/// The format of the file at `path` from its first bytes, then its name,
/// into `format`. Unless kRead, `failure` says why neither tells.
SourceOutcome DetectImportFormat(const std::string& path, ImportFormat& format,
                                 std::string& failure);

}  // namespace korvel
