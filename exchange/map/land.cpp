#include "exchange/map/land.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace korvel::map {
namespace {

#include "exchange/map/land_data.inc"

/// Reads the numbers of kLandData one by one (the format is described in
/// scripts/make-land-data).
class NumberReader {
 public:
  NumberReader() {
    for (int i = 0; i < 64; ++i) value_[static_cast<unsigned char>(kLandAlphabet[i])] = i;
  }
  std::int64_t Next() {
    std::uint64_t z = 0;
    for (int shift = 0; at_ < text_.size(); shift += 5) {
      const int digit = value_[static_cast<unsigned char>(text_[at_++])];
      z |= static_cast<std::uint64_t>(digit & 31) << shift;
      if (digit < 32) break;
    }
    return (z & 1) != 0 ? -static_cast<std::int64_t>(z >> 1) - 1
                        : static_cast<std::int64_t>(z >> 1);
  }
  std::size_t Count() { return static_cast<std::size_t>(Next()); }

 private:
  std::string_view text_ = kLandData;
  std::size_t at_ = 0;
  std::array<int, 256> value_{};
};

Land Decode() {
  Land land;
  NumberReader numbers;
  land.arcs.resize(numbers.Count());
  for (auto& arc : land.arcs) {
    arc.resize(numbers.Count());
    std::int64_t x = 0, y = 0;
    for (LonLat& point : arc) {
      x += numbers.Next();
      y += numbers.Next();
      point = {static_cast<double>(x) * kLandScale[0] + kLandTranslate[0],
               static_cast<double>(y) * kLandScale[1] + kLandTranslate[1]};
    }
  }
  land.rings.resize(numbers.Count());
  for (auto& ring : land.rings) {
    ring.resize(numbers.Count());
    for (int& index : ring) index = static_cast<int>(numbers.Next());
  }
  land.borders.resize(numbers.Count());
  for (int& index : land.borders) index = static_cast<int>(numbers.Next());
  for (const auto& ring : land.rings) AddPlaneAreas(RingPoints(land, ring), land.areas);
  return land;
}

/// The part of `ring` on the side of longitude `edge` that `keep_east` names.
std::vector<LonLat> CutAt(const std::vector<LonLat>& ring, double edge, bool keep_east) {
  std::vector<LonLat> out;
  const auto inside = [&](const LonLat& p) { return keep_east ? p.lon >= edge : p.lon <= edge; };
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const LonLat& a = ring[(i + ring.size() - 1) % ring.size()];
    const LonLat& b = ring[i];
    if (inside(a) != inside(b)) {
      const double t = (edge - a.lon) / (b.lon - a.lon);
      out.push_back({edge, a.lat + t * (b.lat - a.lat)});
    }
    if (inside(b)) out.push_back(b);
  }
  return out;
}

}  // namespace

const Land& WorldLand() {
  static const Land land = Decode();
  return land;
}

std::vector<LonLat> RingPoints(const Land& land, const std::vector<int>& ring) {
  std::vector<LonLat> points;
  for (int index : ring) {
    const auto& arc = land.arcs[static_cast<std::size_t>(index >= 0 ? index : ~index)];
    const std::size_t start = points.empty() ? 0 : 1;
    for (std::size_t k = start; k < arc.size(); ++k) {
      points.push_back(index >= 0 ? arc[k] : arc[arc.size() - 1 - k]);
    }
  }
  return points;
}

void AddPlaneAreas(const std::vector<LonLat>& ring, std::vector<std::vector<LonLat>>& areas) {
  if (ring.size() < 3) return;
  // Each step the short way round: longitudes beyond 180 where it crosses.
  std::vector<LonLat> plane = {ring[0]};
  double west = ring[0].lon, east = ring[0].lon, lat_sum = ring[0].lat;
  for (std::size_t i = 1; i <= ring.size(); ++i) {
    const LonLat& p = ring[i % ring.size()];
    double step = p.lon - ring[i - 1].lon;
    step -= 360 * std::round(step / 360);
    const LonLat next{plane.back().lon + step, p.lat};
    if (i < ring.size()) plane.push_back(next), lat_sum += p.lat;
    west = std::min(west, next.lon), east = std::max(east, next.lon);
    if (i == ring.size() && std::fabs(next.lon - plane[0].lon) > 180) {
      // Round a pole: close along it, back to where the ring began.
      const double pole = lat_sum < 0 ? -90 : 90;
      plane.push_back(next);
      plane.push_back({next.lon, pole});
      plane.push_back({plane[0].lon, pole});
    }
  }
  for (double shift = -360; shift <= 360; shift += 360) {
    if (west + shift >= 180 || east + shift <= -180) continue;
    std::vector<LonLat> moved = plane;
    for (LonLat& p : moved) p.lon += shift;
    if (west + shift < -180) moved = CutAt(moved, -180, true);
    if (east + shift > 180) moved = CutAt(moved, 180, false);
    if (moved.size() >= 3) areas.push_back(std::move(moved));
  }
}

}  // namespace korvel::map
