// korvel-cli as an operator's shell sees it: exit statuses, the status and
// output lines, and the files it leaves.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)
#include "support/cli_folder.h"
#endif

namespace korvel {
namespace {

// The runs go through a POSIX shell; the Windows build has its own front end.
#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)

namespace fs = std::filesystem;
using testing::ReadText;

TEST(CliTest, ExitStatusesAndLines) {
  const testing::CliFolder folder("korvel-cli");
  const fs::path dir = folder.dir, out_dir = dir / "out", models = dir / "models";
  const auto write = [&](const std::string& name, const std::string& bytes) {
    folder.Write(name, bytes);
  };
  std::string out, err;
  write("K93_FW_v0102.bin", std::string(249856, '\x5A'));
  write("K93_Voice_v0034.bin", std::string(5000, '\x3C'));
  write("cams.txt",
        "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\r\n"
        "127.000000\t37.500000\t3\t60\t1\t90\r\n");
  write("bad.txt", "V1.0 123456\r\nX\tY\tTYPE\r\n1\t2\r\n");
  write("K93_FW_v12.bin", std::string(249856, '\0'));
  write("blocker", "");
  std::string warn = "V1.0 123456\nX\tY\tTYPE\n";
  for (int i = 0; i < 25; ++i) warn += "127,5\t37.5\t1\t60\t1\t90\n";
  write("warn.txt", warn);
  const std::string too_long(300, 'n');
  const std::string generate = "generate --fw K93_FW_v0102.bin --voice K93_Voice_v0034.bin --db ";
  const std::string usage = "Try 'korvel-cli";
  const std::string package = (out_dir / "K93_F0102_V0034_D3456.bin").string();
  const std::string ulma = (models / "ulma_db_ver2.bin").string();
  // Arguments, exit status, how standard output ends (empty: no output at all)
  // and what standard error holds (empty: nothing).
  // clang-format off
  const std::tuple<std::string, int, std::string, std::string> cases[] = {
      {generate + "cams.txt --out-dir out", 0,
       "status: Please open read file..\nstatus: Please select voice file..\n"
       "status: Please select DB text file..\nstatus:    Press Start button..\n"
       "output: " + package + "\nstatus:    Success..\n", ""},
      // The encoder's trace ends just before the output line.
      {generate + "cams.txt --per-model --trace --out-dir models", 0,
       "\nBodys\n\noutput: " + ulma + "\nstatus:    Success..\n", ""},
      {generate + "bad.txt", 1, "status: Error : Line 3\n", ""},
      {generate + "none.txt", 1, "status: Please select DB text file..\n",
       "DB text file none.txt: No such file or directory\n"},
      {generate + too_long, 1, "status: Please select DB text file..\n", too_long + ": File name too long\n"},
      {"generate --fw K93_FW_v12.bin --voice K93_Voice_v0034.bin --db cams.txt", 1,
       "status: Cannot file FW file..\n", "was not accepted"},
      {generate + "cams.txt --out-dir blocker/sub", 1, "", "cannot create output folder blocker/sub: Not a directory\n"},
      {generate + "cams.txt --out-dir " + too_long + "/x", 1, "", "cannot create output folder " + too_long + "/x: File name too long\n"},
      // The first 20 warnings, then a count; --strict stops before the output folder is made.
      {generate + "warn.txt --out-dir=warned", 0, "status:    Success..\n", "warn.txt:22: warning: X \"127,5\" has a decimal comma: read as 127\nwarn.txt: 5 more; 'korvel-cli check warn.txt' lists them all\n"},
      {generate + "warn.txt --strict --out-dir strict", 1, "", "korvel-cli: --strict: warn.txt: 25 rows, 0 errors, 25 warnings; nothing written\n"},
      {"check cams.txt", 0, "cams.txt: 1 row, 0 errors, 0 warnings\n", ""},
      {"check --strict - <warn.txt", 1, "-:27: warning: X \"127,5\" has a decimal comma: read as 127\n-: 25 rows, 0 errors, 25 warnings\n", ""},
      {"check bad.txt none.txt", 2, "bad.txt:3: error: 2 fields, 6 TAB-separated fields expected (the dialog shows \"Error : Line 3\")\nbad.txt: 0 rows, 1 error, 0 warnings\n", "korvel-cli: none.txt: No such file or directory\n"},
      {"check bad.txt", 1, "bad.txt: 0 rows, 1 error, 0 warnings\n", ""},
      {"", 2, "", "korvel-cli: A subcommand is required\n" + usage + " --help' for more information.\n"},
      {"build", 2, "", "korvel-cli: unknown command 'build'\n"},
      {"check", 2, "", "korvel-cli: FILE is required\nTry 'korvel-cli check --help'"},
      {"generate --fw", 2, "", "--fw: 1 required FILE missing\n"},
      {"generate --fw '' --voice x --db y", 2, "", "--fw: needs a value\n"},
      {"generate --fw K93_FW_v0102.bin --voice K93_Voice_v0034.bin", 2, "", "--db is required\n"},
      {generate + "cams.txt --bogus", 2, "", "not expected: --bogus\nTry 'korvel-cli generate --help'"},
      {"generate --help", 0, "2 for a usage error.\n", ""},
      {"check --help", 0, "2 for a usage error or a file that cannot be read.\n", ""},
      {"-V", 0, "korvel-cli 1.0.0.1\n", ""}, {"--version", 0, "korvel-cli 1.0.0.1\n", ""}};
  // clang-format on
  for (const auto& [args, exit_status, out_end, err_part] : cases) {
    SCOPED_TRACE(args);
    EXPECT_EQ(folder.Run(args, out, err), exit_status);
    EXPECT_TRUE(out_end.empty() ? out.empty() : out.ends_with(out_end)) << out;
    EXPECT_TRUE(err_part.empty() ? err.empty() : err.find(err_part) != std::string::npos) << err;
  }
  // Three points in three cells: 23 + 3 * 10 + 3 * 18 bytes.
  EXPECT_EQ(fs::file_size(out_dir / "TempDb.bin"), 107u);
  EXPECT_EQ(fs::file_size(package), 5242880u + 107u);
  EXPECT_EQ(ReadText(models / "narv_db_ver2_563412.bin"), ReadText(out_dir / "TempDb.bin"));
  EXPECT_FALSE(fs::exists(dir / "TempDbFile.txt"));
  EXPECT_FALSE(fs::exists(dir / "strict"));
}

#endif

}  // namespace
}  // namespace korvel
