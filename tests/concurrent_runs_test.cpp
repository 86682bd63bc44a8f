// korvel-cli runs at the same time on the same folders: each must end with
// whole, correct outputs, the same as when run alone.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)
#include "support/cli_folder.h"
#endif

namespace korvel {
namespace {

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)

namespace fs = std::filesystem;
using testing::ReadText;

TEST(ConcurrentRuns, SameFoldersGiveEachRunItsOwnWholeOutputs) {
  const testing::CliFolder folder("korvel-runs");
  const fs::path dir = folder.dir, out = dir / "out";
  folder.Write("K93_FW_v0102.bin", std::string(249856, 'Z'));
  folder.Write("K93_Voice_v0034.bin", std::string(70000, 'V'));
  // Two texts in one folder share the working copy; big enough to overlap.
  for (const char* name : {"a.txt", "b.txt"}) {
    std::ofstream text(dir / name, std::ios::binary);
    text << "V1.0 123456\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\r\n";
    char row[80];
    for (int i = 0; i < 40000; ++i) {
      std::snprintf(row, sizeof row, "%.6f\t%.6f\t%c\t60\t1\t90\r\n", 126.0 + i * 1e-5,
                    37.0 + (i % 977) * 1e-4, name[0] == 'a' ? '3' : '1');
      text << row;
    }
  }
  const std::string cli = "'" KORVEL_CLI_PATH
                          "' generate --fw K93_FW_v0102.bin "
                          "--voice K93_Voice_v0034.bin --out-dir out --db ";
  const std::string runs[] = {cli + "a.txt", cli + "b.txt --per-model"};
  const fs::path package = out / "K93_F0102_V0034_D3456.bin", ulma = out / "ulma_db_ver2.bin";
  ASSERT_EQ(folder.Shell(runs[0] + " >/dev/null && " + runs[1] + " >/dev/null"), 0);
  const std::string alone_package = ReadText(package), alone_ulma = ReadText(ulma);
  fs::remove_all(out);

  std::string together, waits;
  for (int i = 0; i < 8; ++i) {
    const std::string n = std::to_string(i);
    together += runs[i % 2] + " | grep -q '^status:    Success..$' & p" + n + "=$!; ";
    waits += "wait $p" + n + " || echo " + n + " >>failed; ";
  }
  ASSERT_EQ(folder.Shell(together + waits), 0);
  EXPECT_FALSE(fs::exists(dir / "failed")) << ReadText(dir / "failed");
  EXPECT_TRUE(ReadText(package) == alone_package && ReadText(ulma) == alone_ulma &&
              ReadText(out / "narv_db_ver2_563412.bin") == alone_ulma);
  for (const fs::path& folder : {dir, out}) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name.find(".tmp") == std::string::npos && name != "TempDbFile.txt") << name;
    }
  }
}

#endif

}  // namespace
}  // namespace korvel
