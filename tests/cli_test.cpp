// korvel-cli as an operator's shell sees it: exit statuses, the status and
// output lines, and the files it leaves.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace korvel {
namespace {

namespace fs = std::filesystem;

// The runs go through a POSIX shell; the Windows build has its own front end.
#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)

struct CliRun {
  int exit_status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

/// Sample inputs in a fresh folder, removed afterwards.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(KORVEL_CLI_PATH)) << "build korvel-cli first: " << KORVEL_CLI_PATH;
    std::string templ = (fs::temp_directory_path() / "korvel-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    dir_ = templ;
    Write("K93_FW_v0102.bin", std::string(249856, '\x5A'));
    Write("K93_Voice_v0034.bin", std::string(5000, '\x3C'));
    Write("cams.txt",
          "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\r\n"
          "127.000000\t37.500000\t3\t60\t1\t90\r\n");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  std::string In(const std::string& name) const { return (dir_ / name).string(); }

  CliRun Run(const std::string& args) const {
    const fs::path err = dir_ / "stderr.txt";
    const std::string command = "cd " + Quote(dir_.string()) + " && " + Quote(KORVEL_CLI_PATH) +
                                " " + args + " 2>" + Quote(err.string());
    CliRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("popen failed");
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      run.out.append(buffer, n);
    }
    const int status = pclose(pipe);
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadText(err);
    return run;
  }
  std::string Generate(const std::string& db = "cams.txt") const {
    return "generate --fw K93_FW_v0102.bin --voice K93_Voice_v0034.bin --db " + Quote(db);
  }

  fs::path dir_;
};

TEST_F(CliTest, PackageRun) {
  const CliRun run = Run(Generate() + " --out-dir out");
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const fs::path package = dir_ / "out" / "K93_F0102_V0034_D3456.bin";
  EXPECT_EQ(Lines(run.out),
            (std::vector<std::string>{
                "status: Please open read file..", "status: Please select voice file..",
                "status: Please select DB text file..", "status:    Press Start button..",
                "output: " + package.string(), "status:    Success.."}));
  EXPECT_EQ(run.err, "");
  // Three points in three cells: 23 + 3 * 10 + 3 * 18 bytes.
  EXPECT_EQ(fs::file_size(dir_ / "out" / "TempDb.bin"), 107u);
  EXPECT_EQ(fs::file_size(package), 5242880u + 107u);
  EXPECT_FALSE(fs::exists(dir_ / "TempDbFile.txt"));
}

TEST_F(CliTest, PerModelRunWithTrace) {
  const CliRun run = Run(Generate() + " --per-model --trace --out-dir models");
  EXPECT_EQ(run.exit_status, 0) << run.err;
  const auto lines = Lines(run.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "output: " + (dir_ / "models" / "ulma_db_ver2.bin").string());
  EXPECT_EQ(lines.back(), "status:    Success..");
  EXPECT_NE(run.out.find("GPS_DB.size() = 2\nid =122493131\n"), std::string::npos);
  EXPECT_NE(run.out.find("\nHeaders\n"), std::string::npos);
  const std::string db = ReadText(dir_ / "models" / "TempDb.bin");
  EXPECT_EQ(ReadText(dir_ / "models" / "narv_db_ver2_563412.bin"), db);
  EXPECT_EQ(ReadText(dir_ / "models" / "P_Zon_db_v563412.bin"), db);
}

TEST_F(CliTest, RunsThatDoNotSucceedExitWithOne) {
  struct Case {
    const char* what;
    std::string args;
    std::string last_line;  // of standard output
    std::string err_part;   // of standard error
  };
  Write("bad.txt", "V1.0 123456\r\nX\tY\tTYPE\r\n1\t2\r\n");
  Write("K93_FW_v12.bin", std::string(249856, '\0'));
  Write("blocker", "");
  const std::vector<Case> cases = {
      {"parser fault", Generate("bad.txt"), "status: Error : Line 3", ""},
      {"missing text", Generate("none.txt"), "status: Please select DB text file..",
       "'none.txt' does not exist"},
      {"rejected firmware",
       "generate --fw K93_FW_v12.bin --voice K93_Voice_v0034.bin --db cams.txt",
       "status: Cannot file FW file..", "was not accepted"},
      {"output folder blocked", Generate() + " --out-dir blocker/sub", "",
       "cannot create output folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CliRun run = Run(c.args);
    EXPECT_EQ(run.exit_status, 1);
    const auto lines = Lines(run.out);
    EXPECT_EQ(lines.empty() ? "" : lines.back(), c.last_line);
    EXPECT_NE(run.err.find(c.err_part), std::string::npos) << run.err;
  }
}

TEST_F(CliTest, UsageErrorsAndHelp) {
  for (const char* args :
       {"", "build", "generate --fw K93_FW_v0102.bin --voice K93_Voice_v0034.bin", "generate --fw",
        "generate --fw a --voice b --db c --bogus"}) {
    SCOPED_TRACE(args);
    const CliRun run = Run(args);
    EXPECT_EQ(run.exit_status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("usage: korvel-cli generate"), std::string::npos);
  }
  const CliRun help = Run("--help");
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_EQ(help.out.rfind("usage: korvel-cli generate", 0), 0u);
  EXPECT_EQ(help.err, "");
}

#endif

}  // namespace
}  // namespace korvel
