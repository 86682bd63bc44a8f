// The GeoJSON writer: one Point feature per camera.

#include "exchange/formats/geojson.h"

namespace korvel {

ExportResult WriteGeoJsonCameras(const DecodedDb& db, std::string_view version_line,
                                 std::ostream& stream) {
  ExportResult result;
  WriterSink out(stream);
  out << "{\"type\":\"FeatureCollection\",\"version\":\"";
  for (char c : MapVersionLine(version_line)) {
    if (c == '"' || c == '\\') out << "\\";
    out << std::string_view(&c, 1);
  }
  out << "\",\"features\":[";
  std::string_view separator = "\n";
  ForMapPoints(db, result, [&](const GPS_POINT& p, bool sample) {
    out << separator << "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[";
    out.Degrees(p.x) << ",";
    out.Degrees(p.y) << "]},\"properties\":{\"type\":" << p.type << ",\"speed\":" << p.speed
                     << ",\"dirtype\":" << p.flag << ",\"direction\":" << p.angle
                     << ",\"cell\":" << p.id << (sample ? ",\"sample\":true}}" : "}}");
    separator = ",\n";
  });
  out << "\n]}\n";
  return result;
}

}  // namespace korvel
