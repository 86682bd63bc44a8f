#include "exchange/import/dedupe.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "camdb/camera_rules.h"
#include "exchange/cell_grid.h"

namespace korvel {
namespace {

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

/// A camera's place in a batch takes the low bits of its sort keys.
constexpr int kPlaceBits = 20;
static_assert(NearIndex::kMaxBatch <= std::size_t{1} << kPlaceBits);
/// The pairs a batch may try for each camera, beyond which searching one
/// by one is the cheaper way: a crowd of copies of one camera would
/// otherwise make pairs of every two.
constexpr std::size_t kPairsPerCamera = 64;

/// Calls `visit(own, at, other, first, last)` for each camera of `sorted`,
/// sorted by row and x, at `at` in the run `own` of its row, with the
/// cameras from `first` to `last` - 1 of the run `other`: first those of
/// its own row at most `width_of(row)` to its right, then those at most
/// that far either side in the row above. Every two cameras that may lie
/// within the distance, once. Stops when a visit gives false.
template <typename Run, typename Camera, typename WidthOf, typename Visit>
bool ForNeighbours(const std::vector<Run>& rows, const HugeVector<Camera>& sorted, WidthOf width_of,
                   Visit visit) {
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const Run& row = rows[r];
    const std::uint64_t width = width_of(row.row);
    const Run* above =
        r + 1 < rows.size() && rows[r + 1].row == row.row + 1 ? &rows[r + 1] : nullptr;
    std::uint32_t right = row.begin, low = above ? above->begin : 0, high = low;
    for (std::uint32_t at = row.begin; at < row.end; ++at) {
      const std::uint64_t x = sorted[at].x;
      right = std::max(right, at + 1);
      while (right < row.end && sorted[right].x <= x + width) ++right;
      if (!visit(row, at, row, at + 1, right)) return false;
      if (!above) continue;
      while (low < above->end && sorted[low].x + width < x) ++low;
      high = std::max(high, low);
      while (high < above->end && sorted[high].x <= x + width) ++high;
      if (!visit(row, at, *above, low, high)) return false;
    }
  }
  return true;
}

/// Sorts `keys` by `bits` of their bits from `low` up, keeping the order of
/// equal ones: least significant digit first.
void RadixSort(HugeVector<std::uint64_t>& keys, int low, int bits) {
  constexpr int kDigit = 12;
  constexpr std::uint64_t kDigitMask = (1u << kDigit) - 1;
  HugeVector<std::uint64_t> sorted(keys.size());
  std::vector<std::uint32_t> starts(kDigitMask + 1);
  for (int shift = low; shift < low + bits; shift += kDigit) {
    std::fill(starts.begin(), starts.end(), 0);
    for (std::uint64_t key : keys) ++starts[(key >> shift) & kDigitMask];
    std::uint32_t total = 0;
    for (std::uint32_t& start : starts) total += std::exchange(start, total);
    for (std::uint64_t key : keys) sorted[starts[(key >> shift) & kDigitMask]++] = key;
    keys.swap(sorted);
  }
}

std::uint64_t CellKey(std::uint32_t column, std::uint32_t row) {
  return std::uint64_t{column} << 32 | row;
}

/// How far apart two coordinates are, in units.
double Apart(std::uint32_t a, std::uint32_t b) {
  return a < b ? b - a : a - b;
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
  const auto reach = [](double metres) {
    return metres / (kEarthRadiusMetres * kRadiansPerDegree) * kUnitsPerDegree;
  };
  side_ = static_cast<std::uint32_t>(reach(std::max(near, near_blind))) + 1;
  reaches_[0] = reach(near_blind) * (1 + 1e-9);
  reaches_[1] = reach(near) * (1 + 1e-9);
  reach_ = std::max(reaches_[0], reaches_[1]);
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

double NearIndex::CosineAt(std::uint32_t row) const {
  const double degrees = std::min(90.0, static_cast<double>(row) * side_ / kUnitsPerDegree);
  return std::max(0.0, std::cos(degrees * kRadiansPerDegree));
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

bool NearIndex::Same(const Kept& camera, const Kept& other, double scale, double& metres) const {
  // In units of latitude (11 m): further apart than a cell's height, or than
  // the distance (a hair over, for any rounding), is too far, with no
  // trigonometry. Within a cell's height, a unit of longitude spans at
  // least `scale` units of latitude.
  const double dx = Apart(camera.x, other.x), dy = Apart(camera.y, other.y);
  if (dy > side_) return false;
  const bool blind = camera.dirtype == 0 || other.dirtype == 0;
  const double across = dx * scale, reach = reaches_[!blind];
  if (across * across + dy * dy > reach * reach) return false;
  if (!blind && !Facing(camera, other)) return false;
  const double distance = MetresBetween(camera.x, camera.y, other.x, other.y);
  if (distance > (blind ? near_blind_ : near_)) return false;
  metres = distance;
  return true;
}

bool NearIndex::Within(const Kept& camera, const Kept& other, double top) const {
  const double dx = Apart(camera.x, other.x), dy = Apart(camera.y, other.y);
  const double reach = reaches_[(camera.dirtype != 0) & (other.dirtype != 0)];
  return dx * top * dx * top + dy * dy <= reach * reach;
}

bool NearIndex::SameIn(const Kept& camera, const Kept& other, const RowRun& row) const {
  const bool blind = camera.dirtype == 0 || other.dirtype == 0;
  if (!blind && !Facing(camera, other)) return false;
  const double dx = Apart(camera.x, other.x), dy = Apart(camera.y, other.y);
  const double inside = reaches_[!blind] * (1 - 2e-9);
  if (dx * row.bottom * dx * row.bottom + dy * dy < inside * inside) return true;
  return MetresBetween(camera.x, camera.y, other.x, other.y) <= (blind ? near_blind_ : near_);
}

std::optional<std::uint32_t> NearIndex::Find(const ImportedCamera& camera, double& metres) const {
  if (slots_.empty()) return std::nullopt;
  std::uint32_t best = kEnd;
  // A row's width is the cell's height over the cosine at the top of the
  // row above, or larger; whole rows near the pole bound nothing.
  const std::uint32_t middle = camera.y / side_;
  const double scale = ScaleAt(middle);
  const Rows rows = RowsNear(camera.y);
  Columns columns(camera.x);
  const auto column_at = [&](std::uint32_t row) { return columns.In(Width(row)); };
  const Kept query = KeptOf(camera, kEnd);
  ForNeighbourCellsBy(middle, 1, column_at, [&](std::uint32_t column, std::uint32_t row) {
    if ((row < middle && !rows.below) || (row > middle && !rows.above)) return;
    if (!MayHold(column, row)) return;
    const Slot* slot = FindSlot(CellKey(column, row));
    if (!slot) return;
    // Newest first, each camera then the one added before it in the cell.
    for (const Kept* other = &slot->latest;; other = &earlier_[other->earlier]) {
      if (other->index < best && Same(query, *other, scale, metres)) best = other->index;
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
  Kept added = KeptOf(camera, index);
  if (slot.latest.index == kEnd) {
    ++cells_;
    Mark(slot.cell);
  } else {
    added.earlier = static_cast<std::uint32_t>(earlier_.size());
    earlier_.push_back(slot.latest);
  }
  slot.latest = added;
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

std::vector<NearIndex::RowRun> NearIndex::RowsOf(std::span<const ImportedCamera> batch,
                                                 HugeVector<Kept>& sorted) const {
  std::uint32_t xs[2] = {kEnd, 0}, rows[2] = {kEnd, 0};
  for (const ImportedCamera& camera : batch) {
    const std::uint32_t row = camera.y / side_;
    xs[0] = std::min(xs[0], camera.x), xs[1] = std::max(xs[1], camera.x);
    rows[0] = std::min(rows[0], row), rows[1] = std::max(rows[1], row);
  }
  const int x_bits = std::bit_width(xs[1] - xs[0]);
  const int bits = std::bit_width(rows[1] - rows[0]) + x_bits;
  if (batch.empty() || bits > 64 - kPlaceBits) return {};
  HugeVector<std::uint64_t> keys(batch.size());
  for (std::uint32_t at = 0; at < batch.size(); ++at) {
    const std::uint64_t row = batch[at].y / side_ - rows[0];
    keys[at] = (row << x_bits | (batch[at].x - xs[0])) << kPlaceBits | at;
  }
  RadixSort(keys, kPlaceBits, bits);
  std::vector<RowRun> runs;
  sorted.resize(batch.size());
  constexpr std::uint32_t kAhead = 16;
  for (std::uint32_t at = 0; at < keys.size(); ++at) {
#if defined(__GNUC__) || defined(__clang__)
    // The cameras are read in no order: each asked for a few rows early.
    if (at + kAhead < keys.size())
      __builtin_prefetch(&batch[keys[at + kAhead] & ((1u << kPlaceBits) - 1)]);
#endif
    const auto place = static_cast<std::uint32_t>(keys[at] & ((1u << kPlaceBits) - 1));
    const auto row = static_cast<std::uint32_t>(keys[at] >> kPlaceBits >> x_bits) + rows[0];
    sorted[at] = KeptOf(batch[place], place);
    if (runs.empty() || runs.back().row != row)
      runs.push_back({row, at, at, CosineAt(row), CosineAt(row + 1)});
    ++runs.back().end;
  }
  return runs;
}

bool NearIndex::PairsIn(std::span<const ImportedCamera> batch, std::size_t most,
                        HugeVector<std::uint64_t>& pairs) const {
  HugeVector<Kept> sorted;
  const std::vector<RowRun> rows = RowsOf(batch, sorted);
  if (rows.empty()) return batch.empty();
  // A camera lies less than a cell's width of its row from every camera the
  // same as it, in its row and the row above: cells only grow wider further
  // north. Same asks nothing of where the other lies beyond that.
  const auto width_of = [this](std::uint32_t row) { return Width(row); };
  // Counted first: a crowd is told before any pair is tried.
  std::size_t tried = 0;
  const bool few = ForNeighbours(
      rows, sorted, width_of,
      [&](const RowRun&, std::uint32_t, const RowRun&, std::uint32_t first, std::uint32_t last) {
        tried += last - first;
        return tried <= most;
      });
  if (!few) return false;
  std::vector<std::uint32_t> close;
  ForNeighbours(rows, sorted, width_of,
                [&](const RowRun& own, std::uint32_t at, const RowRun& other, std::uint32_t first,
                    std::uint32_t last) {
                  // Most lie too far apart: told first, without a branch.
                  close.resize(last - first);
                  std::uint32_t count = 0;
                  for (std::uint32_t b = first; b < last; ++b) {
                    close[count] = b;
                    count += Within(sorted[at], sorted[b], other.top);
                  }
                  for (std::uint32_t i = 0; i < count; ++i) {
                    const std::uint32_t b = close[i];
                    const bool ordered = sorted[at].index < sorted[b].index;
                    const Kept &camera = sorted[ordered ? b : at], &kept = sorted[ordered ? at : b];
                    if (SameIn(camera, kept, own))
                      pairs.push_back(std::uint64_t{camera.index} << kPlaceBits | kept.index);
                  }
                  return true;
                });
  return true;
}

bool NearIndex::Resolve(std::span<const ImportedCamera> batch, NearMatches& matches) const {
  HugeVector<std::uint64_t> pairs;
  if (batch.size() > kMaxBatch || !PairsIn(batch, kPairsPerCamera * batch.size() + 1024, pairs))
    return false;
  // By the later camera; the earliest kept one of its pairs is sought.
  RadixSort(pairs, kPlaceBits, kPlaceBits);
  matches.assign(batch.size(), {});
  std::vector<bool> kept(batch.size());
  std::size_t next = 0;
  for (std::uint32_t at = 0; at < batch.size(); ++at) {
    std::uint32_t first = NearMatch::kNone;  // the earliest kept camera of the batch paired with it
    for (; next < pairs.size() && pairs[next] >> kPlaceBits == at; ++next) {
      const auto earlier = static_cast<std::uint32_t>(pairs[next] & ((1u << kPlaceBits) - 1));
      if (kept[earlier]) first = std::min(first, earlier);
    }
    // Cameras kept before the batch come before every one of it.
    NearMatch& match = matches[at];
    double metres = 0;
    if (const auto found = Find(batch[at], metres)) {
      match.earlier = *found;
    } else if (first != NearMatch::kNone) {
      match = {first, true};
    }
    kept[at] = match.earlier == NearMatch::kNone;
  }
  return true;
}

}  // namespace korvel
