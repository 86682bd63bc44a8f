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

TEST(FuzzReplay, EveryCorpusAndRegressionFileHoldsTheInvariants) {
  const std::pair<const char*, int (*)(const std::uint8_t*, std::size_t)> targets[] = {
      {"fuzz_parser", FuzzParser},
      {"fuzz_number", FuzzNumber},
      {"fuzz_reader", FuzzReader},
      {"fuzz_roundtrip", FuzzRoundtrip},
      {"fuzz_import_csv", FuzzImportCsv},
      {"fuzz_import_doc", FuzzImportDoc},
      {"fuzz_import_kmz", FuzzImportKmz},
      {"fuzz_osm", FuzzOsm},
      {"fuzz_map", FuzzMap}};
  for (const auto& [name, function] : targets) {
    std::size_t files = 0;
    for (const char* folder : {"corpus", "regressions"}) {
      const fs::path dir = fs::path(KORVEL_FUZZ_DIR) / folder / name;
      if (!fs::is_directory(dir)) continue;
      for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        ++files;
        try {
          function(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        } catch (const InvariantFailure& failure) {
          ADD_FAILURE() << entry.path().string() << ": " << failure.what();
        }
      }
    }
    EXPECT_GT(files, 0u) << "no corpus for " << name;
  }
}

}  // namespace
}  // namespace korvel::fuzz
