#include "exchange/export.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>

#include "camdb/camera_rules.h"
#include "camdb/parser.h"
#include "camdb/row_reader.h"

namespace korvel {
namespace {

/// The largest stored longitude and latitude a map can place.
constexpr std::uint32_t kMaxMapX = kMaxUnits[0], kMaxMapY = kMaxUnits[1];

void AppendEscapedXml(std::string_view text, std::string& out) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
}

/// Collects output and hands it to the stream in large pieces.
class Sink {
 public:
  explicit Sink(std::ostream& out) : out_(out) { buffer_.reserve(kChunk + 1024); }
  ~Sink() { Flush(); }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  Sink& operator<<(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= kChunk) Flush();
    return *this;
  }
  Sink& operator<<(std::uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
  }
  Sink& Degrees(std::uint32_t units) {
    char text[24];
    return *this << std::string_view(text, FormatDegrees(units, text, false));
  }
  Sink& Xml(std::string_view text) {
    AppendEscapedXml(text, buffer_);
    return *this;
  }
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

/// The index of the last copy of each sample point, or the point count when
/// the database lacks it. generate appends the sample rows last, so in the
/// device order the last copy of each is the appended one: the tsv export
/// leaves it out, the map exports mark it.
std::array<std::size_t, 2> SampleIndices(const DecodedDb& db) {
  std::array<std::size_t, 2> found = {db.points.size(), db.points.size()};
  for (int s = 0; s < 2; ++s) {
    const GPS_POINT sample = SamplePoint(s);
    for (std::size_t i = db.points.size(); i-- > 0;) {
      if (SamePoint(db.points[i], sample)) {
        found[s] = i;
        break;
      }
    }
  }
  return found;
}

/// The version line as the text had it, for the map formats: as it stands
/// when it is printable ASCII (import then reads back the same line), else
/// in PrintableVersion's escapes, since XML and JSON take no stray bytes.
std::string MapVersionLine(const DecodedDb& db) {
  const std::string line = K93Exchange(db.version);
  const bool plain = std::all_of(line.begin(), line.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F &&
           c != '\\';
  });
  return plain ? line : PrintableVersion(line);
}

ExportResult ExportTsv(const DecodedDb& db, Sink& out) {
  ExportResult result;
  // The version line as the operator wrote it: the exchange undone.
  const std::string version = K93Exchange(db.version);
  if (version.find_first_of(std::string_view("\0\n", 2)) != std::string::npos) {
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
  out.Flush();
  CameraTextWriter text(out.stream(), version);
  for (std::size_t i = 0; i < db.points.size(); ++i) {
    if (i != skip[0] && i != skip[1]) text.Row(db.points[i]);
  }
  return result;
}

/// Notes the point `index` as left out of a map export.
void LeaveOut(const GPS_POINT& p, std::size_t index, ExportResult& result) {
  if (result.left_out_count++ >= kShownLeftOut) return;
  result.left_out.push_back(LeftOutText(p, index));
}

/// The points of `db` a map can show, each given to `write`; the others noted.
/// `write` gets each point and whether it is a sample row generate appended.
template <typename Write>
void ForMapPoints(const DecodedDb& db, ExportResult& result, Write write) {
  const auto samples = SampleIndices(db);
  for (std::size_t i = 0; i < db.points.size(); ++i) {
    if (HasMapPosition(db.points[i])) {
      write(db.points[i], i == samples[0] || i == samples[1]);
    } else {
      LeaveOut(db.points[i], i, result);
    }
  }
}

/// RFC 4180 CSV by the import's column names: no field needs quotes, and no
/// version line, which a CSV has no place for.
void ExportCsv(const DecodedDb& db, Sink& out, ExportResult& result) {
  out << "x,y,type,speed,dirtype,direction,sample\r\n";
  ForMapPoints(db, result, [&](const GPS_POINT& p, bool sample) {
    out.Degrees(p.x) << ",";
    out.Degrees(p.y) << "," << p.type << "," << p.speed << "," << p.flag << "," << p.angle
                     << (sample ? ",true\r\n" : ",false\r\n");
  });
}

void ExportGeoJson(const DecodedDb& db, Sink& out, ExportResult& result) {
  out << "{\"type\":\"FeatureCollection\",\"version\":\"";
  for (char c : MapVersionLine(db)) {
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
}

void ExportGpx(const DecodedDb& db, Sink& out, ExportResult& result) {
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<gpx version=\"1.1\" creator=\"korvel-cli\" "
         "xmlns=\"http://www.topografix.com/GPX/1/1\" xmlns:korvel=\""
      << kGpxNamespace << "\">\n<metadata><name>";
  out.Xml(MapVersionLine(db)) << "</name></metadata>\n";
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
}

void ExportKml(const DecodedDb& db, Sink& out, ExportResult& result) {
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document><name>";
  out.Xml(MapVersionLine(db)) << "</name>\n"
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
}

}  // namespace

std::string VersionText(std::string_view field) {
  std::string text(1, '"');
  text.append(PrintableVersion(field)).append("\" (the text's \"");
  return text.append(PrintableVersion(K93Exchange(field))).append("\")");
}

std::string LeftOutText(const GPS_POINT& p, std::size_t index) {
  std::string where;
  if (p.x > kMaxMapX) where = "X " + std::to_string(p.x);
  if (p.y > kMaxMapY) where += (where.empty() ? "Y " : ", Y ") + std::to_string(p.y);
  return "camera " + std::to_string(index) + " at stored " + where +
         " has no map position; left out";
}

bool HasMapPosition(const GPS_POINT& point) {
  return point.x <= kMaxMapX && point.y <= kMaxMapY;
}

ExportResult ExportCameras(const DecodedDb& db, ExportFormat format, std::ostream& out) {
  Sink sink(out);
  ExportResult result;
  switch (format) {
    case ExportFormat::kTsv:
      return ExportTsv(db, sink);
    case ExportFormat::kCsv:
      ExportCsv(db, sink, result);
      break;
    case ExportFormat::kGeoJson:
      ExportGeoJson(db, sink, result);
      break;
    case ExportFormat::kGpx:
      ExportGpx(db, sink, result);
      break;
    case ExportFormat::kKml:
      ExportKml(db, sink, result);
      break;
  }
  return result;
}

}  // namespace korvel
