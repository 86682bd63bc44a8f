#include "exchange/map/svg_map.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <numbers>
#include <ostream>

#include "exchange/export.h"
#include "exchange/map/land.h"
#include "exchange/map/svg_writer.h"

namespace korvel::map {
namespace {

/// Density levels, light to dark (viridis, reversed): readable on land and sea.
constexpr std::array<std::string_view, 5> kDensityRamp = {"#FDE725", "#5EC962", "#21918C",
                                                          "#3B528B", "#440154"};

// Page layout, in SVG units (CSS pixels).
constexpr double kLeft = 60, kTitleTop = 24, kLineHeight = 16, kMapMax = 760, kGap = 24,
                 kLegendWidth = 230;
constexpr double kMarkRadius = 4, kTickLength = 7, kSmallRadius = 1.6;

std::string FourDecimals(std::uint32_t units) {
  char text[24];
  return std::string(text, FormatDegrees(units, text, true));
}

/// "type 5, 80 km/h, dirtype 0, direction 247, line 12".
std::string Fields(const GPS_POINT& p, std::uint32_t line) {
  std::string text = "type " + std::to_string(p.type) + ", " + std::to_string(p.speed) +
                     " km/h, dirtype " + std::to_string(p.flag) + ", direction " +
                     std::to_string(p.angle);
  if (line != 0) text += ", line " + std::to_string(line);
  return text;
}

/// "126.95" style degree labels, as many decimals as the step needs.
std::string DegreeLabel(double value, double step, char positive, char negative) {
  int decimals = 0;
  while (decimals < 4 && std::fabs(step * std::pow(10, decimals) -
                                   std::round(step * std::pow(10, decimals))) > 1e-9)
    ++decimals;
  char text[32];
  const auto end =
      std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::fixed, decimals)
          .ptr;
  std::string label(text, end);
  return label + "\u00B0" + (value < 0 ? negative : positive);
}

/// A round step giving a few lines over `span` degrees.
double GraticuleStep(double span) {
  static constexpr double kSteps[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.25, 0.5, 1, 2, 5, 10, 15, 30};
  for (double step : kSteps) {
    if (span / step <= 8) return step;
  }
  return 45;
}

/// Sutherland-Hodgman: `ring` cut to `box`; edges along the box stay, which a
/// filled shape under a clip path does not show.
std::vector<LonLat> ClipRing(const std::vector<LonLat>& ring, const GeoBox& box) {
  std::vector<LonLat> points = ring, next;
  for (int side = 0; side < 4 && !points.empty(); ++side) {
    const auto inside = [&](const LonLat& p) {
      switch (side) {
        case 0:
          return p.lon >= box.west;
        case 1:
          return p.lon <= box.east;
        case 2:
          return p.lat >= box.south;
        default:
          return p.lat <= box.north;
      }
    };
    const auto cross = [&](const LonLat& a, const LonLat& b) {
      const double edge = side == 0   ? box.west
                          : side == 1 ? box.east
                          : side == 2 ? box.south
                                      : box.north;
      if (side < 2) {
        const double t = (edge - a.lon) / (b.lon - a.lon);
        return LonLat{edge, a.lat + t * (b.lat - a.lat)};
      }
      const double t = (edge - a.lat) / (b.lat - a.lat);
      return LonLat{a.lon + t * (b.lon - a.lon), edge};
    };
    next.clear();
    for (std::size_t i = 0; i < points.size(); ++i) {
      const LonLat& a = points[(i + points.size() - 1) % points.size()];
      const LonLat& b = points[i];
      if (inside(b)) {
        if (!inside(a)) next.push_back(cross(a, b));
        next.push_back(b);
      } else if (inside(a)) {
        next.push_back(cross(a, b));
      }
    }
    points.swap(next);
  }
  return points;
}

void DrawLand(SvgWriter& svg, const Projection& project, const GeoBox& pad) {
  const Land& land = WorldLand();
  svg << "<path class=\"land\" d=\"";
  for (const auto& area : land.areas) {
    const std::vector<LonLat> clipped = ClipRing(area, pad);
    if (clipped.size() < 3) continue;
    svg.MoveTo(project(clipped[0].lon, clipped[0].lat));
    for (std::size_t i = 1; i < clipped.size(); ++i)
      svg.LineTo(project(clipped[i].lon, clipped[i].lat));
    svg << "Z";
  }
  svg << "\"/>\n<path class=\"border\" d=\"";
  for (int index : land.borders) {
    const auto& arc = land.arcs[static_cast<std::size_t>(index)];
    bool open = false;
    for (std::size_t i = 1; i < arc.size(); ++i) {
      const LonLat &a = arc[i - 1], &b = arc[i];
      // A step across 180 degrees joins the ends of the map: no line.
      const bool near = std::fabs(a.lon - b.lon) <= 180 && std::max(a.lon, b.lon) >= pad.west &&
                        std::min(a.lon, b.lon) <= pad.east && std::max(a.lat, b.lat) >= pad.south &&
                        std::min(a.lat, b.lat) <= pad.north;
      if (!near) {
        open = false;
        continue;
      }
      if (!open) svg.MoveTo(project(a.lon, a.lat));
      svg.LineTo(project(b.lon, b.lat));
      open = true;
    }
  }
  svg << "\"/>\n";
}

/// Draws the lines; returns their labels, which go outside the clipped view.
std::string DrawGraticule(SvgWriter& svg, const Projection& project) {
  const GeoBox& v = project.view();
  const double step = GraticuleStep(std::max(v.east - v.west, v.north - v.south));
  const double bottom = project.top() + project.height(), right = project.left() + project.width();
  std::string labels;
  svg << "<path class=\"graticule\" d=\"";
  for (double lon = std::ceil(v.west / step - 1e-9) * step; lon <= v.east + 1e-9; lon += step) {
    const double x = project(lon, v.north).x;
    svg.MoveTo({x, project.top()});
    svg.LineTo({x, bottom});
    labels += "<text class=\"lon\" x=\"" + FormatNumber(x) + "\" y=\"" + FormatNumber(bottom + 15) +
              "\">" + DegreeLabel(lon, step, 'E', 'W') + "</text>\n";
  }
  for (double lat = std::ceil(v.south / step - 1e-9) * step; lat <= v.north + 1e-9; lat += step) {
    const double y = project(v.west, lat).y;
    svg.MoveTo({project.left(), y});
    svg.LineTo({right, y});
    labels += "<text class=\"lat\" x=\"" + FormatNumber(project.left() - 4) + "\" y=\"" +
              FormatNumber(y + 4) + "\">" + DegreeLabel(lat, step, 'N', 'S') + "</text>\n";
  }
  svg << "\"/>\n";
  return labels;
}

void DrawCamera(SvgWriter& svg, const Projection& project, const MapCamera& camera,
                std::uint32_t line, const MapChange* change, bool ticks) {
  const GPS_POINT& p = camera.point;
  const PagePoint at = project(Deg(p.x), Deg(p.y));
  svg << "<g class=\"camera";
  if (camera.kind != MarkKind::kCamera) svg << " " << KindName(camera.kind);
  if (IsSample(p)) svg << " sample";
  svg << "\" transform=\"translate(";
  svg.Number(at.x) << " ";
  svg.Number(at.y) << ")\"><circle r=\"";
  svg.Number(camera.kind == MarkKind::kUnchanged ? kSmallRadius : kMarkRadius)
      << "\" fill=\"" << KindColour(camera.kind, p.type) << "\"/>";
  if (ticks && p.flag != 0 && camera.kind != MarkKind::kUnchanged) {
    // From the circle's edge outwards, so its middle keeps the type's colour.
    const double angle = p.angle * std::numbers::pi / 180;
    const double dx = std::sin(angle), dy = -std::cos(angle);
    svg << "<path d=\"";
    svg.MoveTo({dx * kMarkRadius, dy * kMarkRadius});
    svg.LineTo({dx * (kMarkRadius + kTickLength), dy * (kMarkRadius + kTickLength)});
    svg << "\"/>";
  }
  svg << "<title>";
  if (camera.kind != MarkKind::kCamera) svg << KindName(camera.kind) << ": ";
  svg << FourDecimals(p.x) << ", " << FourDecimals(p.y) << ": ";
  svg.Text(Fields(p, line));
  if (change != nullptr) {
    svg << "; was ";
    svg.Text(Fields(change->old_point, change->old_line));
  }
  svg << "</title></g>\n";
}

/// One shaded square per 0.02-degree cell holding cameras of `kind`.
struct Density {
  std::uint64_t max = 0;
  std::array<std::uint64_t, kDensityRamp.size()> level_min{}, level_max{};
};

int Level(std::uint64_t count, std::uint64_t max) {
  if (max <= 1) return static_cast<int>(kDensityRamp.size()) - 1;
  const double share = std::log(static_cast<double>(count)) / std::log(static_cast<double>(max));
  return std::min(static_cast<int>(share * kDensityRamp.size()),
                  static_cast<int>(kDensityRamp.size()) - 1);
}

Density DrawDensity(SvgWriter& svg, const Projection& project, const CameraMap& map, MarkKind kind,
                    bool diff) {
  std::vector<std::uint64_t> cells;
  for (const MapCamera& c : map.cameras) {
    if (c.kind == kind && InView(project.view(), c.point))
      cells.push_back(std::uint64_t{c.point.y / kCellSize} << 32 | c.point.x / kCellSize);
  }
  std::sort(cells.begin(), cells.end());
  Density density;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> counted;
  for (std::size_t i = 0; i < cells.size();) {
    std::size_t j = i;
    while (j < cells.size() && cells[j] == cells[i]) ++j;
    counted.emplace_back(cells[i], j - i);
    density.max = std::max<std::uint64_t>(density.max, j - i);
    i = j;
  }
  cells = {};
  svg << "<g class=\"density " << KindName(kind) << "\">\n";
  for (const auto& [cell, count] : counted) {
    const double west = static_cast<double>(cell & 0xFFFFFFFFu) * kCellDegrees;
    const double south = static_cast<double>(cell >> 32) * kCellDegrees;
    const PagePoint a = project(west, south + kCellDegrees), b = project(west + kCellDegrees, south);
    const int level = Level(count, density.max);
    auto& low = density.level_min[static_cast<std::size_t>(level)];
    low = low == 0 ? count : std::min(low, count);
    auto& high = density.level_max[static_cast<std::size_t>(level)];
    high = std::max(high, count);
    svg << "<rect";
    svg.Attr(" x", a.x)
        .Attr(" y", a.y)
        .Attr(" width", std::max(b.x - a.x, 0.5))
        .Attr(" height", std::max(b.y - a.y, 0.5));
    if (diff) {
      svg << " fill=\"" << KindColour(kind, 0) << "\" fill-opacity=\"";
      svg.Number(0.2 + 0.2 * level) << "\"";
    } else {
      svg << " fill=\"" << kDensityRamp[static_cast<std::size_t>(level)] << "\"";
    }
    svg << "><title>" << count << " cameras in this 0.02\u00B0 cell</title></rect>\n";
  }
  svg << "</g>\n";
  return density;
}

void DrawScaleBar(SvgWriter& svg, const Projection& project) {
  const double km_per_unit = project.KmPerUnit();
  const double want = km_per_unit * project.width() / 5;
  double km = std::pow(10, std::floor(std::log10(want)));
  for (double factor : {5.0, 2.0}) {
    if (km * factor <= want) {
      km *= factor;
      break;
    }
  }
  const double length = km / km_per_unit;
  const double x = project.left() + 12, y = project.top() + project.height() - 14;
  svg << "<g class=\"scale\"><rect";
  svg.Attr(" x", x - 6).Attr(" y", y - 18).Attr(" width", length + 12).Attr(" height", 26);
  svg << " fill=\"#ffffff\" fill-opacity=\"0.8\"/><path d=\"";
  svg.MoveTo({x, y - 5});
  svg.LineTo({x, y});
  svg.LineTo({x + length, y});
  svg.LineTo({x + length, y - 5});
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, km, std::chars_format::general).ptr;
  svg << "\"/><text";
  svg.Attr(" x", x + length / 2).Attr(" y", y - 7);
  svg << " text-anchor=\"middle\">" << std::string_view(text, static_cast<std::size_t>(end - text))
      << " km</text></g>\n";
}

