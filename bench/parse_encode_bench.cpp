// The stages of a generate run on a deterministic synthetic camera text,
// trace off: Check (the checker, which the dialog runs before anything is
// written), Parse (text to GPS_DB), Sort, Encode (DB_STREAM), Write
// (TempDb.bin), and ParseEncode, the last four in a row.
//
//   korvel_bench --benchmark_filter='/1000000'
//   korvel_bench --benchmark_filter='ParseEncode/1000000'
//
// Each size writes its text to a temporary folder once, streaming, so the
// process's peak resident memory (reported as peak_rss_mb) is the tool's own.
// Run ParseEncode alone, one size per process, to read its peak memory.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "camdb/checker.h"
#include "camdb/parser.h"
#include "format/db_encoder.h"
#include "generate/pipeline.h"
#include "platform/real_file_system.h"
#include "platform/text_file.h"

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

/// A text of `rows` rows in a folder of its own, removed at exit.
class Text {
 public:
  explicit Text(std::int64_t rows) {
    char folder_template[] = "/tmp/korvel-bench-XXXXXX";
    folder_ = mkdtemp(folder_template);
    path_ = MakeText(folder_, rows);
    fs_ = std::make_unique<RealFileSystem>(folder_);
    line_count_ = CountLines(*fs_, path_).value_or(0);
  }
  ~Text() {
    fs_->Remove("TempDb.bin");
    fs_->Remove(path_);
    rmdir(folder_.c_str());
  }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;

  RealFileSystem& fs() { return *fs_; }
  const std::string& path() const { return path_; }
  /// Parses the text into a fresh state; false (and the failure) when it
  /// does not parse.
  bool Parse(RunState& state, std::string& failure) {
    state = RunState{};
    state.K93_MODE = 1;
    state.DB_LINE_COUNT = line_count_;
    NoStatus status;
    TextReader reader(fs_->Open(path_, OpenMode::kReadShared));
    if (ParseDbText(reader, state, status, nullptr) == 1) return true;
    failure = status.failure;
    return false;
  }

 private:
  std::string folder_;
  std::string path_;
  std::unique_ptr<RealFileSystem> fs_;
  std::uint32_t line_count_ = 0;
};

/// One text per size, made on first use.
Text& TextOf(std::int64_t rows) {
  static std::map<std::int64_t, std::unique_ptr<Text>> texts;
  std::unique_ptr<Text>& text = texts[rows];
  if (!text) text = std::make_unique<Text>(rows);
  return *text;
}

void SetRowRate(benchmark::State& bench) {
  bench.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(bench.range(0)),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void Parse(benchmark::State& bench) {
  Text& text = TextOf(bench.range(0));
  RunState state;
  std::string failure;
  for (auto _ : bench) {
    if (!text.Parse(state, failure)) {
      bench.SkipWithError(failure.c_str());
      break;
    }
    benchmark::DoNotOptimize(&state.GPS_DB.front());
  }
  SetRowRate(bench);
}

void Check(benchmark::State& bench) {
  Text& text = TextOf(bench.range(0));
  // A million rows do not fit a package: checked for the per-model files.
  const CheckLimits limits = GenerateLimits(true);
  for (auto _ : bench) {
    std::string problem;
    TextReader reader(text.fs().Open(text.path(), OpenMode::kReadShared));
    const CheckSummary summary = CheckDbText(reader, limits, [&problem](const CheckProblem& p) {
      if (problem.empty()) problem = p.message;
    });
    if (!problem.empty() || summary.rows != static_cast<std::uint64_t>(bench.range(0))) {
      bench.SkipWithError(problem.empty() ? "rows miscounted" : problem.c_str());
      break;
    }
  }
  SetRowRate(bench);
}

/// The stages after the parse start from the parsed text of this size,
/// parsed once outside the timing; false after skipping the benchmark.
bool ParsedBefore(benchmark::State& bench, RunState& state) {
  std::string failure;
  if (TextOf(bench.range(0)).Parse(state, failure)) return true;
  bench.SkipWithError(failure.c_str());
  return false;
}

void Sort(benchmark::State& bench) {
  RunState parsed;
  if (!ParsedBefore(bench, parsed)) return;
  for (auto _ : bench) {
    bench.PauseTiming();
    GpsDb points = parsed.GPS_DB;
    bench.ResumeTiming();
    SortPoints(points);
    benchmark::DoNotOptimize(&points.front());
  }
  SetRowRate(bench);
}

void Encode(benchmark::State& bench) {
  RunState state;
  if (!ParsedBefore(bench, state)) return;
  SortPoints(state.GPS_DB);
  for (auto _ : bench) {
    if (!EncodeDb(state, nullptr)) {
      bench.SkipWithError("a cell is too large");
      break;
    }
    benchmark::DoNotOptimize(state.DB_STREAM.data());
  }
  SetRowRate(bench);
}

void Write(benchmark::State& bench) {
  Text& text = TextOf(bench.range(0));
  RunState state;
  if (!ParsedBefore(bench, state)) return;
  SortPoints(state.GPS_DB);
  EncodeDb(state, nullptr);
  for (auto _ : bench) {
    auto file = text.fs().Open(state.TEMP_DB_BIN, OpenMode::kCreateWrite);
    if (!file || !file->Write(state.DB_STREAM.data(), state.DB_STREAM.size()) || !file->Close()) {
      bench.SkipWithError("TempDb.bin not written");
      break;
    }
  }
  SetRowRate(bench);
}

void ParseEncode(benchmark::State& bench) {
  Text& text = TextOf(bench.range(0));
  RunState state;
  std::string failure;
  for (auto _ : bench) {
    if (!text.Parse(state, failure)) {
      bench.SkipWithError(failure.c_str());
      break;
    }
    if (WriteDbFile(state, text.fs(), nullptr) != WriteDbResult::kOk) {
      bench.SkipWithError("TempDb.bin not written");
      break;
    }
    benchmark::DoNotOptimize(state.DB_STREAM.data());
  }
  SetRowRate(bench);
  bench.counters["peak_rss_mb"] = PeakRssMb();
}

BENCHMARK(Check)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(Parse)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(Sort)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(Encode)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(Write)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseEncode)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvel

BENCHMARK_MAIN();
