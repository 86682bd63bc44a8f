#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/c_number.h"
#include "platform/memory.h"
#include "platform/path.h"
#include "platform/real_file_system.h"
#include "platform/text_file.h"
#include "tests/support/memory_file_system.h"

#ifdef __linux__
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace korvel {
namespace {

using namespace std::string_literals;
using korvel::testing::MemoryFileSystem;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kTiny = std::numeric_limits<double>::denorm_min();
constexpr std::size_t kChunk = 64 * 1024;

TEST(PlatformCAtof, ReadsTheLongestNumberPrefix) {
  // clang-format off
  const std::pair<std::string_view, double> cases[] = {
      {"126.950100", 126.9501}, {" 37.3894", 37.3894}, {"+1.5", 1.5}, {"-0.00005", -0.00005},
      {"-0", -0.0}, {"1e3", 1000}, {"1E+3x", 1000}, {"1e", 1}, {"1e+", 1}, {".5", 0.5}, {"5.", 5},
      {".", 0}, {"1,5", 1}, {"80km", 80}, {"", 0}, {"abc", 0}, {"\v5", 5}, {"\t\n\f\r 7", 7},
      {"\2407", 0}, {"+-1", 0}, {"-+1", 0}, {"- 1", 0},
      {"123456789012345678901234567890", 1.2345678901234568e29},
      {"999999999999999", 999999999999999.0}, {"9999999999999999", 1e16}, {"0.1", 0.1},
      {"0.000000000000001", 1e-15}, {"12345678.9012345", 12345678.9012345},
      {"-00000000000000.5", -0.5}, {"1.7976931348623157", 1.7976931348623157},
      // Out of range: infinity, zero, or the correctly rounded subnormal.
      {"1e400", kInf}, {"-1e400", -kInf}, {"1e-400", 0}, {"-1e-400", -0.0},
      {"4.9406564584124654e-324", kTiny}, {"2.5e-320", 2.5e-320},
      // Hexadecimal.
      {"0x1p3", 8}, {"0X1.8", 1.5}, {"-0x10", -16}, {"0x.8", 0.5}, {"0x1p", 1},
      {"0x1p-1074", kTiny}, {"0x1.8p-1075", kTiny}, {"0x1p-1075", 0}, {"-0x0.000001p-1060", -0.0},
      {"0x1p-99999999999999999999", 0}, {"0x1p99999", kInf}, {"-0x0.8p1025", -kInf},
      {"0x00100p+1016", kInf}, {"0x", 0}, {"-0x", -0.0}, {"0xg", 0}, {"0x.", 0}, {"0x-1", 0},
      {"0x1p+-1", 1}, {"0xfp+-8-86C", 15}, {"0x1.8p+", 1.5}, {"1e+-1", 1},
      {"0xinf", 0}, {"inf", kInf}, {"-Infinity", -kInf}, {"INFINIT", kInf}, {"in", 0},
      {"nan", kNan}, {"NaN", kNan}, {"-nan", kNan}, {"nan(123abc)", kNan}, {"nan(", kNan},
      {" +NAN", kNan},
      // The view ends before the text: on the slow and the hexadecimal path too.
      {{"12345", 2}, 12}, {{"1e4001", 5}, kInf}, {{"0x1p99999", 5}, 512}};
  // clang-format on
  // In the "C" locale the C library is the judge; in one with a decimal
  // comma the values must not change.
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const bool comma : {false, true}) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252"}) {
      if (!comma || std::setlocale(LC_ALL, name) != nullptr) break;
    }
    if (comma && *std::localeconv()->decimal_point != ',') {
      std::setlocale(LC_ALL, saved.c_str());
#ifdef _WIN32
      GTEST_SKIP() << "no locale with a decimal comma is installed";
#else
      FAIL() << "no locale with a decimal comma: install locales-all";
#endif
    }
    for (const auto& [text, expected] : cases) {
      const double value = CAtof(text);
      const bool same = std::isnan(expected)
                            ? std::isnan(value)
                            : value == expected && std::signbit(value) == std::signbit(expected);
      EXPECT_TRUE(same) << '"' << text << "\" gave " << value << ", want " << expected;
#ifndef _WIN32  // msvcrt's strtod reads no hexadecimal
      const double c_value = comma ? value : std::strtod(std::string(text).c_str(), nullptr);
      EXPECT_TRUE(std::isnan(c_value) ? std::isnan(value) : std::memcmp(&c_value, &value, 8) == 0)
          << '"' << text << "\" gave " << value << ", strtod " << c_value;
#endif
    }
  }
  std::setlocale(LC_ALL, saved.c_str());
}

