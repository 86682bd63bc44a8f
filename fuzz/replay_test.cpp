// Replays every seed and every input a fuzz target ever failed on through the
// target's own entry point, so a fault found once stays fixed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/fuzz_check.h"

namespace korvel::fuzz {
namespace {

namespace fs = std::filesystem;

struct Target {
  const char* name;
  int (*function)(const std::uint8_t*, std::size_t);
};

constexpr Target kTargets[] = {
    {"fuzz_parser", FuzzParser},
    {"fuzz_number", FuzzNumber},
    {"fuzz_reader", FuzzReader},
    {"fuzz_roundtrip", FuzzRoundtrip},
};

class FuzzReplay : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, EveryCorpusAndRegressionFileHoldsTheInvariants) {
  const Target target = GetParam();
  std::size_t files = 0;
  for (const char* folder : {"corpus", "regressions"}) {
    const fs::path dir = fs::path(KORVEL_FUZZ_DIR) / folder / target.name;
    if (!fs::is_directory(dir)) continue;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(in), {}};
      ++files;
      try {
        target.function(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      } catch (const InvariantFailure& failure) {
        ADD_FAILURE() << entry.path().string() << ": " << failure.what();
      }
    }
  }
  EXPECT_GT(files, 0u) << "no corpus for " << target.name;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvel::fuzz
