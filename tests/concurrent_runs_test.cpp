// Runs of korvel-cli at the same time on the same folders: each must end
// with its own whole, correct outputs, as if it had run alone.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace korvel {
namespace {

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

TEST(ConcurrentRuns, SameFoldersGiveEachRunItsOwnWholeOutputs) {
  std::string templ = (fs::temp_directory_path() / "korvel-runs-XXXXXX").string();
  ASSERT_NE(mkdtemp(templ.data()), nullptr);
  const fs::path dir = templ, out = dir / "out";
  std::ofstream(dir / "K93_FW_v0102.bin", std::ios::binary) << std::string(249856, '\x5A');
  std::ofstream(dir / "K93_Voice_v0034.bin", std::ios::binary) << std::string(70000, '\x3C');
  // Big enough that the runs overlap; two texts in one folder share the copy.
  for (const char* name : {"a.txt", "b.txt"}) {
    std::ofstream text(dir / name, std::ios::binary);
    text << "V1.0 123456 " << name << "\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\r\n";
    for (int i = 0; i < 40000; ++i) {
      char row[80];
      std::snprintf(row, sizeof row, "%.6f\t%.6f\t%d\t60\t1\t90\r\n", 126.0 + i * 1e-5,
                    37.0 + (i % 977) * 1e-4, name[0] == 'a' ? 3 : 1);
      text << row;
    }
  }
  const std::string cli = "'" KORVEL_CLI_PATH
                          "' generate --fw K93_FW_v0102.bin "
                          "--voice K93_Voice_v0034.bin --out-dir out --db ";
  constexpr int kRuns = 8;
  std::string runs[kRuns];
  for (int i = 0; i < kRuns; ++i) runs[i] = cli + (i % 2 == 0 ? "a.txt" : "b.txt --per-model");
  const fs::path package = out / "K93_F0102_V0034_D3456.bin", ulma = out / "ulma_db_ver2.bin";
  // Alone first, for the outputs each run must give.
  const auto run = [&](const std::string& script) {
    return std::system(("cd '" + dir.string() + "' || exit 9; " + script).c_str());
  };
  ASSERT_EQ(run(runs[0] + " >/dev/null && " + runs[1] + " >/dev/null"), 0);
  const std::string alone_package = ReadText(package), alone_ulma = ReadText(ulma);
  fs::remove_all(out);

  std::string together;
  for (int i = 0; i < kRuns; ++i) {
    together +=
        runs[i] + " >run" + std::to_string(i) + ".txt 2>&1 & p" + std::to_string(i) + "=$!; ";
  }
  for (int i = 0; i < kRuns; ++i)
    together += "wait $p" + std::to_string(i) + " || echo " + std::to_string(i) + " >>failed; ";
  ASSERT_EQ(run(together), 0);
  EXPECT_FALSE(fs::exists(dir / "failed")) << ReadText(dir / "failed");
  for (int i = 0; i < kRuns; ++i) {
    EXPECT_NE(ReadText(dir / ("run" + std::to_string(i) + ".txt")).find("status:    Success.."),
              std::string::npos)
        << ReadText(dir / ("run" + std::to_string(i) + ".txt"));
  }
  EXPECT_TRUE(ReadText(package) == alone_package);
  EXPECT_TRUE(ReadText(ulma) == alone_ulma);
  EXPECT_TRUE(ReadText(out / "narv_db_ver2_563412.bin") == alone_ulma);
  // Nothing but whole files under final names, and no temporary left over.
  for (const fs::path& folder : {dir, out}) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name.find(".tmp") == std::string::npos && name != "TempDbFile.txt") << name;
    }
  }
  fs::remove_all(dir);
}

#endif

}  // namespace
}  // namespace korvel
