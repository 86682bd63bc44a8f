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
  // Two cameras are never further north than the top of the row above the
  // lower one, and a cell spans fewer metres of longitude further north.
  // From 89 degrees on, one cell spans the whole row.
  const std::uint32_t rows = kMaxUnits[1] / side_ + 1;
  widths_.resize(rows + 1, kEnd);
  for (std::uint32_t row = 0; row <= rows; ++row) {
    const double top = (std::uint64_t{row} + 2) * side_ / kUnitsPerDegree;
    if (top >= 89) break;
    widths_[row] = static_cast<std::uint32_t>(std::ceil(side_ / std::cos(top * kRadiansPerDegree)));
  }
}

std::uint64_t NearIndex::CellOf(std::uint32_t x, std::uint32_t y) const {
  const std::uint32_t row = y / side_;
  return CellKey(x / Width(row), row);
}

bool NearIndex::Same(const ImportedCamera& camera, const Kept& other, double& metres) const {
  const bool blind = camera.dirtype == 0 || other.dirtype == 0;
  if (!blind) {
    const int apart = std::abs(int{camera.direction} - int{other.direction}) % 360;
    if (std::min(apart, 360 - apart) > kMaxAngle) return false;
  }
  ImportedCamera kept;
  kept.x = other.x;
  kept.y = other.y;
  const double distance = MetresApart(camera, kept);
  if (distance > (blind ? near_blind_ : near_)) return false;
  metres = distance;
  return true;
}

std::optional<std::uint32_t> NearIndex::Find(const ImportedCamera& camera, double& metres) const {
  if (slots_.empty()) return std::nullopt;
  std::uint32_t best = kEnd;
  const auto column_at = [&](std::uint32_t row) { return camera.x / Width(row); };
  ForNeighbourCellsBy(camera.y / side_, 1, column_at, [&](std::uint32_t column, std::uint32_t row) {
    const Slot* slot = FindSlot(CellKey(column, row));
    if (!slot) return;
    // Newest first, each camera then the one added before it in the cell.
    for (const Kept* other = &slot->latest;; other = &earlier_[other->earlier]) {
      if (other->index < best && Same(camera, *other, metres)) best = other->index;
      if (other->earlier == kEnd) break;
    }
  });
  if (best == kEnd) return std::nullopt;
  return best;
}

void NearIndex::Add(const ImportedCamera& camera, std::uint32_t index) {
  // At most 70% full: a search that finds no cell then reads about four slots.
  if (10 * (cells_ + 1) > 7 * slots_.size()) Grow();
  Slot& slot = SlotOf(CellOf(camera.x, camera.y));
  Kept added{camera.x, camera.y, index, kEnd, camera.direction, camera.dirtype};
  if (slot.latest.index == kEnd) {
    ++cells_;
  } else {
    added.earlier = static_cast<std::uint32_t>(earlier_.size());
    earlier_.push_back(slot.latest);
  }
  slot.latest = added;
}

void NearIndex::Prefetch(const ImportedCamera& camera) const {
  if (slots_.empty()) return;
  const auto column_at = [&](std::uint32_t row) { return camera.x / Width(row); };
  ForNeighbourCellsBy(camera.y / side_, 1, column_at, [&](std::uint32_t column, std::uint32_t row) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(&slots_[CellHash(CellKey(column, row)) & mask_]);
#endif
  });
}

void NearIndex::Clear() {
  slots_.clear();
  earlier_.clear();
  mask_ = cells_ = 0;
}

const NearIndex::Slot* NearIndex::FindSlot(std::uint64_t cell) const {
  for (std::size_t at = CellHash(cell) & mask_;; at = (at + 1) & mask_) {
    const Slot& slot = slots_[at];
    if (slot.cell == cell) return &slot;
    if (slot.cell == kNoCell) return nullptr;
  }
}

NearIndex::Slot& NearIndex::SlotOf(std::uint64_t cell) {
  std::size_t at = CellHash(cell) & mask_;
  while (slots_[at].cell != cell && slots_[at].cell != kNoCell) at = (at + 1) & mask_;
  slots_[at].cell = cell;
  return slots_[at];
}

void NearIndex::Grow() {
  std::vector<Slot, HugePageAllocator<Slot>> old(std::max<std::size_t>(slots_.size() * 2, 1024));
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.cell != kNoCell) SlotOf(slot.cell) = slot;
  }
}

}  // namespace korvel
