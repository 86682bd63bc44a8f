// The CSV writer: the import's column names, so that no field needs quotes.

#include "exchange/formats/csv.h"

namespace korvel {

ExportResult WriteCsvCameras(const DecodedDb& db, std::string_view, std::ostream& stream) {
  ExportResult result;
  WriterSink out(stream);
  // No version line: a CSV has no place for one.
  out << "x,y,type,speed,dirtype,direction,sample\r\n";
  ForMapPoints(db, result, [&](const GPS_POINT& p, bool sample) {
    out.Degrees(p.x) << ",";
    out.Degrees(p.y) << "," << p.type << "," << p.speed << "," << p.flag << "," << p.angle
                     << (sample ? ",true\r\n" : ",false\r\n");
  });
  return result;
}

}  // namespace korvel
