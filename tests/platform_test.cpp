#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/c_number.h"
#include "platform/path.h"
#include "platform/real_file_system.h"
#include "platform/text_file.h"
#include "tests/support/memory_file_system.h"

namespace korvel {
namespace {

using namespace std::string_literals;
using korvel::testing::MemoryFileSystem;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kTiny = std::numeric_limits<double>::denorm_min();
constexpr std::size_t kChunk = 64 * 1024;

TEST(PlatformCAtof, ReadsTheLongestNumberPrefix) {
  struct Case {
    std::string_view text;
    double expected;
  };
  // clang-format off
  const Case cases[] = {
      {"126.950100", 126.9501}, {" 37.3894", 37.3894}, {"+1.5", 1.5}, {"-0.00005", -0.00005},
      {"-0", -0.0}, {"1e3", 1000}, {"1E+3x", 1000}, {"1e", 1}, {"1e+", 1}, {".5", 0.5},
      {"5.", 5}, {".", 0}, {"1,5", 1}, {"80km", 80}, {"", 0}, {"abc", 0}, {"\v5", 5},
      {"\t\n\f\r 7", 7}, {"\2407", 0}, {"+-1", 0}, {"-+1", 0}, {"- 1", 0},
      {"123456789012345678901234567890", 1.2345678901234568e29},
      // Out of range: infinity, zero, or the correctly rounded subnormal.
      {"1e400", kInf}, {"-1e400", -kInf}, {"1e-400", 0}, {"-1e-400", -0.0},
      {"4.9406564584124654e-324", kTiny}, {"2.5e-320", 2.5e-320},
      // Hexadecimal.
      {"0x1p3", 8}, {"0X1.8", 1.5}, {"-0x10", -16}, {"0x.8", 0.5}, {"0x1p", 1},
      {"0x1p-1074", kTiny}, {"0x1.8p-1075", kTiny}, {"0x1p-1075", 0}, {"-0x0.000001p-1060", -0.0},
      {"0x1p-99999999999999999999", 0}, {"0x1p99999", kInf}, {"-0x0.8p1025", -kInf},
      {"0x00100p+1016", kInf}, {"0x", 0}, {"-0x", -0.0}, {"0xg", 0}, {"0x.", 0}, {"0x-1", 0},
      {"0xinf", 0},
      {"inf", kInf}, {"-Infinity", -kInf}, {"INFINIT", kInf}, {"in", 0}};
  // clang-format on
  for (const Case& c : cases) {
    const double value = CAtof(c.text);
    EXPECT_EQ(value, c.expected) << '"' << c.text << '"';
    EXPECT_EQ(std::signbit(value), std::signbit(c.expected)) << '"' << c.text << '"';
  }
}

TEST(PlatformCAtof, ReadsNotANumber) {
  for (std::string_view text : {"nan", "NaN", "-nan", "nan(123abc)", "nan(", " +NAN"}) {
    EXPECT_TRUE(std::isnan(CAtof(text))) << text;
  }
}

TEST(PlatformCAtof, StopsAtTheEndOfTheView) {
  EXPECT_EQ(CAtof(std::string_view("12345", 2)), 12);
  EXPECT_EQ(CAtof(std::string_view("1e4001", 5)), kInf);  // the slow path too
  EXPECT_EQ(CAtof(std::string_view("0x1p99999", 5)), 512);
}

// Restores the process locale on the way out.
class LocaleGuard {
 public:
  LocaleGuard() : saved_(std::setlocale(LC_ALL, nullptr)) {}
  ~LocaleGuard() { std::setlocale(LC_ALL, saved_.c_str()); }

 private:
  std::string saved_;
};

TEST(PlatformCAtof, IgnoresADecimalCommaLocale) {
  LocaleGuard guard;
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "ru_RU.UTF-8",
                           "German_Germany.1252"}) {
    if (std::setlocale(LC_ALL, name) != nullptr && *std::localeconv()->decimal_point == ',') {
      comma = true;
      break;
    }
  }
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma is installed";
  EXPECT_EQ(CAtof("1.5"), 1.5);
  EXPECT_EQ(CAtof("1,5"), 1.0);
  EXPECT_EQ(CAtof("2.5e-320"), 2.5e-320);
  EXPECT_EQ(CAtof("1.5e999"), kInf);
}

TEST(PlatformCAtoi, ReadsSignAndDigitsAndClamps) {
  struct Case {
    std::string_view text;
    int expected;
  };
  // clang-format off
  const Case cases[] = {
      {"80km", 80}, {"-1", -1}, {"  +7", 7}, {"\v\f\r\n\t9", 9}, {"", 0}, {"km", 0}, {"+-3", 0},
      {"- 3", 0}, {"1.9", 1}, {"0x10", 0}, {"007", 7}, {"2147483647", INT_MAX},
      {"2147483648", INT_MAX}, {"-2147483648", INT_MIN}, {"-2147483649", INT_MIN},
      {"99999999999999999999", INT_MAX}, {"-99999999999999999999", INT_MIN}};
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(CAtoi(c.text), c.expected) << '"' << c.text << '"';
  EXPECT_EQ(CAtoi(std::string_view("12345", 3)), 123);
}

// Writes with '/' in the table; the platform's separator in the code.
std::string Native(std::string path) {
  for (char& c : path) {
    if (c == '/') c = kPathSeparator;
  }
  return path;
}

TEST(PlatformPath, FolderOfAndJoinPath) {
  // clang-format off
  const std::pair<std::string, std::string> folders[] = {
      {"dir/sub/name.txt", "dir/sub"}, {"name.txt", ""}, {"/name.txt", ""}, {"dir/sub/", "dir/sub"},
      {"", ""}};
  // clang-format on
  for (const auto& [path, folder] : folders) {
    EXPECT_EQ(FolderOf(Native(path)), Native(folder)) << path;
  }
  EXPECT_EQ(JoinPath("dir", "name.txt"), Native("dir/name.txt"));
  EXPECT_EQ(JoinPath("", "name.txt"), Native("/name.txt"));
  EXPECT_EQ(JoinPath(FolderOf(Native("a/b/c.txt")), "d.bin"), Native("a/b/d.bin"));
}

std::vector<std::string> ReadLines(MemoryFileSystem& fs, const std::string& path,
                                   bool* failed = nullptr) {
  TextReader reader(fs.Open(path, OpenMode::kReadShared));
  std::vector<std::string> lines;
  std::string line;
  while (reader.ReadString(line)) lines.push_back(line);
  if (failed != nullptr) *failed = reader.failed();
  return lines;
}

TEST(PlatformTextReader, SplitsLinesLikeTextMode) {
  const std::string a(kChunk - 1, 'a');
  const std::string z(kChunk * 2 + 100, 'z');
  const std::string q(kChunk, 'q');
  struct Case {
    std::string name;
    std::string bytes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {{"empty file", "", {}},
                        {"LF", "one\ntwo\n", {"one", "two"}},
                        {"CR LF", "one\r\ntwo\r\n", {"one", "two"}},
                        {"unterminated last line", "one\ntwo", {"one", "two"}},
                        {"empty lines", "\n\n", {"", ""}},
                        {"only CR LF", "\r\n", {""}},
                        {"lone CR stays", "a\rb\n", {"a\rb"}},
                        {"only the CR next to the LF goes", "a\r\r\n", {"a\r"}},
                        {"CR at the very end stays", "a\r", {"a\r"}},
                        {"NUL kept", "a\0b\nc\n"s, {"a\0b"s, "c"}},
                        {"CR LF split across chunks", a + "\r\nb", {a, "b"}},
                        {"CR at chunk end, no LF", a + "\rx\n", {a + "\rx"}},
                        {"LF first byte of the second chunk", a + "a\nb", {a + "a", "b"}},
                        {"exactly one chunk, no LF", q, {q}},
                        {"line longer than two chunks", z + "\r\nend", {z, "end"}}};
  for (const Case& c : cases) {
    MemoryFileSystem fs;
    fs.SetFile("in.txt", c.bytes);
    bool failed = true;
    EXPECT_EQ(ReadLines(fs, "in.txt", &failed), c.lines) << c.name;
    EXPECT_FALSE(failed) << c.name;
    EXPECT_EQ(CountLines(fs, "in.txt"), c.lines.size()) << c.name;
  }
}

TEST(PlatformTextReader, ReadFailureIsNotTheEnd) {
  MemoryFileSystem fs;
  fs.SetFile("in.txt", "a\n" + std::string(kChunk, 'b') + "\nc\n");
  TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
  std::string line;
  ASSERT_TRUE(reader.ReadString(line));
  EXPECT_EQ(line, "a");
  // The next chunk fails while a line is half read: no partial line comes out.
  fs.fail_read = {"in.txt"};
  EXPECT_FALSE(reader.ReadString(line));
  EXPECT_TRUE(reader.failed());
  EXPECT_FALSE(reader.ReadString(line));

  EXPECT_EQ(CountLines(fs, "in.txt"), std::nullopt);
  EXPECT_EQ(CountLines(fs, "missing.txt"), std::nullopt);
}

TEST(PlatformTextWriter, StoresEachLfAsCrLf) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"no end", "no end"}, {"a\n", "a\r\n"}, {"\n\n", "\r\n\r\n"},
      {"a\r\nb", "a\r\r\nb"}, {"\r", "\r"}};
  // clang-format on
  for (const auto& [text, stored] : cases) {
    MemoryFileSystem fs;
    TextWriter writer(fs.Open("out.txt", OpenMode::kCreateWrite));
    EXPECT_TRUE(writer.WriteString(text));
    EXPECT_TRUE(writer.Close());
    EXPECT_EQ(fs.Text("out.txt"), stored) << text;
  }
}

