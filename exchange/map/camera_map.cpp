#include "exchange/map/camera_map.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <tuple>

#include "exchange/export.h"

namespace korvel::map {
namespace {

/// Paul Tol's "muted" scheme: nine colours told apart with any colour vision.
constexpr std::array<std::string_view, 9> kTypePalette = {"#CC6677", "#332288", "#DDCC77",
                                                          "#117733", "#88CCEE", "#882255",
                                                          "#44AA99", "#999933", "#AA4499"};
/// Okabe and Ito's green, vermillion and orange, and a neutral grey.
constexpr std::string_view kAddedColour = "#009E73", kRemovedColour = "#D55E00",
                           kChangedColour = "#E69F00", kUnchangedColour = "#8C8C8C";

std::uint32_t LineOf(const std::vector<std::uint32_t>& lines, std::size_t index) {
  return index < lines.size() ? lines[index] : 0;
}

void NoteLeftOut(const GPS_POINT& p, std::size_t index, LeftOut& left_out) {
  if (left_out.count++ < kShownLeftOut) left_out.shown.push_back(LeftOutText(p, index));
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
    // The camera's cell and the eight around it (cell numbers offset by one).
    for (std::uint32_t cy = p.y / kCellSize; cy <= p.y / kCellSize + 2; ++cy) {
      for (std::uint32_t cx = p.x / kCellSize; cx <= p.x / kCellSize + 2; ++cx) {
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

namespace {

/// The view: the cameras' box with a margin, at least a few kilometres wide.
GeoBox FitView(const std::vector<MapCamera>& cameras, bool without_samples) {
  GeoBox box{180, 90, 0, 0};
  bool any = false;
  for (const MapCamera& c : cameras) {
    if (without_samples && IsSample(c.point)) continue;
    any = true;
    box.west = std::min(box.west, Deg(c.point.x));
    box.east = std::max(box.east, Deg(c.point.x));
    box.south = std::min(box.south, Deg(c.point.y));
    box.north = std::max(box.north, Deg(c.point.y));
  }
  if (!any) return {124, 33, 132, 43};  // Korea, for a map of nothing
  const double span = std::max({box.east - box.west, box.north - box.south, 0.05});
  const double margin = span * 0.08;
  const double cx = (box.west + box.east) / 2, cy = (box.south + box.north) / 2;
  const double half_x = std::max((box.east - box.west) / 2, span / 4) + margin;
  const double half_y = std::max((box.north - box.south) / 2, span / 4) + margin;
  return {std::max(cx - half_x, -180.0), std::max(cy - half_y, -90.0), std::min(cx + half_x, 180.0),
          std::min(cy + half_y, 90.0)};
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
  map.counts = counts;
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

MapView ViewOf(const CameraMap& map, const std::optional<GeoBox>& bbox) {
  MapView view;
  const bool only_samples = std::all_of(map.cameras.begin(), map.cameras.end(),
                                        [](const MapCamera& c) { return IsSample(c.point); });
  view.box = bbox ? *bbox : FitView(map.cameras, !only_samples);
  for (const MapCamera& c : map.cameras) {
    const bool in_view = InView(view.box, c.point);
    if (IsSample(c.point)) {
      ++view.samples;
      view.samples_outside += in_view ? 0 : 1;
      continue;
    }
    ++view.cameras;
    if (!in_view) continue;
    ++view.in_view;
    ++view.kinds[static_cast<std::size_t>(c.kind)];
    if (c.kind == MarkKind::kCamera) ++view.types[c.point.type];
  }
  const auto& kinds = view.kinds;
  const std::uint64_t differences = kinds[1] + kinds[2] + kinds[3];
  view.dense_marks = (map.diff ? differences : kinds[0]) > kDensityAbove;
  view.dense_unchanged = kinds[4] > kDensityAbove;
  return view;
}

}  // namespace korvel::map
