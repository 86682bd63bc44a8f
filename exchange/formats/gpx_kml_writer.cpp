// The GPX and KML writers: one waypoint or Placemark per camera, named as a
// map viewer shows it, the camera fields beside it.

#include <algorithm>
#include <charconv>

#include "exchange/formats/gpx_kml.h"

namespace korvel {
namespace {

/// A short text built on the stack, for the names of map points.
class ShortText {
 public:
  ShortText& operator<<(std::string_view text) {
    const std::size_t n = std::min(text.size(), sizeof text_ - size_);
    text.copy(text_ + size_, n);
    size_ += n;
    return *this;
  }
  ShortText& operator<<(unsigned value) {
    size_ = static_cast<std::size_t>(std::to_chars(text_ + size_, text_ + sizeof text_, value).ptr -
                                     text_);
    return *this;
  }
  std::string_view view() const { return {text_, size_}; }

 private:
  char text_[80];
  std::size_t size_ = 0;
};

/// "type 5, 80 km/h": what a map viewer shows beside the point.
ShortText PointName(const GPS_POINT& p) {
  ShortText text;
  text << "type " << unsigned{p.type} << ", " << unsigned{p.speed} << " km/h";
  return text;
}

ShortText PointDescription(const GPS_POINT& p) {
  ShortText text;
  text << "dirtype " << unsigned{p.flag} << ", direction " << unsigned{p.angle} << ", cell "
       << p.id;
  return text;
}

}  // namespace

ExportResult WriteGpxCameras(const DecodedDb& db, std::string_view version_line,
                             std::ostream& stream) {
  ExportResult result;
  WriterSink out(stream);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<gpx version=\"1.1\" creator=\"korvel-cli\" "
         "xmlns=\"http://www.topografix.com/GPX/1/1\" xmlns:korvel=\""
      << kGpxNamespace << "\">\n<metadata><name>";
  out.Xml(MapVersionLine(version_line)) << "</name></metadata>\n";
  ForMapPoints(db, result, [&](const GPS_POINT& p, bool sample) {
    out << "<wpt lat=\"";
    out.Degrees(p.y) << "\" lon=\"";
    out.Degrees(p.x) << "\"><name>";
    out.Xml(PointName(p).view()) << "</name><desc>";
    out.Xml(PointDescription(p).view())
        << "</desc><sym>Speed Camera</sym><type>" << p.type << "</type><extensions><korvel:type>"
        << p.type << "</korvel:type><korvel:speed>" << p.speed << "</korvel:speed><korvel:dirtype>"
        << p.flag << "</korvel:dirtype><korvel:direction>" << p.angle << "</korvel:direction>"
        << (sample ? "<korvel:sample>true</korvel:sample>" : "") << "</extensions></wpt>\n";
  });
  out << "</gpx>\n";
  return result;
}

ExportResult WriteKmlCameras(const DecodedDb& db, std::string_view version_line,
                             std::ostream& stream) {
  ExportResult result;
  WriterSink out(stream);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document><name>";
  out.Xml(MapVersionLine(version_line))
      << "</name>\n"
         "<Schema name=\"camera\" id=\"camera\">"
         "<SimpleField name=\"type\" type=\"int\"/>"
         "<SimpleField name=\"speed\" type=\"int\"/>"
         "<SimpleField name=\"dirtype\" type=\"int\"/>"
         "<SimpleField name=\"direction\" type=\"int\"/>"
         "<SimpleField name=\"sample\" type=\"bool\"/></Schema>\n";
  ForMapPoints(db, result, [&](const GPS_POINT& p, bool sample) {
    out << "<Placemark><name>";
    out.Xml(PointName(p).view()) << "</name><description>";
    out.Xml(PointDescription(p).view())
        << "</description><ExtendedData><SchemaData schemaUrl=\"#camera\">"
           "<SimpleData name=\"type\">"
        << p.type << "</SimpleData><SimpleData name=\"speed\">" << p.speed
        << "</SimpleData><SimpleData name=\"dirtype\">" << p.flag
        << "</SimpleData><SimpleData name=\"direction\">" << p.angle << "</SimpleData>"
        << (sample ? "<SimpleData name=\"sample\">1</SimpleData>" : "")
        << "</SchemaData></ExtendedData><Point><coordinates>";
    out.Degrees(p.x) << ",";
    out.Degrees(p.y) << "</coordinates></Point></Placemark>\n";
  });
  out << "</Document>\n</kml>\n";
  return result;
}

}  // namespace korvel
