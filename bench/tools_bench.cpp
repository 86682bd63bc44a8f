// Export and diff of 1,000,000 points, the sizes operators' releases reach.
//
//   korvel_bench --benchmark_filter='Export|Diff'

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "exchange/diff.h"
#include "exchange/export.h"

namespace korvel {
namespace {

DecodedDb MakeDb(std::uint32_t seed) {
  DecodedDb db;
  db.version = "V1.0 051121";
  std::uint32_t state = seed;
  auto next = [&state]() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  for (int i = 0; i < 1000000; ++i) {
    GPS_POINT p;
    p.x = 1240000 + next() % 60000;
    p.y = 330000 + next() % 50000;
    p.id = CellId(p.x, p.y);
    p.type = static_cast<std::uint8_t>(next() % 10);
    p.speed = static_cast<std::uint8_t>(30 + next() % 90);
    p.angle = static_cast<std::uint16_t>(next() % 360);
    db.points.push_back(p);
  }
  std::sort(db.points.begin(), db.points.end());
  return db;
}

void BM_Export(benchmark::State& state) {
  static const DecodedDb db = MakeDb(1);
  const auto format = static_cast<ExportFormat>(state.range(0));
  for (auto _ : state) {
    std::ofstream out("/dev/null", std::ios::binary);
    benchmark::DoNotOptimize(ExportCameras(db, format, out).ok);
  }
}
// tsv, geojson, gpx, kml
BENCHMARK(BM_Export)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_Diff(benchmark::State& state) {
  static const DecodedDb old_db = MakeDb(1);
  static const DecodedDb new_db = [] {
    DecodedDb db = MakeDb(1);
    for (std::size_t i = 0; i < db.points.size(); i += 1000) db.points[i].speed ^= 1;
    return db;
  }();
  for (auto _ : state) {
    std::ostringstream out;
    benchmark::DoNotOptimize(DiffCameras(old_db, new_db, out).changed);
  }
}
BENCHMARK(BM_Diff)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvel
