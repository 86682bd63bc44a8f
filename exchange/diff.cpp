#include "exchange/diff.h"

#include <algorithm>
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

bool ByKey(const GPS_POINT& a, const GPS_POINT& b) {
  return Key(a) < Key(b);
}

bool SamePlace(const GPS_POINT& a, const GPS_POINT& b) {
  return a.x == b.x && a.y == b.y;
}

bool PlaceBefore(const GPS_POINT& a, const GPS_POINT& b) {
  return std::tie(a.y, a.x) < std::tie(b.y, b.x);
}

std::vector<GPS_POINT> Sorted(const std::vector<GPS_POINT>& points) {
  std::vector<GPS_POINT> sorted = points;
  std::sort(sorted.begin(), sorted.end(), ByKey);
  return sorted;
}

}  // namespace

DiffCounts DiffCameras(const DecodedDb& old_db, const DecodedDb& new_db, std::ostream& out) {
  const std::vector<GPS_POINT> a = Sorted(old_db.points);
  const std::vector<GPS_POINT> b = Sorted(new_db.points);
  DiffCounts counts;
  // Whole-record matches, leaving the unmatched of each side in key order.
  std::vector<GPS_POINT> removed, added;
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (j == b.size() || (i < a.size() && ByKey(a[i], b[j]))) {
      removed.push_back(a[i++]);
    } else if (i == a.size() || ByKey(b[j], a[i])) {
      added.push_back(b[j++]);
    } else {
      ++counts.unchanged;
      ++i;
      ++j;
    }
  }
  // Walk both by position: at one place, pairs are changes, the rest plain.
  i = j = 0;
  while (i < removed.size() || j < added.size()) {
    if (i < removed.size() && j < added.size() && SamePlace(removed[i], added[j])) {
      out << "~ " << TsvRow(removed[i++]) << " -> " << TsvRow(added[j++]) << '\n';
      ++counts.changed;
    } else if (j == added.size() || (i < removed.size() && !PlaceBefore(added[j], removed[i]))) {
      out << "- " << TsvRow(removed[i++]) << '\n';
      ++counts.removed;
    } else {
      out << "+ " << TsvRow(added[j++]) << '\n';
      ++counts.added;
    }
  }
  out << "old version: " << VersionText(old_db.version) << "\n"
      << "new version: " << VersionText(new_db.version) << "\n"
      << counts.added << " added, " << counts.removed << " removed, " << counts.changed
      << " changed, " << counts.unchanged << " unchanged\n";
  return counts;
}

}  // namespace korvel