#ifndef _WIN32
TEST(PlatformCAtof, AgreesWithStrtodOnRandomDecimals) {
  // What may follow a number in a row, so that eight bytes at a time are read
  // across its end too.
  const std::string tails[] = {"",
                               "\t37.5\t1\t80\t0\t86",
                               "x1234567",
                               "\x80\xFF\x39\x3A\x2F\x30\x00",
                               "e5\t1234567",
                               ".5\t123456",
                               "0x1p3\t12",
                               ":,,,,,,,,",
                               "/,,,,,,,,"};
  std::mt19937_64 random(11);
  for (int i = 0; i < 20000; ++i) {
    std::string text = std::to_string(random() >> (random() % 64));
    text.insert(random() % (text.size() + 1), 1, '.');
    text += tails[random() % std::size(tails)];
    const double value = CAtof(text), c_value = std::strtod(text.c_str(), nullptr);
    ASSERT_EQ(std::memcmp(&value, &c_value, sizeof value), 0) << text;
    // The plain reader stops after the digits and the one point, at most 15 digits.
    const std::size_t whole = text.find_first_not_of("0123456789");
    const std::size_t end = text.find_first_not_of("0123456789", whole + 1);
    const std::string prefix = text.substr(0, end);
    double plain = -1;
    const char* stop = ReadPlainDecimal(text.data(), text.data() + text.size(), plain);
    if (prefix.size() > 16) continue;
    ASSERT_EQ(stop, text.data() + prefix.size()) << text;
    const double c_plain = std::strtod(prefix.c_str(), nullptr);
    ASSERT_EQ(std::memcmp(&plain, &c_plain, sizeof plain), 0) << text;
  }
}
#endif

TEST(PlatformCAtoi, ReadsSignAndDigitsAndClamps) {
  // clang-format off
  const std::pair<std::string_view, int> cases[] = {
      {"80km", 80}, {"-1", -1}, {"  +7", 7}, {"\v\f\r\n\t9", 9}, {"", 0}, {"km", 0}, {"+-3", 0},
      {"- 3", 0}, {"1.9", 1}, {"0x10", 0}, {"007", 7}, {"2147483647", INT_MAX},
      {"2147483648", INT_MAX}, {"-2147483648", INT_MIN}, {"-2147483649", INT_MIN},
      {"99999999999999999999", INT_MAX}, {"-99999999999999999999", INT_MIN}, {{"12345", 3}, 123}};
  // clang-format on
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(CAtoi(text), expected) << '"' << text << '"';
    const long long c_value = std::strtoll(std::string(text).c_str(), nullptr, 10);
    EXPECT_EQ(CAtoi(text), std::clamp<long long>(c_value, INT_MIN, INT_MAX)) << '"' << text << '"';
  }
}

/// An in-memory disk holding `bytes` as "in.txt".
MemoryFileSystem Disk(std::string_view bytes) {
  MemoryFileSystem fs;
  fs.SetFile("in.txt", bytes);
  return fs;
}

