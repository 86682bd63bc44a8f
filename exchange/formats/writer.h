#pragma once
// What the writers of the formats share: the export's formats and result,
// which stored positions a map can place, the sample points generate
// appended, and an output that hands the stream large pieces.

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "camdb/camera_rules.h"
#include "format/db_reader.h"

namespace korvel {

enum class ExportFormat { kTsv, kCsv, kGeoJson, kGpx, kKml };

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

/// A format's writer: every camera of `db` to `out`, with `version_line`
/// (the text's first line, without its line end) as the version line.
using CameraWriter = ExportResult (*)(const DecodedDb& db, std::string_view version_line,
                                      std::ostream& out);

/// Whether a stored position is a place on a map: longitude up to 180 and
/// latitude up to 90 degrees. A negative coordinate in a text is stored as
/// 4294967295 (the device's rule), which is neither.
bool HasMapPosition(const GPS_POINT& point);

/// "camera N at stored X 4294967295 has no map position; left out", for the
/// point `index` of a database.
std::string LeftOutText(const GPS_POINT& point, std::size_t index);

/// The index of the last copy of each sample point, or the point count when
/// the database lacks it. generate appends the sample rows last, so in the
/// device order the last copy of each is the appended one: the tsv export
/// leaves it out, the map exports mark it.
std::array<std::size_t, 2> SampleIndices(const DecodedDb& db);

/// The version line for the map formats: as it stands when it is printable
/// ASCII (import then reads back the same line), else in PrintableVersion's
/// escapes, since XML and JSON take no stray bytes.
std::string MapVersionLine(std::string_view version_line);

/// Collects output and hands it to the stream in large pieces.
class WriterSink {
 public:
  explicit WriterSink(std::ostream& out) : out_(out) { buffer_.reserve(kChunk + 1024); }
  ~WriterSink() { Flush(); }
  WriterSink(const WriterSink&) = delete;
  WriterSink& operator=(const WriterSink&) = delete;

  WriterSink& operator<<(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= kChunk) Flush();
    return *this;
  }
  WriterSink& operator<<(std::uint64_t value);
  /// Stored units as degrees, as a camera text writes them.
  WriterSink& Degrees(std::uint32_t units);
  /// `text` with XML's five special characters escaped.
  WriterSink& Xml(std::string_view text);
  std::ostream& stream() { return out_; }
  void Flush() {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kChunk = 1 << 16;
  std::ostream& out_;
  std::string buffer_;
};

/// Gives `write` each point of `db` a map can show and whether it is a
/// sample row generate appended; notes the others in `result`.
template <typename Write>
void ForMapPoints(const DecodedDb& db, ExportResult& result, Write write) {
  const auto samples = SampleIndices(db);
  for (std::size_t i = 0; i < db.points.size(); ++i) {
    if (HasMapPosition(db.points[i])) {
      write(db.points[i], i == samples[0] || i == samples[1]);
    } else if (result.left_out_count++ < kShownLeftOut) {
      result.left_out.push_back(LeftOutText(db.points[i], i));
    }
  }
}

}  // namespace korvel
