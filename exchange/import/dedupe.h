#pragma once
// The import's two de-duplication indexes over the kept cameras: identical
// cameras (--dedupe exact) and cameras within a distance (--dedupe near).

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "exchange/import/device_check.h"
#include "platform/memory.h"

namespace korvel {

/// The kept cameras by everything the device stores: an open-addressing
/// table of 8-byte slots, each an index into them and the 32-bit hash of its
/// key, which also places it; a probe rarely reads a camera, and a
/// node-based map would cost more than the cameras.
class ExactIndex {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  /// The index of a kept camera identical to `camera`, or kNone.
  std::uint32_t Find(const ImportedCamera& camera, const ImportedCameras& kept) const;
  /// Where a search for `camera` starts: null data() and a zero mask while
  /// the table is empty. For a prefetch, which never faults.
  const std::uint64_t* Start(const ImportedCamera& camera) const;
  /// Adds kept[index], which no other kept camera equals.
  void Add(std::uint32_t index, const ImportedCameras& kept);

 private:
  void Place(std::uint32_t hash, std::uint32_t index);
  void Grow();

  using Slots = std::vector<std::uint64_t, HugePageAllocator<std::uint64_t>>;
  Slots slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

/// Metres between two cameras on a sphere of the Earth's mean radius, as
/// flat as a few kilometres allow.
double MetresApart(const ImportedCamera& a, const ImportedCamera& b);

/// What Resolve found for a camera of a batch: the earliest camera kept
/// before it that is the same, or none.
struct NearMatch {
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  /// The kept camera's index when added to the index, else its place in
  /// the batch (`in_batch`).
  std::uint32_t earlier = kNone;
  bool in_batch = false;
};

/// What Resolve found, by camera of the batch.
using NearMatches = HugeVector<NearMatch>;

/// The kept cameras by grid cell. A cell is as high as the largest distance
/// and, in each row, as wide as that distance spans at the row above it: a
/// camera within the distance lies in the rows one above and below and in
/// each of them one column either way. An open-addressing table of cells,
/// each holding its latest camera; a search reads nothing else for a cell
/// of one camera. Most cells a search asks for hold none: a bit per cell,
/// hashed into an array eight times as long as the table, says which may,
/// and one small enough for the cache spares the table's slots of the rest.
class NearIndex {
 public:
  /// `near`: metres within which two cameras with a DIRTYPE and directions
  /// at most 45 degrees apart are one; `near_blind` when either has none.
  NearIndex(double near, double near_blind);

  /// The earliest kept camera that is the same as `camera`, and `metres`
  /// between them.
  std::optional<std::uint32_t> Find(const ImportedCamera& camera, double& metres) const;
  /// Adds `camera`, kept as `index`, which is above every index added before.
  void Add(const ImportedCamera& camera, std::uint32_t index);
  /// Forgets every camera added.
  void Clear();

  /// The most cameras one Resolve takes.
  static constexpr std::size_t kMaxBatch = std::size_t{1} << 20;
  /// For each camera of `batch` in turn, what Find gives had every camera
  /// before it that Find matched with nothing been added: the same answers
  /// as searching and adding one by one, from the pairs of cameras near
  /// each other, which sorting the batch by row and x brings together.
  /// False, with nothing decided, when the cameras crowd so densely that
  /// the pairs cost more than searching one by one.
  bool Resolve(std::span<const ImportedCamera> batch, NearMatches& matches) const;

 private:
  static constexpr std::uint32_t kEnd = 0xFFFFFFFFu;
  static constexpr int kMaxAngle = 45;
  static constexpr std::uint64_t kNoCell = ~std::uint64_t{0};
  /// What a search compares of a kept camera, and the camera added before
  /// it in its cell.
  struct Kept {
    std::uint32_t x = 0, y = 0, index = kEnd, earlier = kEnd;
    std::uint16_t direction = 0;
    std::uint8_t dirtype = 0;
  };
  static Kept KeptOf(const ImportedCamera& camera, std::uint32_t index) {
    return {camera.x, camera.y, index, kEnd, camera.direction, camera.dirtype};
  }
  struct Slot {
    std::uint64_t cell = kNoCell;
    Kept latest;
  };