TEST(PlatformTextReader, SplitsLinesLikeTextModeAndReportsReadFailures) {
  const std::string a(kChunk - 1, 'a'), q(kChunk, 'q'), z(kChunk * 2 + 100, 'z');
  // clang-format off
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}}, {"one\ntwo\n", {"one", "two"}}, {"one\r\ntwo\r\n", {"one", "two"}},
      {"one\ntwo", {"one", "two"}}, {"\n\n", {"", ""}}, {"\r\n", {""}},
      {"a\rb\n", {"a\rb"}}, {"a\r\r\n", {"a\r"}}, {"a\r", {"a\r"}}, {"a\0b\r\nc\n"s, {"a", "c"}},
      {a + "\r\nb", {a, "b"}},       // CR LF split across two chunks
      {a + "\rx\n", {a + "\rx"}},    // CR last in a chunk, no LF after it
      {a + "a\nb", {a + "a", "b"}},  // LF first in the second chunk
      {q, {q}},                      // exactly one chunk, no LF
      {z + "\r\nend", {z, "end"}},  // a line longer than two chunks
      {"a\0b\nc\r\n"s + a + "\nd\n", {"a", "c", a, "d"}},  // a NUL only in the first chunk
      {std::string(kChunk + 9, '\n'), std::vector<std::string>(kChunk + 9)}};
  // clang-format on
  for (const auto& [bytes, expected] : cases) {
    MemoryFileSystem fs = Disk(bytes);
    TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
    std::vector<std::string> lines;
    for (std::string line; reader.ReadString(line);) lines.push_back(line);
    EXPECT_EQ(lines, expected) << bytes.substr(0, 20);
    EXPECT_FALSE(reader.failed());
    TextReader viewer(fs.Open("in.txt", OpenMode::kReadShared));
    lines.clear();
    for (std::string_view line; viewer.ReadLine(line);) lines.emplace_back(line);
    EXPECT_EQ(lines, expected) << bytes.substr(0, 20);
    EXPECT_EQ(CountLines(fs, "in.txt"), expected.size());
  }

  // Lines of 1 MiB pass; longer ones are cut there and flagged, NULs counted.
  const std::string max(TextReader::kMaxLineLength, 'm');
  for (const auto& [bytes, first, too_long] : {std::tuple{max + "\r\nb", max, false},
                                               {max + "m\r\nb", max, true},
                                               {max + max + "\nb", max, true},
                                               {"a\0"s + max + "\nb", "a"s, true},
                                               {"a\0"s + max.substr(2) + "\nb", "a"s, false}}) {
    MemoryFileSystem fs = Disk(bytes);
    TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
    std::string line;
    ASSERT_TRUE(reader.ReadString(line));
    EXPECT_TRUE(line == first && reader.too_long() == too_long) << line.size();
    EXPECT_TRUE(reader.ReadString(line) && line == "b" && !reader.too_long());
    EXPECT_EQ(CountLines(fs, "in.txt"), 2u);
  }

  MemoryFileSystem fs = Disk("a\n" + q + "\nc\n");
  TextReader reader(fs.Open("in.txt", OpenMode::kReadShared));
  std::string line;
  EXPECT_TRUE(reader.ReadString(line) && line == "a");
  // The next chunk fails while a line is half read: no partial line comes out.
  fs.fail_read_at = {{"in.txt", 0}};
  EXPECT_FALSE(reader.ReadString(line) || reader.ReadString(line));
  EXPECT_TRUE(reader.failed());
  EXPECT_EQ(CountLines(fs, "in.txt"), std::nullopt);
  EXPECT_EQ(CountLines(fs, "missing.txt"), std::nullopt);
}

std::string ReadAll(BinaryFile& file) {
  std::string bytes(64, '\0');
  bytes.resize(file.Read(bytes.data(), bytes.size()));
  return bytes;
}

void Put(FileSystem& fs, const std::string& path, const std::string& bytes) {
  auto file = fs.Open(path, OpenMode::kCreateWrite);
  EXPECT_TRUE(file && file->Write(bytes.data(), bytes.size()) && file->Close()) << path;
}

std::string Get(FileSystem& fs, const std::string& path) {
  auto file = fs.Open(path, OpenMode::kReadShared);
  return file == nullptr ? "<missing>" : ReadAll(*file);
}

/// Through the FileSystem interface alone, so the in-memory fake that the
/// other tests rely on is held to what the disk does.
void CheckLikeTheDisk(FileSystem& fs, const std::string& folder) {
  const std::string path = JoinPath(folder, "f.bin");
  // Opens, reads, writes "xy" and closes. A missing file is ENOENT on POSIX
  // and ERROR_FILE_NOT_FOUND on Windows: 2 both.
  const std::tuple<OpenMode, bool, std::string> cases[] = {
      {OpenMode::kReadShared, true, "5 'hello' refused, close failed; now hello"},
      {OpenMode::kReadShared, false, "error 2; now <missing>"},
      {OpenMode::kCreateWrite, true, "0 '' failed wrote, closed; now xy"},
      {OpenMode::kWriteExisting, true, "5 '' failed wrote, closed; now xyllo"},
      {OpenMode::kWriteExisting, false, "error 2; now <missing>"}};
  for (const auto& [mode, exists, expected] : cases) {
    fs.Remove(path);
    if (exists) Put(fs, path, "hello");
    FileError error;
    std::string out;
    if (auto file = fs.Open(path, mode, &error)) {
      out = std::to_string(file->GetLength().value_or(99)) + " '" + ReadAll(*file) + "'";
      out += file->failed() ? " failed " : " ";
      out += file->Write("xy", 2) ? "wrote" : "refused";
      out += file->Close() ? ", closed" : ", close failed";
    } else {
      out = "error " + std::to_string(error.code) + (error.path == path ? "" : " elsewhere");
    }
    EXPECT_EQ(out + "; now " + Get(fs, path), expected) << "existing: " << exists;
  }

  const std::string src = JoinPath(folder, "src.bin"), dst = JoinPath(folder, "dst.bin");
  Put(fs, src, "new");
  Put(fs, dst, "old and longer");
  EXPECT_TRUE(fs.Copy(src, dst));
  EXPECT_FALSE(fs.Copy(JoinPath(folder, "missing"), dst) || fs.Copy(src, src));
  EXPECT_EQ(Get(fs, src) + "|" + Get(fs, dst), "new|new");
  EXPECT_TRUE(fs.Rename(src, dst));
  EXPECT_FALSE(fs.Rename(src, dst));
  EXPECT_EQ(Get(fs, src) + "|" + Get(fs, dst) + "|" + fs.FindFile(dst).value(),
            "<missing>|new|dst.bin");
  EXPECT_TRUE(fs.Remove(dst));
  EXPECT_FALSE(fs.Remove(dst) || fs.FindFile(dst));
}

TEST(PlatformRealFileSystem, BehavesLikeTheFakeAndResolvesTheWorkingFolder) {
  MemoryFileSystem memory;
  CheckLikeTheDisk(memory, "/work");
  const std::string tmp = ::testing::TempDir() + "korvel-" + std::to_string(std::random_device()());
  ASSERT_TRUE(std::filesystem::create_directory(tmp));
  RealFileSystem disk;
  CheckLikeTheDisk(disk, tmp);
  for (OpenMode mode : {OpenMode::kReadShared, OpenMode::kCreateWrite, OpenMode::kWriteExisting}) {
    FileError error;
    EXPECT_EQ(disk.Open(tmp, mode, &error), nullptr);  // a folder is not a file
    EXPECT_TRUE(error.code != 0 && !error.description.empty());
  }
  EXPECT_EQ(disk.FindFile(tmp), std::nullopt);

  for (const std::string& working : {tmp, JoinPath(tmp, "")}) {
    RealFileSystem fs(working);
    Put(fs, "TempDb.bin", "db");
    EXPECT_EQ(fs.FindFile("TempDb.bin"), "TempDb.bin");
    EXPECT_TRUE(fs.Copy("TempDb.bin", "copy.bin"));
    EXPECT_TRUE(fs.Rename("copy.bin", JoinPath(tmp, "moved.bin")));  // absolute stays as it is
    EXPECT_EQ(Get(disk, JoinPath(tmp, "moved.bin")), "db");
    EXPECT_TRUE(fs.Remove("TempDb.bin") && fs.Remove("moved.bin"));
  }
  EXPECT_TRUE(std::filesystem::path(disk.ProgramPath()).is_absolute()) << disk.ProgramPath();
  EXPECT_EQ(RealFileSystem({}, "/given/korvel").ProgramPath(), "/given/korvel");
  // Large writes go out in 256 KiB pieces: sizes around that path, in one call.
  for (std::size_t size :
       {std::size_t{1} << 20, (std::size_t{1} << 20) + 1, (std::size_t{3} << 20) + 5}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
    const std::string path = JoinPath(tmp, "large.bin");
    auto file = disk.Open(path, OpenMode::kCreateWrite);
    ASSERT_TRUE(file && file->Write(bytes.data(), size) && file->Close()) << size;
    std::string back(size + 1, '\0');
    back.resize(disk.Open(path, OpenMode::kReadShared)->Read(back.data(), back.size()));
    EXPECT_TRUE(back == bytes) << size;
  }
#ifdef __linux__
  auto full = disk.Open("/dev/full", OpenMode::kWriteExisting);
  // The write fails, and with it Close.
  EXPECT_TRUE(full && !full->Write("x", 1) && full->failed() && !full->Close());
#endif
  std::filesystem::remove_all(tmp);
}

TEST(PlatformRealFileSystem, FolderLocksKeepOtherRunsOut) {
  namespace stdfs = std::filesystem;
  const std::string tmp =
      ::testing::TempDir() + "korvel-lock-" + std::to_string(std::random_device()());
  const std::string a = JoinPath(tmp, "a"), b = JoinPath(tmp, "b");
  ASSERT_TRUE(stdfs::create_directories(a) && stdfs::create_directories(b));
  RealFileSystem one(tmp), two(tmp);
  std::unique_ptr<FolderLock> held, other;
  // The working folder under three spellings is one folder, locked once.
  ASSERT_EQ(one.LockFolders({"", tmp, JoinPath(tmp, ""), a}, false, held), LockResult::kLocked);
  const std::pair<std::vector<std::string>, LockResult> cases[] = {
      {{b}, LockResult::kLocked},
      {{a}, LockResult::kBusy},
      {{b, JoinPath(tmp, "")}, LockResult::kBusy},
      {{b}, LockResult::kLocked},  // the busy attempt let go of b
      {{JoinPath(tmp, "missing")}, LockResult::kFailed}};
  for (const auto& [folders, result] : cases) {
    other.reset();
    EXPECT_EQ(two.LockFolders(folders, false, other), result) << folders.front();
  }
  held.reset();
  other.reset();
  EXPECT_EQ(two.LockFolders({a, ""}, false, other), LockResult::kLocked);
  other.reset();
#ifdef __linux__
  // What may already lie at a folder's lock file: taken only when it is a
  // regular file, and left readable by everyone whatever the umask.
  const std::pair<std::string, std::string> planted[] = {
      {"", "644"},
      {"mkfifo", ".korvel.lock is not a regular file (a FIFO)"},
      {"ln -s /nowhere/korvel", ".korvel.lock is a symbolic link"}};
  for (const auto& [make, outcome] : planted) {
    const std::string folder = JoinPath(tmp, "planted");
    const std::string lock_file = JoinPath(folder, kLockFileName);
    stdfs::remove_all(folder);
    stdfs::create_directory(folder);
    const mode_t mask = ::umask(077);
    if (!make.empty()) {
      EXPECT_EQ(std::system((make + " '" + lock_file + "'").c_str()), 0);
    }
    FileError error;
    const LockResult result = one.LockFolders({folder}, false, other, &error);
    ::umask(mask);
    other.reset();
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o",
                  static_cast<unsigned>(stdfs::status(lock_file).permissions()));
    EXPECT_EQ(result == LockResult::kLocked ? std::string(mode) : error.description, outcome);
  }
#endif
  stdfs::remove_all(tmp);
}

#ifdef __linux__
TEST(PlatformRealFileSystem, CopyOfAReadOnlyTextTakesAppends) {
  // As the Generate command does: a read-only text copied over a stale
  // read-only copy, then appended to. Root writes anyway, so checks as nobody.
  const auto check = [] {
    std::string folder = ::testing::TempDir() + "korvel-ro-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) return false;
    RealFileSystem fs(folder);
    Put(fs, "cams.txt", "rows");
    Put(fs, "TempDbFile.txt", "stale");
    bool ok = ::chmod(JoinPath(folder, "cams.txt").c_str(), 0444) == 0 &&
              ::chmod(JoinPath(folder, "TempDbFile.txt").c_str(), 0444) == 0 &&
              fs.Copy("cams.txt", "TempDbFile.txt");
    auto copy = fs.Open("TempDbFile.txt", OpenMode::kWriteExisting);
    ok = ok && copy && copy->Seek(4) && copy->Write("+", 1) && copy->Close() &&
         Get(fs, "TempDbFile.txt") == "rows+";
    std::filesystem::remove_all(folder);
    return ok;
  };
  if (::geteuid() != 0) {
    EXPECT_TRUE(check());
    return;
  }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(77);
    ::_exit(check() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot drop privileges";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
}  // namespace korvel