TEST(PlatformTextWriter, AppendsAfterSeekToEndAndReadsBack) {
  MemoryFileSystem fs;
  fs.SetFile("db.txt", "V1\r\nX\tY");
  TextWriter writer(fs.Open("db.txt", OpenMode::kWriteExisting));
  ASSERT_TRUE(writer.SeekToEnd());
  EXPECT_TRUE(writer.WriteString("\nrow 1\nrow 2\n"));
  EXPECT_TRUE(writer.Close());
  EXPECT_EQ(fs.Text("db.txt"), "V1\r\nX\tY\r\nrow 1\r\nrow 2\r\n");
  EXPECT_EQ(ReadLines(fs, "db.txt"), (std::vector<std::string>{"V1", "X\tY", "row 1", "row 2"}));
}

TEST(PlatformTextWriter, ReportsWriteAndCloseFailures) {
  MemoryFileSystem fs;
  fs.write_limit["out.txt"] = 4;
  TextWriter writer(fs.Open("out.txt", OpenMode::kCreateWrite));
  EXPECT_TRUE(writer.WriteString("ab\n"));  // 4 bytes stored
  EXPECT_FALSE(writer.WriteString("c"));
  EXPECT_FALSE(writer.Close());

  fs.fail_close = {"closed.txt"};
  TextWriter closing(fs.Open("closed.txt", OpenMode::kCreateWrite));
  EXPECT_TRUE(closing.WriteString("x"));
  EXPECT_FALSE(closing.Close());
  EXPECT_EQ(fs.Text("closed.txt"), "x");
}

std::string ReadAll(BinaryFile& file) {
  std::string bytes(64, '\0');
  bytes.resize(file.Read(bytes.data(), bytes.size()));
  return bytes;
}

// The checks below go through the FileSystem interface only, so the in-memory
// fake that other tests rely on is held to what the disk does.
void Put(FileSystem& fs, const std::string& path, const std::string& bytes) {
  auto file = fs.Open(path, OpenMode::kCreateWrite);
  ASSERT_NE(file, nullptr) << path;
  EXPECT_TRUE(file->Write(bytes.data(), bytes.size()));
  EXPECT_TRUE(file->Close());
}

std::string Get(FileSystem& fs, const std::string& path) {
  auto file = fs.Open(path, OpenMode::kReadShared);
  return file == nullptr ? "<missing>" : ReadAll(*file);
}

void CheckOpenModes(FileSystem& fs, const std::string& path) {
  struct Case {
    OpenMode mode;
    bool exists;
    int error_code;  // 0: opens
    std::string after_writing_xy;
  };
  // A missing file is ENOENT on POSIX and ERROR_FILE_NOT_FOUND on Windows: 2 both.
  const Case cases[] = {{OpenMode::kReadShared, true, 0, "hello"},
                        {OpenMode::kReadShared, false, 2, "<missing>"},
                        {OpenMode::kCreateWrite, true, 0, "xy"},
                        {OpenMode::kCreateWrite, false, 0, "xy"},
                        {OpenMode::kWriteExisting, true, 0, "xyllo"},
                        {OpenMode::kWriteExisting, false, 2, "<missing>"}};
  for (const Case& c : cases) {
    const int index = static_cast<int>(&c - cases);
    fs.Remove(path);
    if (c.exists) Put(fs, path, "hello");
    FileError error;
    auto file = fs.Open(path, c.mode, &error);
    if (c.error_code != 0) {
      EXPECT_EQ(file, nullptr) << index;
      EXPECT_EQ(error.code, c.error_code) << index;
      EXPECT_EQ(error.path, path) << index;
      EXPECT_FALSE(error.description.empty()) << index;
    } else {
      ASSERT_NE(file, nullptr) << index << " " << error.description;
      const bool reading = c.mode == OpenMode::kReadShared;
      if (reading) {
        EXPECT_EQ(file->GetLength(), 5u);
        EXPECT_EQ(ReadAll(*file), "hello");
        EXPECT_FALSE(file->failed());
      } else {
        std::uint8_t byte;
        EXPECT_EQ(file->Read(&byte, 1), 0u) << index;  // write-only
        EXPECT_TRUE(file->failed()) << index;
      }
      EXPECT_NE(file->Write("xy", 2), reading) << index;
      EXPECT_EQ(file->Close(), !reading) << index;  // a refused write makes Close fail
    }
    EXPECT_EQ(Get(fs, path), c.after_writing_xy) << index;
  }
}

