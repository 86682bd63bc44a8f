#include "exchange/map/camera_map.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <numbers>
#include <ostream>
#include <tuple>

#include "exchange/export.h"
#include "exchange/map/land.h"
#include "exchange/map/svg_writer.h"

namespace korvel::map {
namespace {

/// Paul Tol's "muted" scheme: nine colours told apart with any colour vision.
constexpr std::array<std::string_view, 9> kTypePalette = {"#CC6677", "#332288", "#DDCC77",
                                                          "#117733", "#88CCEE", "#882255",
                                                          "#44AA99", "#999933", "#AA4499"};
/// Okabe and Ito's green, vermillion and orange, and a neutral grey.
constexpr std::string_view kAddedColour = "#009E73", kRemovedColour = "#D55E00",
                           kChangedColour = "#E69F00", kUnchangedColour = "#8C8C8C";
/// Density levels, light to dark (viridis, reversed): readable on land and sea.
constexpr std::array<std::string_view, 5> kDensityRamp = {"#FDE725", "#5EC962", "#21918C",
                                                          "#3B528B", "#440154"};

// Page layout, in SVG units (CSS pixels).
constexpr double kLeft = 60, kTitleTop = 24, kLineHeight = 16, kMapMax = 760, kGap = 24,
                 kLegendWidth = 230;
constexpr double kMarkRadius = 4, kTickLength = 7, kSmallRadius = 1.6;

double Deg(std::uint32_t units) {
  return units / kUnitsPerDegree;
}

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

std::string_view KindName(MarkKind kind) {
  switch (kind) {
    case MarkKind::kCamera:
      return "camera";
    case MarkKind::kAdded:
      return "added";
    case MarkKind::kRemoved:
      return "removed";
    case MarkKind::kChanged:
      return "changed";
    case MarkKind::kUnchanged:
      return "unchanged";
  }
  return "camera";
}

std::string_view KindColour(MarkKind kind, std::uint8_t type) {
  switch (kind) {
    case MarkKind::kAdded:
      return kAddedColour;
    case MarkKind::kRemoved:
      return kRemovedColour;
    case MarkKind::kChanged:
      return kChangedColour;
    case MarkKind::kUnchanged:
      return kUnchangedColour;
    case MarkKind::kCamera:
      break;
  }
  return TypeColour(type);
}

bool IsSample(const GPS_POINT& p) {
  return IsSamplePoint(p);
}

std::uint32_t LineOf(const std::vector<std::uint32_t>& lines, std::size_t index) {
  return index < lines.size() ? lines[index] : 0;
}

void NoteLeftOut(const GPS_POINT& p, std::size_t index, LeftOut& left_out) {
  if (left_out.count++ < kShownLeftOut) left_out.shown.push_back(LeftOutText(p, index));
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

/// The view: the cameras' box with a margin, at least a few kilometres wide.
GeoBox FitView(const std::vector<MapCamera>& cameras) {
  if (cameras.empty()) return {124, 33, 132, 43};  // Korea, for a map of nothing
  GeoBox box{180, 90, 0, 0};
  for (const MapCamera& c : cameras) {
    box.west = std::min(box.west, Deg(c.point.x));
    box.east = std::max(box.east, Deg(c.point.x));
    box.south = std::min(box.south, Deg(c.point.y));
    box.north = std::max(box.north, Deg(c.point.y));
  }
  const double span = std::max({box.east - box.west, box.north - box.south, 0.05});
  const double margin = span * 0.08;
  const double cx = (box.west + box.east) / 2, cy = (box.south + box.north) / 2;
  const double half_x = std::max((box.east - box.west) / 2, span / 4) + margin;
  const double half_y = std::max((box.north - box.south) / 2, span / 4) + margin;
  return {std::max(cx - half_x, -180.0), std::max(cy - half_y, -90.0), std::min(cx + half_x, 180.0),
          std::min(cy + half_y, 90.0)};
}

bool InView(const GeoBox& v, const GPS_POINT& p) {
  const double lon = Deg(p.x), lat = Deg(p.y);
  return lon >= v.west && lon <= v.east && lat >= v.south && lat <= v.north;
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
  for (const auto& ring : land.rings) {
    const std::vector<LonLat> clipped = ClipRing(RingPoints(land, ring), pad);
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
      const bool near = std::max(a.lon, b.lon) >= pad.west && std::min(a.lon, b.lon) <= pad.east &&
                        std::max(a.lat, b.lat) >= pad.south && std::min(a.lat, b.lat) <= pad.north;
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
                std::uint32_t line, const MapChange* change) {
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
  if (p.flag != 0 && camera.kind != MarkKind::kUnchanged) {
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
    const double west = static_cast<double>(cell & 0xFFFFFFFFu) * kCellSize / 10000.0;
    const double south = static_cast<double>(cell >> 32) * kCellSize / 10000.0;
    const PagePoint a = project(west, south + 0.02), b = project(west + 0.02, south);
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
  void Row(std::string_view colour, bool square, std::string_view text, double opacity = 1) {
    if (square) {
      svg_ << "<rect";
      svg_.Attr(" x", x_).Attr(" y", y_ - 10).Attr(" width", 12).Attr(" height", 12);
    } else {
      svg_ << "<circle";
      svg_.Attr(" cx", x_ + 6).Attr(" cy", y_ - 4).Attr(" r", kMarkRadius + 1);
    }
    svg_ << " fill=\"" << colour << "\"";
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

/// Pairs each added camera with the nearest unpaired removed one of the same
/// record within a cell's edge in both directions.
void PairMoves(CameraMap& map) {
  using Record = std::tuple<std::uint8_t, std::uint8_t, std::uint8_t, std::uint16_t, std::uint8_t,
                            std::uint32_t, std::uint32_t>;
  const auto record = [](const GPS_POINT& p, std::uint32_t cell_x, std::uint32_t cell_y) {
    return Record{p.type, p.speed, p.flag, p.angle, p.reserved, cell_x, cell_y};
  };
  std::map<Record, std::vector<std::size_t>> removed;
  for (std::size_t i = 0; i < map.cameras.size(); ++i) {
    const GPS_POINT& p = map.cameras[i].point;
    if (map.cameras[i].kind == MarkKind::kRemoved)
      removed[record(p, p.x / kCellSize, p.y / kCellSize)].push_back(i);
  }
  std::vector<bool> paired(map.cameras.size());
  for (std::size_t i = 0; i < map.cameras.size(); ++i) {
    if (map.cameras[i].kind != MarkKind::kAdded) continue;
    const GPS_POINT& p = map.cameras[i].point;
    std::size_t best = map.cameras.size();
    std::uint64_t best_distance = UINT64_MAX;
    for (std::uint32_t cy = p.y / kCellSize; cy + 1 <= p.y / kCellSize + 2; ++cy) {
      for (std::uint32_t cx = p.x / kCellSize; cx + 1 <= p.x / kCellSize + 2; ++cx) {
        if (cx == 0 || cy == 0) continue;
        const auto found = removed.find(record(p, cx - 1, cy - 1));
        if (found == removed.end()) continue;
        for (std::size_t r : found->second) {
          const GPS_POINT& q = map.cameras[r].point;
          const std::int64_t dx = std::int64_t{q.x} - p.x, dy = std::int64_t{q.y} - p.y;
          if (paired[r] || std::abs(dx) > kCellSize || std::abs(dy) > kCellSize) continue;
          const auto distance = static_cast<std::uint64_t>(dx * dx + dy * dy);
          if (distance < best_distance) best_distance = distance, best = r;
        }
      }
    }
    if (best == map.cameras.size()) continue;
    paired[best] = true;
    map.moves.emplace_back(best, i);
  }
}

}  // namespace

std::string_view TypeColour(std::uint8_t type) {
  // Types 1 to 9 get a colour each; 0 and those above share them in turn.
  return kTypePalette[(type + kTypePalette.size() - 1) % kTypePalette.size()];
}

void AddCamera(CameraMap& map, const GPS_POINT& point, std::uint32_t line, MarkKind kind) {
  // From the first camera with a line on, every camera has an entry.
  if (line != 0) map.lines.resize(map.cameras.size());
  map.cameras.push_back({point, kind});
  if (line != 0 || !map.lines.empty()) map.lines.push_back(line);
}

void AddCameras(const DecodedDb& db, const std::vector<std::uint32_t>& lines, CameraMap& map,
                LeftOut& left_out) {
  map.total += db.points.size();
  map.cameras.reserve(map.cameras.size() + db.points.size());
  for (std::size_t i = 0; i < db.points.size(); ++i) {
    if (HasMapPosition(db.points[i])) {
      AddCamera(map, db.points[i], LineOf(lines, i), MarkKind::kCamera);
    } else {
      NoteLeftOut(db.points[i], i, left_out);
    }
  }
}

DiffCounts AddDiff(const DecodedDb& old_db, const std::vector<std::uint32_t>& old_lines,
                   const DecodedDb& new_db, const std::vector<std::uint32_t>& new_lines,
                   CameraMap& map, LeftOut& old_left_out, LeftOut& new_left_out) {
  map.diff = true;
  // A camera's index on each side, to report the left-out ones in index order.
  std::vector<std::pair<std::size_t, const GPS_POINT*>> old_out, new_out;
  const DiffCounts counts = MatchCameras(old_db, new_db, [&](const DiffMatch& match) {
    const bool old_placed = match.old_point == nullptr || HasMapPosition(*match.old_point);
    const bool new_placed = match.new_point == nullptr || HasMapPosition(*match.new_point);
    if (!old_placed) old_out.emplace_back(match.old_index, match.old_point);
    if (!new_placed) new_out.emplace_back(match.new_index, match.new_point);
    if (!old_placed || !new_placed) return;
    switch (match.kind) {
      case DiffKind::kUnchanged:
        AddCamera(map, *match.new_point, LineOf(new_lines, match.new_index), MarkKind::kUnchanged);
        break;
      case DiffKind::kAdded:
        AddCamera(map, *match.new_point, LineOf(new_lines, match.new_index), MarkKind::kAdded);
        break;
      case DiffKind::kRemoved:
        AddCamera(map, *match.old_point, LineOf(old_lines, match.old_index), MarkKind::kRemoved);
        break;
      case DiffKind::kChanged:
        map.changes.push_back(
            {map.cameras.size(), *match.old_point, LineOf(old_lines, match.old_index)});
        AddCamera(map, *match.new_point, LineOf(new_lines, match.new_index), MarkKind::kChanged);
        break;
    }
  });
  map.total += old_db.points.size() + new_db.points.size() - counts.unchanged - counts.changed;
  // Beyond the marks' limit there are no marks to join.
  if (counts.added + counts.removed + counts.changed <= kDensityAbove) PairMoves(map);
  for (auto* side : {&old_out, &new_out}) {
    std::sort(side->begin(), side->end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [index, point] : *side)
      NoteLeftOut(*point, index, side == &old_out ? old_left_out : new_left_out);
  }
  return counts;
}

std::optional<GeoBox> ParseBbox(std::string_view text) {
  double values[4];
  for (int i = 0; i < 4; ++i) {
    const std::size_t comma = i < 3 ? text.find(',') : text.size();
    if (comma == std::string_view::npos) return std::nullopt;
    const std::string_view field = text.substr(0, comma);
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), values[i]);
    if (error != std::errc() || end != field.data() + field.size() || !std::isfinite(values[i]))
      return std::nullopt;
    text.remove_prefix(std::min(comma + 1, text.size()));
  }
  const GeoBox box{values[0], values[1], values[2], values[3]};
  if (!(box.west < box.east && box.south < box.north && box.west >= -180 && box.east <= 180 &&
        box.south >= -90 && box.north <= 90))
    return std::nullopt;
  return box;
}

void DrawCameraMap(const CameraMap& map, const std::optional<GeoBox>& bbox, std::ostream& out) {
  const GeoBox view = bbox ? *bbox : FitView(map.cameras);
  // The title, the version lines and the line of counts, then the map.
  const double top = kTitleTop + kLineHeight * static_cast<double>(map.versions.size() + 2) + 6;
  const Projection project(view, kLeft, top, kMapMax, kMapMax);
  const double legend_x = kLeft + project.width() + kGap;
  const double width = legend_x + kLegendWidth;

  // What the legend counts and whether a layer is too dense for marks.
  std::map<std::uint8_t, std::uint64_t> types;
  std::array<std::uint64_t, 5> kinds{};
  std::uint64_t in_view = 0;
  for (const MapCamera& c : map.cameras) {
    if (!InView(view, c.point)) continue;
    ++in_view;
    ++kinds[static_cast<std::size_t>(c.kind)];
    if (c.kind == MarkKind::kCamera) ++types[c.point.type];
  }
  const std::uint64_t differences = kinds[1] + kinds[2] + kinds[3];
  const bool dense_marks = (map.diff ? differences : kinds[0]) > kDensityAbove;
  const bool dense_unchanged = kinds[4] > kDensityAbove;

  SvgWriter svg(out);
  const double height = std::max(top + project.height() + 40, 420.0);
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\"";
  svg.Attr(" width", width).Attr(" height", height);
  svg << " viewBox=\"0 0 ";
  svg.Number(width) << " ";
  svg.Number(height) << "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"12\">\n";
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
  svg.Attr(" x", kLeft)
      .Attr(" y", top)
      .Attr(" width", project.width())
      .Attr(" height", project.height());
  svg << "/></clipPath></defs>\n<rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/>\n"
         "<g clip-path=\"url(#view)\">\n<rect class=\"sea\"";
  svg.Attr(" x", kLeft)
      .Attr(" y", top)
      .Attr(" width", project.width())
      .Attr(" height", project.height());
  svg << "/>\n";
  // Land is cut a little outside the view; the clip path trims the rest.
  const double pad_x = (view.east - view.west) * 0.02, pad_y = (view.north - view.south) * 0.02;
  DrawLand(svg, project,
           {view.west - pad_x, view.south - pad_y, view.east + pad_x, view.north + pad_y});
  const std::string labels = DrawGraticule(svg, project);

  Density marks_density;
  std::array<Density, 4> kind_density;
  if (dense_unchanged) kind_density[3] = DrawDensity(svg, project, map, MarkKind::kUnchanged, true);
  if (dense_marks && !map.diff)
    marks_density = DrawDensity(svg, project, map, MarkKind::kCamera, false);
  if (dense_marks && map.diff) {
    kind_density[0] = DrawDensity(svg, project, map, MarkKind::kAdded, true);
    kind_density[1] = DrawDensity(svg, project, map, MarkKind::kRemoved, true);
    kind_density[2] = DrawDensity(svg, project, map, MarkKind::kChanged, true);
  }
  svg << "</g>\n" << labels;
  std::uint64_t moves_in_view = 0;
  if (!dense_marks && !map.moves.empty()) {
    svg << "<path class=\"moved\" d=\"";
    for (const auto& [from, to] : map.moves) {
      const GPS_POINT &a = map.cameras[from].point, &b = map.cameras[to].point;
      if (!InView(view, a) || !InView(view, b)) continue;
      ++moves_in_view;
      svg.MoveTo(project(Deg(a.x), Deg(a.y)));
      svg.LineTo(project(Deg(b.x), Deg(b.y)));
    }
    svg << "\"/>\n";
  }
  svg << "<g class=\"cameras\">\n";
  // Unchanged ones first, under the differences.
  for (int pass = 0; pass < 2; ++pass) {
    std::size_t change = 0;
    for (std::size_t i = 0; i < map.cameras.size(); ++i) {
      const MapCamera& c = map.cameras[i];
      while (change < map.changes.size() && map.changes[change].camera < i) ++change;
      const bool unchanged = c.kind == MarkKind::kUnchanged;
      if (unchanged != (pass == 0) || !InView(view, c.point)) continue;
      if (unchanged ? dense_unchanged : dense_marks) continue;
      const MapChange* old = change < map.changes.size() && map.changes[change].camera == i
                                 ? &map.changes[change]
                                 : nullptr;
      DrawCamera(svg, project, c, LineOf(map, i), old);
    }
  }
  svg << "</g>\n<rect class=\"frame\"";
  svg.Attr(" x", kLeft)
      .Attr(" y", top)
      .Attr(" width", project.width())
      .Attr(" height", project.height());
  svg << "/>\n";
  DrawScaleBar(svg, project);

  // The title: what, which version, how many, where.
  svg << "<text class=\"title\"";
  svg.Attr(" x", kLeft).Attr(" y", kTitleTop);
  svg << ">";
  svg.Text(map.title) << "</text>\n";
  std::string line = Count(map.total, "camera", "cameras");
  if (in_view != map.total) line += ", " + std::to_string(in_view) + " on this map";
  line += "; view: longitude " + DegreeLabel(view.west, 0.0001, 'E', 'W') + " to " +
          DegreeLabel(view.east, 0.0001, 'E', 'W') + ", latitude " +
          DegreeLabel(view.south, 0.0001, 'N', 'S') + " to " +
          DegreeLabel(view.north, 0.0001, 'N', 'S');
  if (dense_marks || dense_unchanged)
    line += "; over " + std::to_string(kDensityAbove) + ": density per 0.02\u00B0 cell";
  double y = kTitleTop + kLineHeight + 2;
  for (const std::string& version : map.versions) {
    svg << "<text";
    svg.Attr(" x", kLeft).Attr(" y", y);
    svg << ">";
    svg.Text(version) << "</text>\n";
    y += kLineHeight;
  }
  svg << "<text";
  svg.Attr(" x", kLeft).Attr(" y", y);
  svg << ">";
  svg.Text(line) << "</text>\n";

  Legend legend(svg, legend_x, top);
  if (map.diff) {
    legend.Heading("Cameras");
    constexpr MarkKind kOrder[] = {MarkKind::kAdded, MarkKind::kRemoved, MarkKind::kChanged,
                                   MarkKind::kUnchanged};
    for (MarkKind kind : kOrder) {
      legend.Row(KindColour(kind, 0), false,
                 std::string(KindName(kind)) + ": " +
                     std::to_string(kinds[static_cast<std::size_t>(kind)]));
    }
    if (moves_in_view != 0) {
      legend.Note("moved (a line from removed to added,");
      legend.Note("same record, within 0.02\u00B0): " + std::to_string(moves_in_view));
    }
    for (std::size_t k = 0; k < 4; ++k) {
      if (kind_density[k].max == 0) continue;
      legend.Heading(std::string(KindName(kOrder[k])) + " per 0.02\u00B0 cell");
      DensityRows(legend, kind_density[k], kOrder[k], true);
    }
  } else {
    legend.Heading("Camera types");
    for (const auto& [type, count] : types) {
      legend.Row(TypeColour(type), false,
                 "type " + std::to_string(type) + ": " + std::to_string(count));
    }
    if (marks_density.max != 0) {
      legend.Heading("Cameras per 0.02\u00B0 cell");
      DensityRows(legend, marks_density, MarkKind::kCamera, false);
    }
  }
  if (!dense_marks) {
    legend.Heading("Marks");
    legend.Note("tick: direction (dirtype not 0)");
    legend.Note("black ring: sample point");
    legend.Note("hover a mark for its record");
  }
  svg << "</svg>\n";
}

}  // namespace korvel::map