  std::uint32_t Width(std::uint32_t row) const {
    return widths_[std::min<std::size_t>(row, widths_.size() - 1)];
  }
  std::uint64_t CellOf(std::uint32_t x, std::uint32_t y) const;
  /// Whether the rows below and above the row of `y` may hold a camera
  /// within the largest distance of a camera there.
  struct Rows {
    bool below, above;
  };
  Rows RowsNear(std::uint32_t y) const;
  /// The bit of the cell (column, row): four columns side by side share a
  /// word, as a search asks for three.
  std::size_t BitOf(std::uint32_t column, std::uint32_t row) const;
  void Mark(std::uint64_t cell);
  bool MayHold(std::uint32_t column, std::uint32_t row) const {
    const std::size_t bit = BitOf(column, row);
    return (marks_[bit >> 6] >> (bit & 63)) & 1;
  }
  const Slot* FindSlot(std::uint64_t cell) const;
  Slot& SlotOf(std::uint64_t cell);
  void Grow();
  /// The cosine of the latitude of the bottom of `row`, 0 from the pole.
  double CosineAt(std::uint32_t row) const;
  /// The fewest units of latitude a unit of longitude spans within a
  /// camera's reach in `row`.
  double ScaleAt(std::uint32_t row) const {
    const std::uint32_t width = Width(row);
    return width == kEnd ? 0 : static_cast<double>(side_) / width;
  }
  /// The cameras of one row of a batch: sorted[begin] to sorted[end - 1];
  /// the cosines of the latitudes of its bottom and its top.
  struct RowRun {
    std::uint32_t row, begin, end;
    double bottom, top;
  };
  /// `batch` in `sorted` by row and x, each with its place in the batch as
  /// its index, and their rows.
  std::vector<RowRun> RowsOf(std::span<const ImportedCamera> batch, HugeVector<Kept>& sorted) const;
  /// The pairs of `batch` that are the same camera, each the later one's
  /// place above the earlier one's; false, with none tried, when more than
  /// `most` would be.
  bool PairsIn(std::span<const ImportedCamera> batch, std::size_t most,
               HugeVector<std::uint64_t>& pairs) const;
  /// Whether `camera` and `other`, one in a row and one in it or the row
  /// above whose top's cosine is `top`, may lie within the distance: the
  /// least it can be, in units of latitude, a hair over.
  bool Within(const Kept& camera, const Kept& other, double top) const;
  /// Same without the metres for two cameras Within each other, the lower
  /// in `row`: most pairs are told from the largest their distance can
  /// be, worked out only near the distance itself.
  bool SameIn(const Kept& camera, const Kept& other, const RowRun& row) const;
  /// Whether two cameras with a DIRTYPE face at most 45 degrees apart.
  static bool Facing(const Kept& camera, const Kept& other) {
    const int apart = std::abs(int{camera.direction} - int{other.direction}) % 360;
    return std::min(apart, 360 - apart) <= kMaxAngle;
  }
  /// Whether `other` is the same camera as `camera`; then `metres` apart.
  /// `scale`: the fewest units of latitude a unit of longitude spans there.
  bool Same(const Kept& camera, const Kept& other, double scale, double& metres) const;

  double near_, near_blind_;
  std::uint32_t side_;  ///< cell height in 1/10000 degree
  /// The distance beside a DIRTYPE 0, and that between directions, in
  /// those units, a hair over; and the larger.
  double reaches_[2], reach_;
  std::vector<std::uint32_t> widths_;  ///< cell width of each row, in 1/10000 degree
  std::vector<Slot, HugePageAllocator<Slot>> slots_;
  std::size_t mask_ = 0, cells_ = 0;
  /// Every kept camera added that another one followed in its cell, by index.
  std::vector<Kept, HugePageAllocator<Kept>> earlier_;
  /// The bits of the cells that hold cameras, 8 for each slot.
  std::vector<std::uint64_t, HugePageAllocator<std::uint64_t>> marks_;
};

}  // namespace korvel
