#include "exchange/map/html_map.h"

#include <charconv>
#include <cmath>
#include <ostream>
#include <string_view>

#include "exchange/map/land.h"
#include "exchange/map/leaflet_assets.h"
#include "exchange/map/xml_text.h"

namespace korvel::map {
namespace {

/// The page's own style and the script that draws the data (see below).
constexpr std::string_view kPageStyle =
    "html,body,#map{height:100%;margin:0}#map{background:#DCEAF2}"
    ".korvel-panel{background:rgba(255,255,255,.92);padding:6px 10px;max-width:380px;"
    "font:12px/1.45 'DejaVu Sans',Arial,sans-serif;border-radius:4px;"
    "box-shadow:0 1px 4px rgba(0,0,0,.3)}"
    ".korvel-panel h1{font-size:15px;margin:0 0 4px}.korvel-panel .file{font-weight:bold}"
    ".korvel-pop td{padding:0 6px 0 0;vertical-align:top}.korvel-pop th{text-align:left}"
    ".korvel-swatch{display:inline-block;width:10px;height:10px;border-radius:5px;"
    "margin-right:4px;border:1px solid #fff}";

/// Numbers in the alphabet of the land data: zigzag, 5 bits a character.
constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

#include "exchange/map/html_script.inc"

/// Appends text to a buffer and writes it out in large pieces.
class Out {
 public:
  explicit Out(std::ostream& out) : out_(out) { buffer_.reserve(1 << 17); }
  ~Out() { Flush(); }
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;

  Out& operator<<(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= (1 << 16)) Flush();
    return *this;
  }
  Out& Int(std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
  }
  /// A JSON string of `text` made valid UTF-8; `<`, `>` and `&` as \u escapes
  /// so that no input closes the script element holding it.
  Out& Json(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    buffer_ += '"';
    for (char c : XmlSafe(text)) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        buffer_ += '\\';
        buffer_ += c;
      } else if (byte < 0x20 || c == '<' || c == '>' || c == '&') {
        buffer_ += "\\u00";
        buffer_ += kHex[byte >> 4];
        buffer_ += kHex[byte & 15];
      } else {
        buffer_ += c;
      }
    }
    return *this << "\"";
  }
  /// Text content of an HTML element.
  Out& Html(std::string_view text) {
    for (char c : XmlSafe(text)) {
      if (c == '<')
        buffer_ += "&lt;";
      else if (c == '>')
        buffer_ += "&gt;";
      else if (c == '&')
        buffer_ += "&amp;";
      else
        buffer_ += c;
    }
    return *this;
  }
  void Flush() {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
  }

 private:
  std::ostream& out_;
  std::string buffer_;
};

void Encode(std::int64_t value, std::string& out) {
  auto z = static_cast<std::uint64_t>(value < 0 ? -2 * value - 1 : 2 * value);
  while (z >= 32) {
    out += kAlphabet[32 + (z & 31)];
    z >>= 5;
  }
  out += kAlphabet[z];
}

/// Lines of points in thousandths of a degree: their count, then each one's
/// count and points as differences.
std::string EncodeLines(const std::vector<std::vector<LonLat>>& lines) {
  std::string out;
  Encode(static_cast<std::int64_t>(lines.size()), out);
  for (const auto& line : lines) {
    Encode(static_cast<std::int64_t>(line.size()), out);
    std::int64_t x = 0, y = 0;
    for (const LonLat& p : line) {
      const auto nx = std::llround(p.lon * 1000), ny = std::llround(p.lat * 1000);
      Encode(nx - x, out);
      Encode(ny - y, out);
      x = nx, y = ny;
    }
  }
  return out;
}

/// The border arcs, each cut where it jumps across 180 degrees.
std::vector<std::vector<LonLat>> BorderLines(const Land& land) {
  std::vector<std::vector<LonLat>> lines;
  for (int index : land.borders) {
    const auto& arc = land.arcs[static_cast<std::size_t>(index)];
    lines.emplace_back();
    for (std::size_t i = 0; i < arc.size(); ++i) {
      if (i > 0 && std::fabs(arc[i].lon - arc[i - 1].lon) > 180) lines.emplace_back();
      lines.back().push_back(arc[i]);
    }
  }
  return lines;
}

/// A column of one field of every camera: `delta` writes differences.
template <typename Field>
void Column(Out& out, std::string_view name, const CameraMap& map, Field field, bool delta) {
  out << ",\"" << name << "\":[";
  std::int64_t last = 0;
  for (std::size_t i = 0; i < map.cameras.size(); ++i) {
    const std::int64_t value = field(i);
    if (i != 0) out << ",";
    out.Int(delta ? value - last : value);
    last = value;
  }
  out << "]";
}

void WriteInputs(Out& out, const CameraMap& map) {
  out << "\"inputs\":[";
  for (std::size_t i = 0; i < map.inputs.size(); ++i) {
    const MapInput& input = map.inputs[i];
    out << (i == 0 ? "{\"path\":" : ",{\"path\":");
    out.Json(FileNameText(input.path)) << ",\"version\":";
    out.Json(input.version) << ",\"line\":";
    out.Json(input.version_line) << ",\"end\":";
    out.Int(static_cast<std::int64_t>(input.end)) << "}";
  }
  out << "]";
}