void CheckSeekPastEnd(FileSystem& fs, const std::string& path) {
  auto file = fs.Open(path, OpenMode::kCreateWrite);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->Write("ab", 2));
  EXPECT_TRUE(file->Seek(16));
  EXPECT_TRUE(file->Write("c", 1));
  EXPECT_EQ(file->GetLength(), 17u);
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(Get(fs, path), "ab" + std::string(14, '\0') + "c");

  auto reading = fs.Open(path, OpenMode::kReadShared);
  EXPECT_TRUE(reading->Seek(15));
  EXPECT_EQ(ReadAll(*reading), "\0c"s);
  EXPECT_TRUE(reading->Seek(100));
  EXPECT_EQ(ReadAll(*reading), "");
  EXPECT_FALSE(reading->failed());
}

void CheckCopyRenameRemoveFind(FileSystem& fs, const std::string& folder) {
  const std::string src = JoinPath(folder, "src.bin");
  const std::string dst = JoinPath(folder, "dst.bin");
  Put(fs, src, "new");
  Put(fs, dst, "old and longer");
  EXPECT_TRUE(fs.Copy(src, dst));
  EXPECT_EQ(Get(fs, dst), "new");
  EXPECT_FALSE(fs.Copy(JoinPath(folder, "missing"), dst));
  EXPECT_FALSE(fs.Copy(src, src));
  EXPECT_EQ(Get(fs, src), "new");

  Put(fs, dst, "old");
  EXPECT_TRUE(fs.Rename(src, dst));
  EXPECT_EQ(Get(fs, dst), "new");
  EXPECT_EQ(Get(fs, src), "<missing>");
  EXPECT_FALSE(fs.Rename(src, dst));

  EXPECT_EQ(fs.FindFile(dst), "dst.bin");
  EXPECT_EQ(fs.FindFile(src), std::nullopt);
  EXPECT_TRUE(fs.Remove(dst));
  EXPECT_EQ(Get(fs, dst), "<missing>");
  EXPECT_FALSE(fs.Remove(dst));
}

TEST(PlatformMemoryFileSystem, BehavesLikeTheDisk) {
  MemoryFileSystem fs;
  CheckOpenModes(fs, "f.bin");
  CheckSeekPastEnd(fs, "gap.bin");
  CheckCopyRenameRemoveFind(fs, "/work");
}

