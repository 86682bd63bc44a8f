#pragma once
// The import's two de-duplication indexes over the kept cameras: identical
// cameras (--dedupe exact) and cameras within a distance (--dedupe near).

#include <cstdint>
#include <optional>
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

/// The kept cameras by grid cell, a cell as high as the largest distance:
/// every camera within it lies in the cell rows one above and below, and
/// as many columns either way as the latitude asks.
class NearIndex {
 public:
  /// `near`: metres within which two cameras with a DIRTYPE and directions
  /// at most 45 degrees apart are one; `near_blind` when either has none.
  NearIndex(double near, double near_blind);

  /// The earliest kept camera that is the same as `camera`, and `metres`
  /// between them.
  std::optional<std::uint32_t> Find(const ImportedCamera& camera, const ImportedCameras& kept,
                                    double& metres) const;
  /// Adds kept[index], which is after every camera added before.
  void Add(std::uint32_t index, const ImportedCameras& kept);
  /// Forgets every camera added.
  void Clear();

 private:
  static constexpr std::uint32_t kEnd = 0xFFFFFFFFu;
  struct Slot {
    std::uint64_t cell = kNoCell;
    std::uint32_t last = kEnd;  ///< the latest camera added in the cell
  };
  static constexpr std::uint64_t kNoCell = ~std::uint64_t{0};

  std::uint32_t Last(std::uint64_t cell) const;
  Slot& SlotOf(std::uint64_t cell);
  void Grow();

  double near_, near_blind_;
  std::uint32_t side_;  ///< cell side in 1/10000 degree
  std::vector<Slot> slots_;
  std::size_t mask_ = 0, cells_ = 0;
  /// For each kept camera, the one added before it in its cell, or kEnd.
  std::vector<std::uint32_t> earlier_;
};

}  // namespace korvel