void WriteCameras(Out& out, const CameraMap& map) {
  const auto& c = map.cameras;
  Column(
      out, "x", map, [&](std::size_t i) { return std::int64_t{c[i].point.x}; }, true);
  Column(
      out, "y", map, [&](std::size_t i) { return std::int64_t{c[i].point.y}; }, true);
  Column(
      out, "t", map, [&](std::size_t i) { return std::int64_t{c[i].point.type}; }, false);
  Column(
      out, "s", map, [&](std::size_t i) { return std::int64_t{c[i].point.speed}; }, false);
  Column(
      out, "f", map, [&](std::size_t i) { return std::int64_t{c[i].point.flag}; }, false);
  Column(
      out, "a", map, [&](std::size_t i) { return std::int64_t{c[i].point.angle}; }, false);
  if (map.diff) {
    Column(
        out, "k", map, [&](std::size_t i) { return static_cast<std::int64_t>(c[i].kind); }, false);
  }
  out << ",\"ln\":[";
  std::int64_t last = 0;
  for (std::size_t i = 0; i < map.lines.size(); ++i) {
    out << (i == 0 ? "" : ",");
    out.Int(std::int64_t{map.lines[i]} - last);
    last = map.lines[i];
  }
  out << "],\"samples\":[";
  const char* comma = "";
  for (std::size_t i = 0; i < c.size(); ++i) {
    if (!IsSample(c[i].point)) continue;
    out << comma;
    out.Int(static_cast<std::int64_t>(i));
    comma = ",";
  }
  out << "]";
}

void WriteDiff(Out& out, const CameraMap& map) {
  out << ",\"changes\":[";
  for (std::size_t i = 0; i < map.changes.size(); ++i) {
    const MapChange& change = map.changes[i];
    const GPS_POINT& p = change.old_point;
    const std::int64_t row[] = {static_cast<std::int64_t>(change.camera),
                                std::int64_t{p.x},
                                std::int64_t{p.y},
                                std::int64_t{p.type},
                                std::int64_t{p.speed},
                                std::int64_t{p.flag},
                                std::int64_t{p.angle},
                                std::int64_t{change.old_line}};
    out << (i == 0 ? "[" : ",[");
    for (std::size_t k = 0; k < std::size(row); ++k)
      out.Int(row[k]) << (k + 1 < std::size(row) ? "," : "]");
  }
  out << "],\"moves\":[";
  for (std::size_t i = 0; i < map.moves.size(); ++i) {
    out << (i == 0 ? "" : ",");
    out.Int(static_cast<std::int64_t>(map.moves[i].first)) << ",";
    out.Int(static_cast<std::int64_t>(map.moves[i].second));
  }
  const DiffCounts& n = map.counts;
  out << "],\"counts\":[";
  out.Int(static_cast<std::int64_t>(n.added)) << ",";
  out.Int(static_cast<std::int64_t>(n.removed)) << ",";
  out.Int(static_cast<std::int64_t>(n.changed)) << ",";
  out.Int(static_cast<std::int64_t>(n.unchanged)) << "]";
}

void WriteData(Out& out, const CameraMap& map, const HtmlOptions& options, const MapView& view) {
  out << "{\"title\":";
  out.Json(map.title) << ",\"diff\":" << (map.diff ? "true" : "false") << ",";
  WriteInputs(out, map);
  out << ",\"view\":[";
  out.Int(std::llround(view.box.west * 10000)) << ",";
  out.Int(std::llround(view.box.south * 10000)) << ",";
  out.Int(std::llround(view.box.east * 10000)) << ",";
  out.Int(std::llround(view.box.north * 10000)) << "]";
  out << ",\"cameras\":";
  out.Int(static_cast<std::int64_t>(view.cameras)) << ",\"total\":";
  out.Int(static_cast<std::int64_t>(map.total - view.samples)) << ",\"palette\":[";
  for (int type = 1; type <= 9; ++type) {
    out << "\"" << TypeColour(static_cast<std::uint8_t>(type)) << (type == 9 ? "\"]" : "\",");
  }
  out << ",\"kinds\":[";
  for (int kind = 0; kind < 5; ++kind) {
    out << "\"" << KindColour(static_cast<MarkKind>(kind), 1) << (kind == 4 ? "\"]" : "\",");
  }
  WriteCameras(out, map);
  if (map.diff) WriteDiff(out, map);
  const Land& land = WorldLand();
  out << ",\"land\":\"" << EncodeLines(land.areas) << "\",\"borders\":\""
      << EncodeLines(BorderLines(land)) << "\",\"tiles\":";
  out.Json(options.tiles) << ",\"attribution\":";
  out.Json(options.attribution) << "}";
}

}  // namespace

bool HtmlMapAvailable() {
  return Leaflet() != nullptr;
}

std::string TileAttribution(const std::string& url) {
  const std::size_t scheme = url.find("://");
  const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const std::string host = url.substr(start, url.find('/', start) - start);
  if (host.find("openstreetmap.org") != std::string::npos)
    return "\u00A9 OpenStreetMap contributors (openstreetmap.org/copyright)";
  return "tiles: " + host;
}

void WriteHtmlMap(const CameraMap& map, const HtmlOptions& options, std::ostream& stream) {
  const LeafletAssets& leaflet = *Leaflet();
  const MapView view = ViewOf(map, options.bbox);
  Out out(stream);
  // Nothing but the page itself, and tiles when asked for.
  out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src data:"
      << (options.tiles.empty() ? "" : " https: http:") << "\">\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  out.Html(map.title) << "</title>\n<style>\n"
                      << leaflet.style << "\n"
                      << kPageStyle << "\n</style>\n<script>\n"
                      << leaflet.script << "\n</script>\n<script>\n"
                      << leaflet.cluster_script
                      << "\n</script>\n</head><body><div id=\"map\"></div>\n"
                         "<script type=\"application/json\" id=\"korvel-data\">";
  WriteData(out, map, options, view);
  out << "</script>\n<script>\n" << kPageScript << "</script>\n</body></html>\n";
}

}  // namespace korvel::map
