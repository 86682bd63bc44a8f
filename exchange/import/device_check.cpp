#include "exchange/import/device_check.h"

#include <cmath>
#include <string>

#include "camdb/camera_rules.h"

namespace korvel {
namespace {

constexpr const char* kAxis[2] = {"longitude X", "latitude Y"};

std::nullopt_t Reject(CameraSink& problems, const Place& place, std::string message) {
  problems.Problem({place, ProblemKind::kError, message + "; skipped"});
  return std::nullopt;
}

/// Why coordinate `axis` of `s` cannot be stored, reported; for Units.
std::nullopt_t Unstorable(const SourceCamera& s, int axis, CameraSink& problems) {
  const double d = axis == 0 ? s.x : s.y;
  const std::string head = std::string(kAxis[axis]) + " " + NumberText(d);
  if (std::isnan(d)) {
    return Reject(problems, s.place, std::string(kAxis[axis]) + " missing or unreadable");
  }
  if (d < 0)
    return Reject(problems, s.place, head + " is west or south: the device stores no sign");
  const double limit = kMaxDegrees[axis];
  if (d > limit) {
    return Reject(problems, s.place,
                  head + " is outside -" + NumberText(limit) + " to " + NumberText(limit));
  }
  return Reject(problems, s.place, head + " has no text that generate reads back");
}

/// std::llround of `v`, from 0 to 2^31: the whole part, and one more from a
/// half on. Both steps are exact.
std::uint32_t RoundUnits(double v) {
  const auto whole = static_cast<std::uint32_t>(v);
  return whole + (v - whole >= 0.5 ? 1 : 0);
}

/// The stored units of coordinate `axis` (0 X, 1 Y), or nullopt after an
/// error. Sets bit `axis` of `four_decimals` when FourDecimalsReadBack holds.
std::optional<std::uint32_t> Units(const SourceCamera& s, int axis, std::uint8_t& four_decimals,
                                   CameraSink& problems) {
  const double d = axis == 0 ? s.x : s.y;
  // False for NaN as well.
  if (d >= 0 && d <= kMaxDegrees[axis]) {
    const auto& stored = axis == 0 ? s.stored_x : s.stored_y;
    const std::uint32_t units = stored ? *stored : RoundUnits(d * kUnitsPerDegree);
    if (FourDecimalsReadBack(units)) {
      four_decimals |= static_cast<std::uint8_t>(1 << axis);
      return units;
    }
    if (CoordinateText(units)) return units;
  }
  return Unstorable(s, axis, problems);
}

}  // namespace

std::optional<ImportedCamera> DeviceCamera(const SourceCamera& s, std::optional<int> type,
                                           CameraSink& problems) {
  ImportedCamera camera;
  camera.place = s.place;
  const std::optional<std::uint32_t> x = Units(s, 0, camera.four_decimals, problems);
  if (!x) return std::nullopt;
  const std::optional<std::uint32_t> y = Units(s, 1, camera.four_decimals, problems);
  if (!y) return std::nullopt;
  if (*x == 0 && *y == 0) return Reject(problems, s.place, "the position 0,0 is no camera");
  // No camera stands on the equator or the prime meridian of Greenwich
  // within reach of the devices: an exact 0 is a value the source left out.
  if (s.x == 0) return Reject(problems, s.place, "longitude 0: a missing value?");
  if (s.y == 0) return Reject(problems, s.place, "latitude 0: a missing value?");
  camera.x = *x;
  camera.y = *y;
  std::int64_t values[kFieldCount] = {};
  for (int i = 0; i < kFieldCount; ++i) {
    const auto field = static_cast<Field>(i);
    if (s.fields[i]) {
      values[i] = *s.fields[i];
    } else if (field == kType) {
      values[i] = type.value_or(1);
    } else if (field == kDirType) {
      // A direction read without a DIRTYPE is a direction the device uses.
      values[i] = s.fields[kDirection] ? 1 : 0;
    }
    const std::int64_t top = FieldTop(field);
    if (field == kDirection && (values[i] < 0 || values[i] > top)) {
      const std::int64_t turned = (values[i] % 360 + 360) % 360;
      problems.Problem({s.place, ProblemKind::kWarning,
                        "DIRECTION " + std::to_string(values[i]) +
                            " is outside 0 to 359: taken as " + std::to_string(turned)});
      values[i] = turned;
    }
    if (values[i] < 0 || values[i] > top) {
      return Reject(problems, s.place,
                    std::string(FieldName(field)) + " " + std::to_string(values[i]) +
                        " is outside 0 to " + std::to_string(top));
    }
  }
  camera.type = static_cast<std::uint8_t>(values[kType]);
  camera.speed = static_cast<std::uint8_t>(values[kSpeed]);
  camera.dirtype = static_cast<std::uint8_t>(values[kDirType]);
  camera.direction = static_cast<std::uint16_t>(values[kDirection]);
  return camera;
}

bool IsSampleCamera(const ImportedCamera& c, int which) {
  static const GPS_POINT kSamples[2] = {SamplePoint(0), SamplePoint(1)};
  const GPS_POINT& sample = kSamples[which];
  return c.x == sample.x && c.y == sample.y && c.type == sample.type && c.speed == sample.speed &&
         c.dirtype == sample.flag && c.direction == sample.angle;
}

}  // namespace korvel
