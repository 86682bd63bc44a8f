#include "exchange/diff.h"

#include <algorithm>
#include <numeric>
#include <ostream>
#include <tuple>
#include <vector>

#include "exchange/export.h"

namespace korvel {
namespace {

/// Position first, so that the unmatched cameras of one place lie together.
auto Key(const GPS_POINT& p) {
  return std::make_tuple(p.y, p.x, p.id, p.type, p.speed, p.flag, p.angle, p.reserved);
}

bool SamePlace(const GPS_POINT& a, const GPS_POINT& b) {
  return a.x == b.x && a.y == b.y;
}

bool PlaceBefore(const GPS_POINT& a, const GPS_POINT& b) {
  return std::tie(a.y, a.x) < std::tie(b.y, b.x);
}

/// The indices of `points` in key order; equal records keep their order, so
/// the output does not depend on the sort's whims.
std::vector<std::size_t> SortedIndices(const std::vector<GPS_POINT>& points) {
  std::vector<std::size_t> order(points.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return Key(points[a]) < Key(points[b]); });
  return order;
}

}  // namespace

DiffCounts MatchCameras(const DecodedDb& old_db, const DecodedDb& new_db,
                        const std::function<void(const DiffMatch&)>& visit) {
  const std::vector<GPS_POINT>& a = old_db.points;
  const std::vector<GPS_POINT>& b = new_db.points;
  const std::vector<std::size_t> sa = SortedIndices(a), sb = SortedIndices(b);
  const auto before = [](const GPS_POINT& x, const GPS_POINT& y) { return Key(x) < Key(y); };
  DiffCounts counts;
  // Whole-record matches, leaving the unmatched of each side in key order.
  std::vector<std::size_t> removed, added;
  std::size_t i = 0, j = 0;
  while (i < sa.size() || j < sb.size()) {
    if (j == sb.size() || (i < sa.size() && before(a[sa[i]], b[sb[j]]))) {
      removed.push_back(sa[i++]);
    } else if (i == sa.size() || before(b[sb[j]], a[sa[i]])) {
      added.push_back(sb[j++]);
    } else {
      ++counts.unchanged;
      visit({DiffKind::kUnchanged, &a[sa[i]], &b[sb[j]], sa[i], sb[j]});
      ++i;
      ++j;
    }
  }
  // Walk both by position: at one place, pairs are changes, the rest plain.
  i = j = 0;
  while (i < removed.size() || j < added.size()) {
    if (i < removed.size() && j < added.size() && SamePlace(a[removed[i]], b[added[j]])) {
      visit({DiffKind::kChanged, &a[removed[i]], &b[added[j]], removed[i], added[j]});
      ++i;
      ++j;
      ++counts.changed;
    } else if (j == added.size() ||
               (i < removed.size() && !PlaceBefore(b[added[j]], a[removed[i]]))) {
      visit({DiffKind::kRemoved, &a[removed[i]], nullptr, removed[i], 0});
      ++i;
      ++counts.removed;
    } else {
      visit({DiffKind::kAdded, nullptr, &b[added[j]], 0, added[j]});
      ++j;
      ++counts.added;
    }
  }
  return counts;
}

DiffCounts DiffCameras(const DecodedDb& old_db, const DecodedDb& new_db, std::ostream& out) {
  const DiffCounts counts = MatchCameras(old_db, new_db, [&](const DiffMatch& match) {
    switch (match.kind) {
      case DiffKind::kUnchanged:
        break;
      case DiffKind::kChanged:
        out << "~ " << TsvRow(*match.old_point) << " -> " << TsvRow(*match.new_point) << '\n';
        break;
      case DiffKind::kRemoved:
        out << "- " << TsvRow(*match.old_point) << '\n';
        break;
      case DiffKind::kAdded:
        out << "+ " << TsvRow(*match.new_point) << '\n';
        break;
    }
  });
  out << "old version: " << VersionText(old_db.version) << "\n"
      << "new version: " << VersionText(new_db.version) << "\n"
      << counts.added << " added, " << counts.removed << " removed, " << counts.changed
      << " changed, " << counts.unchanged << " unchanged\n";
  return counts;
}

}  // namespace korvel
