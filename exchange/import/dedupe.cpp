#include "exchange/import/dedupe.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "camdb/camera_rules.h"
#include "exchange/cell_grid.h"

namespace korvel {
namespace {

constexpr double kMaxAngle = 45;

/// What identifies a camera once stored.
struct ExactKey {
  std::uint64_t position, values;
  bool operator==(const ExactKey&) const = default;
};

ExactKey KeyOf(const ImportedCamera& c) {
  return {std::uint64_t{c.x} << 32 | c.y, std::uint64_t{c.type} << 40 |
                                              std::uint64_t{c.speed} << 32 |
                                              std::uint64_t{c.dirtype} << 24 | c.direction};
}

std::uint32_t Hash(const ExactKey& key) {
  const std::uint64_t h = key.position * 0x9E3779B97F4A7C15ull ^ key.values * 0xC2B2AE3D27D4EB4Full;
  return static_cast<std::uint32_t>((h ^ (h >> 29)) >> 32);
}

constexpr std::uint64_t kEmpty = ~std::uint64_t{0};

std::uint64_t CellKey(std::uint32_t column, std::uint32_t row) {
  return std::uint64_t{column} << 32 | row;
}

std::size_t CellHash(std::uint64_t cell) {
  const std::uint64_t h = cell * 0x9E3779B97F4A7C15ull;
  return static_cast<std::size_t>(h ^ (h >> 32));
}

}  // namespace

std::uint32_t ExactIndex::Find(const ImportedCamera& camera, const ImportedCameras& kept) const {
  if (slots_.empty()) return kNone;
  const ExactKey key = KeyOf(camera);
  const std::uint32_t hash = Hash(key);
  for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
    const std::uint64_t slot = slots_[at];
    if (slot == kEmpty) return kNone;
    const auto index = static_cast<std::uint32_t>(slot);
    if ((slot >> 32) == hash && KeyOf(kept[index]) == key) return index;
  }
}

const std::uint64_t* ExactIndex::Start(const ImportedCamera& camera) const {
  return slots_.data() + (Hash(KeyOf(camera)) & mask_);
}

void ExactIndex::Add(std::uint32_t index, const ImportedCameras& kept) {
  if (2 * (count_ + 1) > slots_.size()) Grow();
  Place(Hash(KeyOf(kept[index])), index);
  ++count_;
}

void ExactIndex::Place(std::uint32_t hash, std::uint32_t index) {
  std::size_t at = hash & mask_;
  while (slots_[at] != kEmpty) at = (at + 1) & mask_;
  slots_[at] = std::uint64_t{hash} << 32 | index;
}

/// Twice the slots, each old one placed by its stored hash.
void ExactIndex::Grow() {
  Slots old(std::max<std::size_t>(slots_.size() * 2, 1024), kEmpty);
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  for (std::uint64_t slot : old) {
    if (slot != kEmpty)
      Place(static_cast<std::uint32_t>(slot >> 32), static_cast<std::uint32_t>(slot));
  }
}

double MetresApart(const ImportedCamera& a, const ImportedCamera& b) {
  const double lat = (a.y + b.y) / (2 * kUnitsPerDegree) * kRadiansPerDegree;
  const double dx =
      (static_cast<double>(a.x) - b.x) / kUnitsPerDegree * kRadiansPerDegree * std::cos(lat);
  const double dy = (static_cast<double>(a.y) - b.y) / kUnitsPerDegree * kRadiansPerDegree;
  return std::hypot(dx, dy) * kEarthRadiusMetres;
}

NearIndex::NearIndex(double near, double near_blind) : near_(near), near_blind_(near_blind) {
  // A cell as high as the largest distance, in units of latitude.
  const double units = std::max(near, near_blind) / (kEarthRadiusMetres * kRadiansPerDegree);
  side_ = static_cast<std::uint32_t>(units * kUnitsPerDegree) + 1;
}

std::optional<std::uint32_t> NearIndex::Find(const ImportedCamera& camera,
                                             const ImportedCameras& kept, double& metres) const {
  if (slots_.empty()) return std::nullopt;
  // A cell spans fewer metres of longitude away from the equator.
  const double shrink = std::cos(std::min(camera.y / kUnitsPerDegree, 89.0) * kRadiansPerDegree);
  const auto reach = static_cast<std::uint32_t>(std::ceil(1 / shrink));
  std::uint32_t best = kEnd;
  ForNeighbourCells(
      camera.x / side_, camera.y / side_, reach, [&](std::uint32_t column, std::uint32_t row) {
        for (std::uint32_t index = Last(CellKey(column, row)); index != kEnd;
             index = earlier_[index]) {
          if (index > best) continue;
          const ImportedCamera& other = kept[index];
          const bool blind = camera.dirtype == 0 || other.dirtype == 0;
          if (!blind) {
            const int apart = std::abs(int{camera.direction} - int{other.direction}) % 360;
            if (std::min(apart, 360 - apart) > kMaxAngle) continue;
          }
          const double distance = MetresApart(camera, other);
          if (distance <= (blind ? near_blind_ : near_)) {
            best = index;
            metres = distance;
          }
        }
      });
  if (best == kEnd) return std::nullopt;
  return best;
}

void NearIndex::Add(std::uint32_t index, const ImportedCameras& kept) {
  const ImportedCamera& camera = kept[index];
  if (2 * (cells_ + 1) > slots_.size()) Grow();
  Slot& slot = SlotOf(CellKey(camera.x / side_, camera.y / side_));
  if (slot.last == kEnd) ++cells_;
  if (earlier_.size() <= index) earlier_.resize(std::size_t{index} + 1, kEnd);
  earlier_[index] = slot.last;
  slot.last = index;
}

void NearIndex::Clear() {
  slots_.clear();
  earlier_.clear();
  mask_ = cells_ = 0;
}

std::uint32_t NearIndex::Last(std::uint64_t cell) const {
  for (std::size_t at = CellHash(cell) & mask_;; at = (at + 1) & mask_) {
    const Slot& slot = slots_[at];
    if (slot.cell == cell) return slot.last;
    if (slot.cell == kNoCell) return kEnd;
  }
}

NearIndex::Slot& NearIndex::SlotOf(std::uint64_t cell) {
  std::size_t at = CellHash(cell) & mask_;
  while (slots_[at].cell != cell && slots_[at].cell != kNoCell) at = (at + 1) & mask_;
  slots_[at].cell = cell;
  return slots_[at];
}

void NearIndex::Grow() {
  std::vector<Slot> old(std::max<std::size_t>(slots_.size() * 2, 1024));
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.cell != kNoCell) SlotOf(slot.cell) = slot;
  }
}

}  // namespace korvel