/// The legend's rows: a swatch (a circle, or a square for density) and words.
class Legend {
 public:
  Legend(SvgWriter& svg, double x, double y) : svg_(svg), x_(x), y_(y) {}
  void Heading(std::string_view text) {
    y_ += 8;
    svg_ << "<text class=\"heading\"";
    svg_.Attr(" x", x_).Attr(" y", y_);
    svg_ << ">";
    svg_.Text(text) << "</text>\n";
    y_ += 20;
  }
  void Row(std::string_view colour, bool square, std::string_view text, double opacity = 1,
           bool ring = false) {
    if (square) {
      svg_ << "<rect";
      svg_.Attr(" x", x_).Attr(" y", y_ - 10).Attr(" width", 12).Attr(" height", 12);
    } else {
      svg_ << "<circle";
      svg_.Attr(" cx", x_ + 6).Attr(" cy", y_ - 4).Attr(" r", kMarkRadius + 1);
    }
    svg_ << " fill=\"" << colour << "\"";
    if (ring) svg_ << " stroke=\"#000000\" stroke-width=\"1.2\"";
    if (opacity < 1) {
      svg_ << " fill-opacity=\"";
      svg_.Number(opacity) << "\"";
    }
    svg_ << "/><text";
    svg_.Attr(" x", x_ + 20).Attr(" y", y_);
    svg_ << ">";
    svg_.Text(text) << "</text>\n";
    y_ += 18;
  }
  void Note(std::string_view text) {
    svg_ << "<text class=\"note\"";
    svg_.Attr(" x", x_).Attr(" y", y_);
    svg_ << ">";
    svg_.Text(text) << "</text>\n";
    y_ += 16;
  }
  double bottom() const { return y_; }

