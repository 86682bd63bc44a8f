#include "exchange/map/land.h"

#include <array>
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
  return land;
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

}  // namespace korvel::map
