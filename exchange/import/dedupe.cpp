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

/// MetresApart of two points given by their units.
double MetresBetween(std::uint32_t ax, std::uint32_t ay, std::uint32_t bx, std::uint32_t by) {
  const double lat = (ay + by) / (2 * kUnitsPerDegree) * kRadiansPerDegree;
  const double dx =
      (static_cast<double>(ax) - bx) / kUnitsPerDegree * kRadiansPerDegree * std::cos(lat);
  const double dy = (static_cast<double>(ay) - by) / kUnitsPerDegree * kRadiansPerDegree;
  return std::hypot(dx, dy) * kEarthRadiusMetres;
}

std::size_t CellHash(std::uint64_t cell) {
  const std::uint64_t h = cell * 0x9E3779B97F4A7C15ull;
  return static_cast<std::size_t>(h ^ (h >> 32));
}

/// The columns of `x` in rows one after another: neighbouring rows nearly
/// always share their width, and a division costs more than the test.
class Columns {
 public:
  explicit Columns(std::uint32_t x) : x_(x) {}
  std::uint32_t In(std::uint32_t width) {
    if (width != width_) {
      width_ = width;
      column_ = x_ / width;
    }
    return column_;
  }

 private:
  std::uint32_t x_, width_ = 0, column_ = 0;
};

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
  return MetresBetween(a.x, a.y, b.x, b.y);
}

NearIndex::NearIndex(double near, double near_blind) : near_(near), near_blind_(near_blind) {
  // A cell as high as the largest distance, in units of latitude.
  const double units = std::max(near, near_blind) / (kEarthRadiusMetres * kRadiansPerDegree);
  side_ = static_cast<std::uint32_t>(units * kUnitsPerDegree) + 1;
  reach_ = units * kUnitsPerDegree * (1 + 1e-9);
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

NearIndex::Rows NearIndex::RowsNear(std::uint32_t y) const {
  // The nearest camera of the row below lies a unit under this row's
  // bottom, that of the row above at its top.
  const std::uint32_t offset = y % side_;
  return {offset + 1 <= reach_, side_ - offset <= reach_};
}

std::size_t NearIndex::BitOf(std::uint32_t column, std::uint32_t row) const {
  return (CellHash(CellKey(column >> 2, row)) << 2 | (column & 3)) & (marks_.size() * 64 - 1);
}

void NearIndex::Mark(std::uint64_t cell) {
  const std::size_t bit =
      BitOf(static_cast<std::uint32_t>(cell >> 32), static_cast<std::uint32_t>(cell));
  marks_[bit >> 6] |= std::uint64_t{1} << (bit & 63);
}

bool NearIndex::Same(const ImportedCamera& camera, const Kept& other, double scale,
                     double& metres) const {
  // In units of latitude (11 m): further apart than a cell's height, or than
  // the largest distance (a hair over, for any rounding), is too far, with
  // no trigonometry. Within a cell's height, a unit of longitude spans at
  // least `scale` units of latitude.
  const std::uint32_t dx = camera.x < other.x ? other.x - camera.x : camera.x - other.x;
  const std::uint32_t dy = camera.y < other.y ? other.y - camera.y : camera.y - other.y;
  if (dy > side_) return false;
  const double across = dx * scale, along = dy;
  if (across * across + along * along > reach_ * reach_) return false;
  const bool blind = camera.dirtype == 0 || other.dirtype == 0;
  if (!blind) {
    const int apart = std::abs(int{camera.direction} - int{other.direction}) % 360;
    if (std::min(apart, 360 - apart) > kMaxAngle) return false;
  }
  const double distance = MetresBetween(camera.x, camera.y, other.x, other.y);
  if (distance > (blind ? near_blind_ : near_)) return false;
  metres = distance;
  return true;
}

std::optional<std::uint32_t> NearIndex::Find(const ImportedCamera& camera, double& metres) const {
  if (slots_.empty()) return std::nullopt;
  std::uint32_t best = kEnd;
  // A row's width is the cell's height over the cosine at the top of the
  // row above, or larger; whole rows near the pole bound nothing.
  const std::uint32_t width = Width(camera.y / side_);
  const double scale = width == kEnd ? 0 : static_cast<double>(side_) / width;
  const std::uint32_t middle = camera.y / side_;
  const Rows rows = RowsNear(camera.y);
  Columns columns(camera.x);
  const auto column_at = [&](std::uint32_t row) { return columns.In(Width(row)); };
  ForNeighbourCellsBy(middle, 1, column_at, [&](std::uint32_t column, std::uint32_t row) {
    if ((row < middle && !rows.below) || (row > middle && !rows.above)) return;
    if (!MayHold(column, row)) return;
    const Slot* slot = FindSlot(CellKey(column, row));
    if (!slot) return;
    // Newest first, each camera then the one added before it in the cell.
    for (const Kept* other = &slot->latest;; other = &earlier_[other->earlier]) {
      if (other->index < best && Same(camera, *other, scale, metres)) best = other->index;
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
    Mark(slot.cell);
  } else {
    added.earlier = static_cast<std::uint32_t>(earlier_.size());
    earlier_.push_back(slot.latest);
  }
  slot.latest = added;
}

void NearIndex::PrefetchMarks(const ImportedCamera& camera) const {
#if defined(__GNUC__) || defined(__clang__)
  if (slots_.empty()) return;
  const std::uint32_t row = camera.y / side_;
  Columns columns(camera.x);
  for (std::uint32_t r = row == 0 ? 0 : row - 1; r <= row + 1; ++r) {
    const std::uint32_t column = columns.In(Width(r));
    __builtin_prefetch(&marks_[BitOf(column == 0 ? 0 : column - 1, r) >> 6]);
    __builtin_prefetch(&marks_[BitOf(column + 1, r) >> 6]);
  }
#else
  (void)camera;
#endif
}

void NearIndex::Prefetch(const ImportedCamera& camera) const {
#if defined(__GNUC__) || defined(__clang__)
  if (slots_.empty()) return;
  // Plain loops: GCC 12 drops the prefetches made in ForNeighbourCellsBy's
  // lambda. A cell with no camera has nothing to fetch, but the camera's own
  // may have it added.
  const std::uint32_t row = camera.y / side_;
  const Rows rows = RowsNear(camera.y);
  Columns columns(camera.x);
  for (std::uint32_t r = row == 0 || !rows.below ? row : row - 1; r <= row + rows.above; ++r) {
    const std::uint32_t column = columns.In(Width(r));
    for (std::uint32_t c = column == 0 ? 0 : column - 1; c <= column + 1; ++c) {
      if ((r == row && c == column) || MayHold(c, r))
        __builtin_prefetch(&slots_[CellHash(CellKey(c, r)) & mask_]);
    }
  }
#else
  (void)camera;
#endif
}

void NearIndex::Clear() {
  slots_.clear();
  earlier_.clear();
  marks_.clear();
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
  marks_.assign(slots_.size() / 8, 0);
  for (const Slot& slot : old) {
    if (slot.cell == kNoCell) continue;
    SlotOf(slot.cell) = slot;
    Mark(slot.cell);
  }
}

}  // namespace korvel