 private:
  SvgWriter& svg_;
  double x_, y_;
};

std::string Count(std::uint64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

void DensityRows(Legend& legend, const Density& density, MarkKind kind, bool diff) {
  for (std::size_t level = 0; level < kDensityRamp.size(); ++level) {
    if (density.level_max[level] == 0) continue;
    const std::string range = density.level_min[level] == density.level_max[level]
                                  ? std::to_string(density.level_min[level])
                                  : std::to_string(density.level_min[level]) + "\u2013" +
                                        std::to_string(density.level_max[level]);
    if (diff) {
      legend.Row(KindColour(kind, 0), true, range + " per cell",
                 0.2 + 0.2 * static_cast<double>(level));
    } else {
      legend.Row(kDensityRamp[level], true, range + " per cell");
    }
  }
}

/// The page's frame: the map's place and the whole page's size.
struct Page {
  double top, legend_x, width, height;
};

Page Layout(const Projection& project) {
  Page page;
  page.top = project.top();
  page.legend_x = kLeft + project.width() + kGap;
  page.width = page.legend_x + kLegendWidth;
  page.height = std::max(page.top + project.height() + 40, 420.0);
  return page;
}

/// A rect attribute list covering the map's area.
void MapRect(SvgWriter& svg, const Projection& project) {
  svg.Attr(" x", kLeft)
      .Attr(" y", project.top())
      .Attr(" width", project.width())
      .Attr(" height", project.height());
}

void WriteHead(SvgWriter& svg, const CameraMap& map, const Page& page, const Projection& project) {
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\"";
  svg.Attr(" width", page.width).Attr(" height", page.height);
  svg << " viewBox=\"0 0 ";
  svg.Number(page.width) << " ";
  svg.Number(page.height)
      << "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"12\">\n";
  svg << "<title>";
  svg.Text(map.title) << "</title>\n";
  svg << "<style>\n"
         ".sea{fill:#DCEAF2}.land{fill:#F4F1E8;stroke:#A89F8C;stroke-width:0.6}\n"
         ".border{fill:none;stroke:#8A7F6A;stroke-width:0.8;stroke-dasharray:4 2}\n"
         ".graticule{fill:none;stroke:#6A7F8C;stroke-width:0.4;stroke-opacity:0.5}\n"
         ".frame{fill:none;stroke:#444444}.lon{text-anchor:middle}.lat{text-anchor:end}\n"
         ".camera circle{stroke:#FFFFFF;stroke-width:0.8}.camera path{stroke:#222222;"
         "stroke-width:1.4;stroke-linecap:round}\n"
         ".unchanged circle{stroke:none}.sample circle{stroke:#000000;stroke-width:1.2}\n"
         ".scale path{fill:none;stroke:#222222;stroke-width:1.5}\n"
         ".moved{fill:none;stroke:#E69F00;stroke-width:1.5}\n"
         ".title{font-size:16px;font-weight:bold}.heading{font-weight:bold}"
         ".note{fill:#444444;font-size:11px}\n"
         "</style>\n<defs><clipPath id=\"view\"><rect";
  MapRect(svg, project);
  svg << "/></clipPath></defs>\n<rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/>\n"
         "<g clip-path=\"url(#view)\">\n<rect class=\"sea\"";
  MapRect(svg, project);
  svg << "/>\n";
}

/// The density layers drawn, for the legend.
struct Drawn {
  Density marks;
  std::array<Density, 4> kinds;  ///< added, removed, changed, unchanged
  std::uint64_t moves = 0;
};

Drawn DrawDensities(SvgWriter& svg, const Projection& project, const CameraMap& map,
                    const MapView& view) {
  Drawn drawn;
  if (view.dense_unchanged)
    drawn.kinds[3] = DrawDensity(svg, project, map, MarkKind::kUnchanged, true);
  if (view.dense_marks && !map.diff)
    drawn.marks = DrawDensity(svg, project, map, MarkKind::kCamera, false);
  if (view.dense_marks && map.diff) {
    drawn.kinds[0] = DrawDensity(svg, project, map, MarkKind::kAdded, true);
    drawn.kinds[1] = DrawDensity(svg, project, map, MarkKind::kRemoved, true);
    drawn.kinds[2] = DrawDensity(svg, project, map, MarkKind::kChanged, true);
  }
  return drawn;
}

std::uint64_t DrawMoves(SvgWriter& svg, const Projection& project, const CameraMap& map) {
  std::uint64_t in_view = 0;
  svg << "<path class=\"moved\" d=\"";
  for (const auto& [from, to] : map.moves) {
    const GPS_POINT &a = map.cameras[from].point, &b = map.cameras[to].point;
    if (!InView(project.view(), a) || !InView(project.view(), b)) continue;
    ++in_view;
    svg.MoveTo(project(Deg(a.x), Deg(a.y)));
    svg.LineTo(project(Deg(b.x), Deg(b.y)));
  }
  svg << "\"/>\n";
  return in_view;
}

/// The order marks are drawn in: unchanged ones under the differences, the
/// most frequent type first and rarer ones on top, the sample points last.
std::vector<std::size_t> DrawOrder(const CameraMap& map, const MapView& view) {
  std::array<std::uint64_t, 256> rank{};
  std::vector<std::pair<std::uint64_t, std::uint8_t>> by_count;
  for (const auto& [type, count] : view.types) by_count.emplace_back(count, type);
  std::stable_sort(by_count.begin(), by_count.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  for (std::size_t r = 0; r < by_count.size(); ++r) rank[by_count[r].second] = r;
  const auto layer = [&](const MapCamera& c) -> std::uint64_t {
    if (IsSample(c.point)) return 1000;
    if (c.kind == MarkKind::kUnchanged) return 0;
    return 1 + (c.kind == MarkKind::kCamera ? rank[c.point.type] : 0);
  };
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < map.cameras.size(); ++i) {
    const MapCamera& c = map.cameras[i];
    const bool unchanged = c.kind == MarkKind::kUnchanged;
    if (!InView(view.box, c.point) || (unchanged ? view.dense_unchanged : view.dense_marks))
      continue;
    order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return layer(map.cameras[a]) < layer(map.cameras[b]);
  });
  return order;
}

