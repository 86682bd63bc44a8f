// The camera text writer: the tsv export.

#include "exchange/formats/text.h"

namespace korvel {

ExportResult WriteTextCameras(const DecodedDb& db, std::string_view version_line,
                              std::ostream& out) {
  ExportResult result;
  if (version_line.find_first_of(std::string_view("\0\n", 2)) != std::string_view::npos) {
    result.ok = false;
    result.error = "the version field holds a byte no text line can carry";
    return result;
  }
  // Every row is known to be writable before the first byte goes out: a
  // script that ignores the exit status must not get a short text that
  // generate would take.
  for (std::size_t i = 0; i < db.points.size(); ++i) {
    if (!CoordinateText(db.points[i].x) || !CoordinateText(db.points[i].y)) {
      result.ok = false;
      result.error = "point " + std::to_string(i) + " has a coordinate no text reads back as";
      return result;
    }
  }
  // Leaving out the appended copies gives the same order back.
  const auto skip = SampleIndices(db);
  for (std::size_t index : skip) result.missing_samples += index == db.points.size();
  CameraTextWriter text(out, std::string(version_line));
  for (std::size_t i = 0; i < db.points.size(); ++i) {
    if (i != skip[0] && i != skip[1]) text.Row(db.points[i]);
  }
  return result;
}

}  // namespace korvel
