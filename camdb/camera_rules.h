#pragma once
// The device's rules for one camera, in one place: the units it stores,
// the coordinates and field values it takes, the camera text's header and
// sample rows, and the one writer of camera texts.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>

#include "camdb/gps_point.h"

namespace korvel {

/// Stored coordinates are in 1/10000 degree.
inline constexpr double kUnitsPerDegree = 10000;
/// The largest longitude and latitude, in degrees and in stored units.
inline constexpr double kMaxDegrees[2] = {180, 90};
inline constexpr std::uint32_t kMaxUnits[2] = {1800000, 900000};
/// A grid cell's edge in degrees.
inline constexpr double kCellDegrees = kCellSize / kUnitsPerDegree;

/// The Earth's mean radius, for distances between cameras and map scales.
inline constexpr double kEarthRadiusMetres = 6371008.8;
inline constexpr double kRadiansPerDegree = std::numbers::pi / 180;

/// The camera fields after the coordinates, in the order a row holds them.
enum Field { kType, kSpeed, kDirType, kDirection, kFieldCount };
/// "TYPE", "SPEED", "DIRTYPE" or "DIRECTION".
std::string_view FieldName(Field field);
/// The largest value the device takes: 255 for the bytes, 359 for DIRECTION.
constexpr int FieldTop(Field field) {
  return field == kDirection ? 359 : 255;
}
/// A direction as the device takes it: rounded degrees, modulo 360.
int DirectionOf(double degrees);

/// The camera text's header line, without a line end.
inline constexpr std::string_view kCameraHeader = "X\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION";

/// The two rows appended to every copy of the text before it is parsed, so
/// every database carries them.
inline constexpr char kSampleRow1[] = "126.950100\t37.389400\t5\t80\t0\t247\n";
inline constexpr char kSampleRow2[] = "126.980700\t37.416300\t1\t70\t1\t15\n";

/// The point of sample row `which` (0 or 1).
GPS_POINT SamplePoint(int which);
/// Whether `point` equals one of the two sample points, field by field.
bool IsSamplePoint(const GPS_POINT& point);

/// Shortest text that reads back as `value`: "126.95", "-1e+300".
std::string NumberText(double value);

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

/// The camera text row of a point, without a line end. A coordinate that no
/// text reads back as falls back to its four-decimal form.
std::string TsvRow(const GPS_POINT& point);

/// Writes a camera text: the version line and the header at once, then one
/// row per camera, CR LF line ends, every coordinate as its CoordinateText.
/// Rows gather in a chunk of their own, written when nearly full and at
/// Finish.
class CameraTextWriter {
 public:
  CameraTextWriter(std::ostream& out, std::string_view version);
  ~CameraTextWriter();
  CameraTextWriter(const CameraTextWriter&) = delete;
  CameraTextWriter& operator=(const CameraTextWriter&) = delete;

  /// Appends the row of `point` (its id and reserved byte aside); false,
  /// with nothing written, when a coordinate has no text that reads back.
  /// Bit 0 of `four_decimals` tells that FourDecimalsReadBack(point.x) holds,
  /// bit 1 that of point.y, which spares the test.
  bool Row(const GPS_POINT& point, unsigned four_decimals = 0);
  /// Writes the rows still in the chunk.
  void Finish();

 private:
  std::ostream& out_;
  std::unique_ptr<char[]> chunk_;
  char* end_;
};

}  // namespace korvel