void DrawMarks(SvgWriter& svg, const Projection& project, const CameraMap& map, const MapView& view,
               bool ticks) {
  svg << "<g class=\"cameras\">\n";
  for (std::size_t i : DrawOrder(map, view)) {
    const auto change =
        std::lower_bound(map.changes.begin(), map.changes.end(), i,
                         [](const MapChange& c, std::size_t index) { return c.camera < index; });
    const MapChange* old = change != map.changes.end() && change->camera == i ? &*change : nullptr;
    DrawCamera(svg, project, map.cameras[i], LineOf(map, i), old, ticks);
  }
  svg << "</g>\n";
}

/// Direction ticks at views up to this wide: beyond, they only blot.
constexpr double kTicksUpToKm = 50;

bool DrawsTicks(const Projection& project) {
  return project.width() * project.KmPerUnit() <= kTicksUpToKm;
}

/// Land, graticule, cameras, the frame and the scale bar.
Drawn DrawLayers(SvgWriter& svg, const Projection& project, const CameraMap& map,
                 const MapView& view) {
  const GeoBox& v = view.box;
  // Land is cut a little outside the view; the clip path trims the rest.
  const double pad_x = (v.east - v.west) * 0.02, pad_y = (v.north - v.south) * 0.02;
  DrawLand(svg, project, {v.west - pad_x, v.south - pad_y, v.east + pad_x, v.north + pad_y});
  const std::string labels = DrawGraticule(svg, project);
  Drawn drawn = DrawDensities(svg, project, map, view);
  svg << "</g>\n" << labels;
  if (!view.dense_marks && !map.moves.empty()) drawn.moves = DrawMoves(svg, project, map);
  DrawMarks(svg, project, map, view, DrawsTicks(project));
  svg << "<rect class=\"frame\"";
  MapRect(svg, project);
  svg << "/>\n";
  DrawScaleBar(svg, project);
  return drawn;
}