TEST(PlatformMemoryFileSystem, InjectedFailuresAndLog) {
  MemoryFileSystem fs;
  fs.SetFile("f", "hello");
  fs.fail_open = {{"f", OpenMode::kReadShared}};
  fs.fail_code = 5;
  FileError error;
  EXPECT_EQ(fs.Open("f", OpenMode::kReadShared, &error), nullptr);
  EXPECT_EQ(error.path, "f");
  EXPECT_EQ(error.code, 5);
  EXPECT_EQ(error.description, "Access is denied.");
  EXPECT_NE(fs.Open("f", OpenMode::kWriteExisting), nullptr);  // only that mode fails

  fs.write_limit["g"] = 4;
  auto limited = fs.Open("g", OpenMode::kCreateWrite);
  EXPECT_TRUE(limited->Write("abc", 3));
  EXPECT_FALSE(limited->Write("de", 2));
  EXPECT_TRUE(limited->failed());
  EXPECT_EQ(fs.Text("g"), "abc");
  EXPECT_FALSE(limited->Close());

  fs.fail_close = {"g"};
  auto closing = fs.Open("g", OpenMode::kCreateWrite);
  EXPECT_TRUE(closing->Write("kept", 4));
  EXPECT_FALSE(closing->Close());
  EXPECT_EQ(fs.Text("g"), "kept");

  fs.fail_read = {"g"};
  auto reading = fs.Open("g", OpenMode::kReadShared);
  EXPECT_EQ(ReadAll(*reading), "");
  EXPECT_TRUE(reading->failed());

  fs.fail_copy = {"h"};
  fs.fail_rename = {"h"};
  EXPECT_FALSE(fs.Copy("f", "h"));
  EXPECT_FALSE(fs.Rename("f", "h"));
  EXPECT_FALSE(fs.Exists("h"));
  EXPECT_EQ(fs.Text("f"), "hello");

  fs.SetFile("C:\\in\\K93_FW_v0102.bin", "");
  fs.stored_names["g"] = "G.BIN";
  EXPECT_EQ(fs.FindFile("C:\\in\\K93_FW_v0102.bin"), "K93_FW_v0102.bin");
  EXPECT_EQ(fs.FindFile("g"), "G.BIN");
  EXPECT_TRUE(fs.Remove("g"));
  EXPECT_EQ(fs.log,
            (std::vector<std::string>{"open-read f", "open-write f", "open-create g",
                                      "open-create g", "open-read g", "copy f h", "rename f h",
                                      "find C:\\in\\K93_FW_v0102.bin", "find g", "remove g"}));
}

// A fresh folder of its own under the system's temporary folder.
class PlatformRealFileSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    do {
      folder_ =
          (std::filesystem::temp_directory_path() / ("korvel-platform-" + std::to_string(random())))
              .string();
    } while (!std::filesystem::create_directory(folder_));
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string Path(const std::string& name) const { return JoinPath(folder_, name); }

  std::string folder_;
  RealFileSystem fs_;
};

TEST_F(PlatformRealFileSystem, OpenSeekCopyRenameRemoveFind) {
  CheckOpenModes(fs_, Path("f.bin"));
  CheckSeekPastEnd(fs_, Path("gap.bin"));
  CheckCopyRenameRemoveFind(fs_, folder_);
}

TEST_F(PlatformRealFileSystem, FolderIsNotAFile) {
  for (OpenMode mode : {OpenMode::kReadShared, OpenMode::kCreateWrite, OpenMode::kWriteExisting}) {
    FileError error;
    EXPECT_EQ(fs_.Open(folder_, mode, &error), nullptr);
    EXPECT_NE(error.code, 0);
    EXPECT_FALSE(error.description.empty());
  }
  EXPECT_EQ(fs_.FindFile(folder_), std::nullopt);
}

TEST_F(PlatformRealFileSystem, RelativePathsUseTheWorkingFolder) {
  for (const std::string& working : {folder_, JoinPath(folder_, "")}) {
    RealFileSystem fs(working);
    Put(fs, "TempDb.bin", "db");
    EXPECT_EQ(Get(fs_, Path("TempDb.bin")), "db");
    EXPECT_EQ(fs.FindFile("TempDb.bin"), "TempDb.bin");
    EXPECT_TRUE(fs.Copy("TempDb.bin", "copy.bin"));
    EXPECT_TRUE(fs.Rename("copy.bin", Path("moved.bin")));  // an absolute path stays as it is
    EXPECT_EQ(Get(fs_, Path("moved.bin")), "db");
    EXPECT_TRUE(fs.Remove("TempDb.bin"));
    EXPECT_TRUE(fs.Remove("moved.bin"));
  }
}

TEST_F(PlatformRealFileSystem, ProgramPath) {
  const std::string path = fs_.ProgramPath();
  EXPECT_FALSE(path.empty());
  EXPECT_TRUE(std::filesystem::path(path).is_absolute()) << path;
  EXPECT_EQ(RealFileSystem({}, "/given/korvel").ProgramPath(), "/given/korvel");
}

#ifdef __linux__
TEST_F(PlatformRealFileSystem, FailedWriteMakesCloseFail) {
  auto full = fs_.Open("/dev/full", OpenMode::kWriteExisting);
  ASSERT_NE(full, nullptr);
  EXPECT_FALSE(full->Write("x", 1));
  EXPECT_TRUE(full->failed());
  EXPECT_FALSE(full->Close());
}
#endif

}  // namespace
}  // namespace korvel
