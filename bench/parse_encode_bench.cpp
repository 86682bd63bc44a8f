// Parse plus encode of a deterministic synthetic camera text, trace off.
//
//   korvel_bench --benchmark_filter='ParseEncode/1000000'
//
// Each size writes its text to a temporary folder once, streaming, so the
// process's peak resident memory (reported as peak_rss_mb) is the tool's own.
// Run one size per process to read its peak memory.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "camdb/parser.h"
#include "generate/db_encoder.h"
#include "platform/real_file_system.h"

namespace korvel {
namespace {

class NoStatus : public StatusLine {
 public:
  void SetStatus(const std::string& text) override { failure = text; }
  std::string failure;
};

std::string MakeText(const std::string& folder, std::int64_t rows) {
  const std::string path = folder + "/cameras.txt";
  std::ofstream out(path, std::ios::binary);
  out << "V1.0 211105 bench\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\r\n";
  std::uint32_t state = 12345;
  auto next = [&state]() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  char row[96];
  for (std::int64_t i = 0; i < rows; ++i) {
    const int n =
        std::snprintf(row, sizeof row, "%.6f\t%.6f\t%u\t%u\t%u\t%u\r\n",
                      124.0 + (next() % 600000) / 100000.0, 33.0 + (next() % 500000) / 100000.0,
                      next() % 10, 30 + next() % 90, next() % 2, next() % 360);
    out.write(row, n);
  }
  return path;
}

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

void ParseEncode(benchmark::State& bench) {
  char folder_template[] = "/tmp/korvel-bench-XXXXXX";
  const std::string folder = mkdtemp(folder_template);
  const std::string text = MakeText(folder, bench.range(0));
  RealFileSystem fs(folder);
  for (auto _ : bench) {
    RunState state;
    state.K93_MODE = 1;
    NoStatus status;
    TextReader reader(fs.Open(text, OpenMode::kReadShared));
    if (ParseDbText(reader, state, status, nullptr) != 1) {
      bench.SkipWithError(status.failure.c_str());
      break;
    }
    if (WriteDbFile(state, fs, nullptr) != WriteDbResult::kOk) {
      bench.SkipWithError("TempDb.bin not written");
      break;
    }
    benchmark::DoNotOptimize(state.DB_STREAM.data());
  }
  bench.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(bench.range(0)),
                                                    benchmark::Counter::kIsIterationInvariantRate);
  bench.counters["peak_rss_mb"] = PeakRssMb();
  fs.Remove("TempDb.bin");
  fs.Remove(text);
  rmdir(folder.c_str());
}

BENCHMARK(ParseEncode)->Arg(250000)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvel

BENCHMARK_MAIN();