/// The title: what, which version, how many, where.
void DrawTitle(SvgWriter& svg, const CameraMap& map, const MapView& view) {
  svg << "<text class=\"title\"";
  svg.Attr(" x", kLeft).Attr(" y", kTitleTop);
  svg << ">";
  svg.Text(map.title) << "</text>\n";
  const GeoBox& v = view.box;
  const std::uint64_t cameras = map.total - view.samples;
  std::string line = Count(cameras, "camera", "cameras");
  if (view.in_view != cameras) line += ", " + std::to_string(view.in_view) + " on this map";
  if (view.samples != 0)
    line += " (and " + Count(view.samples, "sample point", "sample points") + ")";
  if (view.dense_marks || view.dense_unchanged)
    line += "; over " + std::to_string(kDensityAbove) + ": density per 0.02\u00B0 cell";
  std::vector<std::string> lines = map.versions;
  lines.push_back(line);
  lines.push_back("view: longitude " + DegreeLabel(v.west, 0.0001, 'E', 'W') + " to " +
                  DegreeLabel(v.east, 0.0001, 'E', 'W') + ", latitude " +
                  DegreeLabel(v.south, 0.0001, 'N', 'S') + " to " +
                  DegreeLabel(v.north, 0.0001, 'N', 'S'));
  double y = kTitleTop + kLineHeight + 2;
  for (const std::string& text : lines) {
    svg << "<text";
    svg.Attr(" x", kLeft).Attr(" y", y);
    svg << ">";
    svg.Text(text) << "</text>\n";
    y += kLineHeight;
  }
}

void DiffLegend(Legend& legend, const MapView& view, const Drawn& drawn) {
  legend.Heading("Cameras");
  constexpr MarkKind kOrder[] = {MarkKind::kAdded, MarkKind::kRemoved, MarkKind::kChanged,
                                 MarkKind::kUnchanged};
  for (MarkKind kind : kOrder) {
    legend.Row(KindColour(kind, 0), false,
               std::string(KindName(kind)) + ": " +
                   std::to_string(view.kinds[static_cast<std::size_t>(kind)]));
  }
  if (drawn.moves != 0) {
    legend.Note("moved (a line from removed to added,");
    legend.Note("same record, within 0.02\u00B0): " + std::to_string(drawn.moves));
  }
  for (std::size_t k = 0; k < 4; ++k) {
    if (drawn.kinds[k].max == 0) continue;
    legend.Heading(std::string(KindName(kOrder[k])) + " per 0.02\u00B0 cell");
    DensityRows(legend, drawn.kinds[k], kOrder[k], true);
  }
}

void DrawLegend(SvgWriter& svg, const CameraMap& map, const MapView& view, const Drawn& drawn,
                const Page& page, bool ticks) {
  Legend legend(svg, page.legend_x, page.top);
  if (map.diff) {
    DiffLegend(legend, view, drawn);
  } else {
    legend.Heading("Camera types");
    for (const auto& [type, count] : view.types) {
      legend.Row(TypeColour(type), false,
                 "type " + std::to_string(type) + ": " + std::to_string(count));
    }
    if (drawn.marks.max != 0) {
      legend.Heading("Cameras per 0.02\u00B0 cell");
      DensityRows(legend, drawn.marks, MarkKind::kCamera, false);
    }
  }
  if (view.samples != 0) {
    legend.Row("#FFFFFF", false, "sample points: " + std::to_string(view.samples), 1, true);
    if (view.samples_outside != 0) {
      legend.Note(Count(view.samples_outside, "sample point", "sample points") +
                  " outside this view");
    }
  }
  if (!view.dense_marks) {
    legend.Heading("Marks");
    legend.Note(ticks ? "tick: direction (dirtype not 0)"
                      : "no direction ticks: view over 50 km wide");
    legend.Note("hover a mark for its record");
  }
}

}  // namespace

void DrawCameraMap(const CameraMap& map, const std::optional<GeoBox>& bbox, std::ostream& out) {
  const MapView view = ViewOf(map, bbox);
  // The title, the version lines, the counts and the view, then the map.
  const double top = kTitleTop + kLineHeight * static_cast<double>(map.versions.size() + 3) + 6;
  const Projection project(view.box, kLeft, top, kMapMax, kMapMax);
  const Page page = Layout(project);
  SvgWriter svg(out);
  WriteHead(svg, map, page, project);
  const Drawn drawn = DrawLayers(svg, project, map, view);
  DrawTitle(svg, map, view);
  DrawLegend(svg, map, view, drawn, page, DrawsTicks(project));
  svg << "</svg>\n";
}

}  // namespace korvel::map
