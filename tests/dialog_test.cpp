// The dialog's logic through whole operator runs: button states, status
// texts, the file-name checks and the files a run leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/dialog/korvel_dlg.h"
#include "app/dialog/resource.h"
#include "camdb/camera_rules.h"
#include "platform/path.h"
#include "support/byte_diff.h"
#include "support/golden.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

using testing::MemoryFileSystem;
using testing::SameBytes;

constexpr char kFwPath[] = "/in/K93_FW_v0102.bin";
constexpr char kVoicePath[] = "/in/K93_Voice_v0034.bin";
constexpr char kTextPath[] = "/data/cams.txt";
constexpr char kTempCopy[] = "/data/TempDbFile.txt";
constexpr char kBlank[] = "            ";
const std::string kPackagePath = JoinPath("/program", "K93_F0102_V0034_D3456.bin");
const std::string kUlmaPath = JoinPath("/program", "ulma_db_ver2.bin");
/// The button states and the status after each press of a whole K93 run.
const std::vector<std::string> kRunSteps = {"-V-- Please select voice file..",
                                            "--D- Please select DB text file..",
                                            "---G    Press Start button..", "----    Success.."};

/// A dialog just opened over an in-memory disk holding the three inputs. As
/// its window, it records what the logic shows and answers the file chooser.
struct Rig : DialogWindow {
  explicit Rig(FileSystem* other_fs = nullptr)
      : dlg(state, *this, other_fs ? *other_fs : fs, nullptr) {
    fs.SetFile(kFwPath, fw);
    fs.SetFile(kVoicePath, voice);
    fs.SetFile(kTextPath, kHeaderOnlyText);
    dlg.OnInitDialog();
  }
  void Draw(const DialogView& view) override {
    if (view.status != shown.status) statuses.push_back(view.status);
    shown = view;
  }
  void Focus(int id) override { focus = id; }
  std::optional<ChosenFile> ChooseFile(const OpenFileRequest& request) override {
    requests.push_back(request);
    return std::exchange(choice, std::nullopt);
  }
  void ShowFileError(const FileError& error) override { file_errors.push_back(error); }
  /// Notes the box and the files there while it is up; answers `answer`.
  bool ShowMessage(const DialogMessage& message) override {
    messages.push_back(message);
    files_when_asked = fs.files.size();
    return answer;
  }
  void Close(int result) override { closed_with = result; }

  /// Presses a button, its file chooser answering `path` (cancelled when
  /// empty), and notes the button states and the status after it.
  void Press(void (CKorvelDlg::*button)(), const std::string& path = {}) {
    if (!path.empty()) choice = ChosenFile{path, path.substr(path.find_last_of("/\\") + 1)};
    (dlg.*button)();
    steps.push_back(Buttons() + " " + shown.status);
  }
  void Choose(const std::string& fw_path = kFwPath, const std::string& voice_path = kVoicePath,
              const std::string& text_path = kTextPath) {
    Press(&CKorvelDlg::OnBnClickedFwFile, fw_path);
    Press(&CKorvelDlg::OnBnClickedVoiceFile, voice_path);
    Press(&CKorvelDlg::OnBnClickedDbTextFile, text_path);
  }
  void Generate() { Press(&CKorvelDlg::OnBnClickedGenerateFile); }
  /// "FVDG" for the four file buttons, '-' where one is disabled.
  std::string Buttons() const {
    std::string s = "----";
    const bool on[] = {shown.fw_file, shown.voice_file, shown.db_text_file, shown.generate_file};
    for (int i = 0; i < 4; ++i) s[i] = on[i] ? "FVDG"[i] : '-';
    return s;
  }

  Bytes fw = Pattern(249856, 1);
  Bytes voice = Pattern(300000, 2);  // copied into the package in two pieces
  RunState state;
  MemoryFileSystem fs;
  CKorvelDlg dlg;
  std::vector<std::string> steps;
  DialogView shown;                   ///< as last drawn
  std::vector<std::string> statuses;  ///< each status drawn, in turn
  std::optional<int> focus;
  std::optional<ChosenFile> choice;
  std::vector<OpenFileRequest> requests;
  std::vector<FileError> file_errors;
  std::vector<DialogMessage> messages;
  /// Yes: the rig's own text, with no camera rows, asks first.
  bool answer = true;
  std::size_t files_when_asked = 0;
  std::optional<int> closed_with;
};

TEST(Dialog, StartStateRefreshAndExit) {
  Rig rig;
  const DialogView start = {
      "Please open read file..", kBlank, kBlank, kBlank, kBlank, true, false, false, false};
  EXPECT_EQ(rig.shown, start);

  rig.Choose();
  rig.Generate();
  EXPECT_EQ(rig.focus, IDOK);
  rig.dlg.OnBnClickedRefresh();
  EXPECT_EQ(rig.shown, start);

  // Refresh chooses the inputs again but leaves K93 mode on.
  EXPECT_EQ(rig.state.K93_MODE, 1);
  EXPECT_FALSE(rig.closed_with.has_value());
  rig.dlg.OnBnClickedExit();
  EXPECT_EQ(rig.closed_with, IDCANCEL);
}

/// `count` copies of `row`, each ended CR LF.
std::string Rows(const std::string& row, int count) {
  std::string rows;
  for (int i = 0; i < count; ++i) rows += row + "\r\n";
  return rows;
}

TEST(Dialog, GenerateShowsTheCheckFirstAndAsksAboutWarnings) {
  using enum DialogMessage::Kind;
  const std::string header = kHeaderOnlyText;
  const std::string quoted = QuotedText();
  const std::string clean_row = "126.950100\t37.389400\t5\t80\t0\t247";
  struct Case {
    std::string text;
    std::optional<DialogMessage::Kind> box;
    std::vector<std::string> says;  // in the box, in this order
    bool answer;
    std::string after;        // buttons and status
    std::optional<Bytes> db;  // the package's database; none: nothing written
  };
  const Case cases[] = {
      {header,
       kQuestion,
       {"cams.txt: 1 warning.",
        "\nthe text holds no camera rows: the database would hold only the two sample rows\n",
        "Generate the package anyway?"},
       false,
       "---G    Press Start button..",
       std::nullopt},
      {header, kQuestion, {"no camera rows"}, true, "----    Success..", kSampleDb},
      {quoted,
       kQuestion,
       {"cams.txt: 72 warnings on 12 of its 12 camera rows.",
        "\nline 3: X \"126.903093\" is in quotes: read as 0\n",
        "line 3: Y \"37.5\" is in quotes: read as 0\n",
        "line 4: SPEED \"60\" is in quotes: read as 0\nand 62 more.\n",
        "12 of 12 cameras would be at 0,0.\n\nGenerate the package anyway?"},
       false,
       "---G    Press Start button..",
       std::nullopt},
      {quoted, kQuestion, {"72 warnings"}, true, "----    Success..", OriginDb(12)},
      {header + Rows("126,950100\t37,389400\t5\t80\t0\t247", 3),
       kQuestion,
       {"6 warnings on 3 of its 3 camera rows",
        "line 5: Y \"37,389400\" has a decimal comma: read as 37\n",
        "3 of 3 cameras would be other than the text says"},
       false,
       "---G    Press Start button..",
       std::nullopt},
      {header + Rows("37.389400\t126.950100\t5\t80\t0\t247", 2),
       kQuestion,
       {"line 4: latitude Y 126.9501 is outside -90 to 90; the X and Y columns look swapped\n"},
       false,
       "---G    Press Start button..",
       std::nullopt},
      {header + Rows(clean_row, 4997) + "1\t2\t3\t4\t5\r\n",
       kErrors,
       {"cams.txt: 1 error.\n\"Generate File\" stops at the first: \"Error : Line 5000\".\n\n"
        "line 5000: 5 fields, 6 TAB-separated fields expected\n\"korvel-cli check cams.txt\" "
        "prints the full list."},
       true,
       "---G Error : Line 5000",
       std::nullopt},
      {quoted.substr(0, quoted.find("\r\n", header.size()) + 2) + Rows("1\t2\t3\t4\t5", 12),
       kErrors,
       {"12 errors", "\nline 4: 5 fields", "\nline 13: 5 fields", "and 2 more.\n",
        "The text has 6 warnings too."},
       false,
       "---G Error : Line 4",
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    Rig rig;
    rig.fs.SetFile(kTextPath, c.text);
    rig.answer = c.answer;
    rig.Choose();
    const std::size_t inputs = rig.fs.files.size();
    rig.Generate();
    ASSERT_EQ(rig.messages.size(), c.box ? 1u : 0u);
    if (c.box) {
      const DialogMessage& box = rig.messages.front();
      EXPECT_EQ(box.kind, *c.box);
      EXPECT_EQ(box.caption, "Tarvex binary generator v1.0");
      EXPECT_EQ(rig.files_when_asked, inputs);
      std::size_t at = 0;
      for (const std::string& words : c.says) {
        at = box.text.find(words, at);
        EXPECT_NE(at, std::string::npos) << words << "\n in:\n" << box.text;
      }
      EXPECT_NE(box.text.find("\"korvel-cli check cams.txt\" prints the full list."),
                std::string::npos);
    }
    EXPECT_EQ(rig.steps.back(), c.after);
    EXPECT_EQ(rig.focus,
              c.after.ends_with("Press Start button..") ? std::nullopt : std::optional(IDOK));
    if (c.db) {
      EXPECT_TRUE(SameBytes(rig.fs.files[kPackagePath], ExpectedPackage(rig.fw, rig.voice, *c.db)));
    } else {
      EXPECT_EQ(rig.fs.files.size(), inputs);
    }
  }
}

TEST(Dialog, PerModelRunWritesTheModelFiles) {
  Rig rig;
  rig.dlg.m_nGenerateMode = 1;
  // Exchanged in K93 mode to 211105, the version in the model file names.
  rig.fs.SetFile(kTextPath, "V1.0 051121 test\r\nX\tY\tTYPE\r\n");
  rig.Choose();
  rig.Generate();
  EXPECT_EQ(rig.steps.back(), "---G    Success..");
  EXPECT_EQ(rig.shown.output_path, kUlmaPath);
  Bytes db = kSampleDb;
  std::copy_n("211105", 6, db.begin() + 17);
  for (const char* name :
       {"TempDb.bin", "narv_db_ver2_211105.bin", "zorvane_db_ver2_211105.bin",
        "P_Zon_db_v211105.bin", "narvtel_db_ver2_211105.bin", kUlmaPath.c_str()}) {
    EXPECT_TRUE(SameBytes(rig.fs.files[name], db)) << name;
  }
  EXPECT_FALSE(rig.fs.Exists(kPackagePath) || rig.fs.Exists(kTempCopy));
}

TEST(Dialog, EveryFailureOfGenerate) {
  using enum OpenMode;
  using Fault = std::function<void(MemoryFileSystem&)>;
  const std::string part = kPackagePath + ".tmp";
  const auto open = [](std::string path, OpenMode mode) -> Fault {
    return [=](MemoryFileSystem& fs) { fs.fail_open = {{path, mode}}; };
  };
  const auto put = [](std::string path, auto contents) -> Fault {
    return [=](MemoryFileSystem& fs) { fs.SetFile(path, contents); };
  };
  const auto version = [&](char c) {
    return put(kTextPath, "V1.0 12" + std::string(1, c) + "456 test\r\nX\tY\tTYPE\r\n");
  };
  // The first sample row 65535 times; the copy's own makes the cell's 65536th.
  std::string crowded = kHeaderOnlyText;
  for (int i = 0; i < 65535; ++i) crowded += kSampleRow1;
  crowded.pop_back();  // the line end the copy adds ends the last row
  // Outputs of an earlier run, which a failed one must leave as they were.
  const std::vector<std::string> earlier = {kPackagePath,
                                            kUlmaPath,
                                            "narv_db_ver2_563412.bin",
                                            "P_Zon_db_v563412.bin",
                                            "zorvane_db_ver2_563412.bin",
                                            "narvtel_db_ver2_563412.bin"};
  struct Case {
    std::string status;  // and the path of a message box, if any
    bool copy_left;
    bool db_new;  // TempDb.bin replaced by the new database
    Fault fault;  // injected once the inputs are chosen
    int mode = 0;
  };
  // clang-format off
  const Case cases[] = {
      {" Folder lock Fail..", false, false, [](auto& fs) { fs.fail_lock = true; }},
      {" File open Fail..", false, false, [](auto& fs) { fs.fail_copy = {kTempCopy}; }},
      {" File open Fail..", true, false, open(kTempCopy, kWriteExisting)},
      {" File open Fail..", true, false, [](auto& fs) { fs.fail_write = {kTempCopy}; }},
      {" File open Fail..", true, false, [](auto& fs) { fs.fail_close = {kTempCopy}; }},
      {"   Fail1..", true, false, open(kTempCopy, kReadShared)},
      {"Error : ReadLine 1", false, false, [](auto& fs) { fs.fail_read_at = {{kTempCopy, 0}}; }},
      {"Error : Line 3", false, false, put(kTextPath, "V1.0 123456\r\nX\tY\tTYPE\r\n1\t2\r\n")},
      {"Version has a bad character!", false, false, version('/')},
      {"Version has a bad character!", false, false, version(':'), 1},
      {" Cell over 65535 points..", false, false, put(kTextPath, crowded)},
      {" TempDb.bin write Fail..", true, false, open("TempDb.bin.tmp", kCreateWrite)},
      {" TempDb.bin write Fail..", true, false, [](auto& fs) { fs.fail_write = {"TempDb.bin.tmp"}; }},
      {" TempDb.bin write Fail..", true, false, [](auto& fs) { fs.fail_close = {"TempDb.bin.tmp"}; }},
      {" TempDb.bin write Fail..", true, false, [](auto& fs) { fs.fail_rename = {"TempDb.bin"}; }},
      {" FW file read Fail..", true, true, open(kFwPath, kReadShared)},
      {" Voice file read Fail..", true, true, open(kVoicePath, kReadShared)},
      {" TempDb.bin read Fail..", true, true, open("TempDb.bin", kReadShared)},
      {" TempDb.bin read Fail..", true, true, [](auto& fs) { fs.fail_read_at = {{"TempDb.bin", 0}}; }},
      {" FW file read Fail..", true, true, [](auto& fs) { fs.fail_read_at = {{kFwPath, 0}}; }},
      {" Voice file read Fail..", true, true, [](auto& fs) { fs.fail_read_at = {{kVoicePath, 290000}}; }},
      {" FW file too large..", true, true, put(kFwPath, Bytes(0x100000 - 0x10 + 1))},
      {" Voice file too large..", true, true, put(kVoicePath, Bytes(0x400000 + 1))},
      {"   Fail2.. [" + kPackagePath + "]", true, true, open(part, kCreateWrite)},
      {" Package write Fail..", true, true, [&](auto& fs) { fs.fail_close = {part}; }},
      {" Package write Fail..", true, true, [&](auto& fs) { fs.fail_write = {part}; }},
      {" Package write Fail..", true, true, [](auto& fs) { fs.fail_rename = {kPackagePath}; }},
      {" TempDb.bin read Fail..", true, true, open("TempDb.bin", kReadShared), 1},
      {" TempDb.bin read Fail..", true, true, [](auto& fs) { fs.fail_read_at = {{"TempDb.bin", 0}}; }, 1},
      {" Model file write Fail..", true, true, open("narv_db_ver2_563412.bin.tmp", kCreateWrite), 1},
      {" Model file write Fail..", true, true, [](auto& fs) { fs.fail_write = {kUlmaPath + ".tmp"}; }, 1},
      {" Model file write Fail..", true, true, [](auto& fs) { fs.fail_close = {"P_Zon_db_v563412.bin.tmp"}; }, 1},
      {" Model file write Fail..", true, true, [](auto& fs) { fs.fail_rename = {"narv_db_ver2_563412.bin"}; }, 1}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    Rig rig;
    rig.dlg.m_nGenerateMode = c.mode;
    for (const std::string& path : earlier) rig.fs.SetFile(path, "earlier");
    rig.fs.SetFile("TempDb.bin", "earlier");
    rig.Choose();
    c.fault(rig.fs);
    rig.Generate();
    std::string status = rig.shown.status;
    for (const FileError& error : rig.file_errors) status += " [" + error.path + "]";
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(rig.focus, IDOK);
    EXPECT_EQ(rig.Buttons(), "---G");
    EXPECT_EQ(rig.shown.output_path, kBlank);
    EXPECT_EQ(rig.fs.Exists(kTempCopy), c.copy_left);
    EXPECT_EQ(rig.fs.files["TempDb.bin"],
              c.db_new ? kSampleDb : Bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    for (const std::string& path : earlier) EXPECT_EQ(rig.fs.Text(path), "earlier") << path;
    for (const auto& [path, bytes] : rig.fs.files) EXPECT_FALSE(path.ends_with(".tmp")) << path;
  }
}

TEST(Dialog, WaitsForAnotherRunAndTakesAReadOnlyText) {
  Rig rig;
  rig.fs.busy_folders = {"/data/"};
  rig.fs.SetFile(kTempCopy, "stale");
  rig.fs.read_only = {kTextPath, kTempCopy};
  rig.Choose();
  const std::size_t before = rig.fs.log.size();
  rig.Generate();
  EXPECT_EQ(rig.steps.back(), "----    Success..");
  EXPECT_TRUE(SameBytes(rig.fs.files[kPackagePath], ExpectedPackage(rig.fw, rig.voice, kSampleDb)));
  EXPECT_EQ(std::count(rig.statuses.begin(), rig.statuses.end(), " Waiting for another run.."), 1);
  // Every folder written is locked before anything is touched.
  const std::vector<std::string> first(rig.fs.log.begin() + before,
                                       rig.fs.log.begin() + before + 3);
  EXPECT_EQ(first,
            (std::vector<std::string>{"lock  /program /data/", "lock  /program /data/", "waited"}));
}

TEST(Dialog, SecondPressAfterParserFaultSucceeds) {
  Rig rig;
  rig.fs.SetFile(kTextPath, "V1.0 123456 test\r\nX\tY\tTYPE\r\n\r\n\r\n");
  rig.Choose();
  rig.Generate();
  EXPECT_EQ(rig.shown.status, "Error : EmptyLine 3");
  EXPECT_FALSE(rig.fs.Exists(kTempCopy));

  // The line count stays the one taken when the file was chosen (4), so a fix
  // that moves the final line end still meets an empty row where none is let
  // pass...
  rig.fs.SetFile(kTextPath, kHeaderOnlyText);
  rig.Generate();
  EXPECT_EQ(rig.shown.status, "Error : EmptyLine 3");

  // ...while one without a final line end makes no empty row at all.
  rig.fs.SetFile(kTextPath, "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE");
  rig.Generate();
  EXPECT_EQ(rig.shown.status, "   Success..");
  EXPECT_TRUE(SameBytes(rig.fs.files[kPackagePath], ExpectedPackage(rig.fw, rig.voice, kSampleDb)));
  EXPECT_FALSE(rig.fs.Exists(kTempCopy));
  EXPECT_EQ(rig.Buttons(), "----");
}

TEST(Dialog, FileNameChecks) {
  struct Case {
    bool voice;  // the voice button, else the firmware one
    std::string name;
    std::size_t size;
    std::uint8_t k93, k93_voice;  // the modes before
    bool unreadable;
    // The name field, the modes and the version tag after, the button states
    // and the status.
    std::string after;
  };
  // clang-format off
  const Case cases[] = {
      {false, "K93_FW_v0102.bin", 249857, 0, 0, false, "K93_FW_v0102.bin 00  ---- Please select signature file.."},
      {false, "K93_FW_v0102.bin", 1000, 1, 0, false, "K93_FW_v0102.bin 10 0102 -V-- Please select voice file.."},
      {false, "K93_FW_v0102.bin", 249856, 0, 0, true, " 00  F--- Cannot file FW file.."},
      {false, "K93_firmware.bin", 249856, 0, 0, false, " 10  F--- Cannot file FW file.."},
      {false, "k93_FW_v0102.bin", 249856, 0, 0, false, " 00  F--- Cannot file FW file.."},
      {false, "K93_FW_v0102.BIN", 1000, 0, 0, false, " 00  F--- Cannot file FW file.."},
      {false, "K93_FW_v012.bin", 1000, 0, 0, false, " 00  F--- Cannot file FW file.."},
      {false, "FW_v0102.bin", 249856, 0, 0, false, "FW_v0102.bin 00  ---- Please select signature file.."},
      {false, "FW_v0102.bin", 5, 1, 0, false, "FW_v0102.bin 10 .bin -V-- Please select voice file.."},
      {true, "Voice_v0034.bin", 10, 1, 0, false, " 10  F--- Cannot file Voice file.."},
      {true, "Voice_v0034.bin", 10, 1, 1, false, "Voice_v0034.bin 11 .bin F-D- Please select DB text file.."},
      {true, "K93_Voice_v034.bin", 10, 1, 0, false, " 11  F--- Cannot file Voice file.."},
      // The voice button is pressed from the start state, "FW File" still on.
      // Without K93 mode an accepted voice image leads nowhere and says nothing.
      {true, "K93_Voice_v0034.bin", 10, 0, 0, false, "K93_Voice_v0034.bin 00  F--- Please open read file.."}};
  // clang-format on
  for (const Case& c : cases) {
    Rig rig;
    const std::string path = "/in/" + c.name;
    rig.fs.SetFile(path, Pattern(c.size, 5));
    if (c.unreadable) rig.fs.fail_open = {{path, OpenMode::kReadShared}};
    rig.state.K93_MODE = c.k93;
    rig.state.K93_VOICE = c.k93_voice;
    rig.Press(c.voice ? &CKorvelDlg::OnBnClickedVoiceFile : &CKorvelDlg::OnBnClickedFwFile, path);
    EXPECT_EQ((c.voice ? rig.shown.voice_name : rig.shown.fw_name) + " " +
                  char('0' + rig.state.K93_MODE) + char('0' + rig.state.K93_VOICE) + " " +
                  TagText(c.voice ? rig.state.VOICE_VERSION_TAG : rig.state.FW_VERSION_TAG) + " " +
                  rig.steps.back(),
              c.after)
        << c.name;
  }
}

TEST(Dialog, CancelledOrVanishedFilesChangeNothingVisible) {
  Rig rig;
  rig.state.K93_MODE = 1;
  const DialogView start = rig.shown;
  rig.Choose("", "", "");  // every chooser cancels
  std::string requests;
  for (const OpenFileRequest& r : rig.requests) requests += r.default_ext + " " + r.filter;
  EXPECT_EQ(
      requests,
      "bin Binary file(*.bin)|*.bin|bin Binary file(*.bin)|*.bin|txt Text file(*.txt)|*.txt|");
  EXPECT_TRUE(rig.state.FW_PATH.empty());

  // Chosen, then gone before the handler looks it up: the path is kept, silently.
  rig.Choose("/gone/K93_FW_v0102.bin", "/gone/K93_Voice_v0034.bin", "/gone/cams.txt");
  EXPECT_EQ(rig.shown, start);
  EXPECT_EQ(rig.steps, std::vector<std::string>(6, "F--- Please open read file.."));
  EXPECT_EQ(rig.state.FW_PATH + " " + rig.state.VOICE_PATH + " " + rig.state.DB_TEXT_PATH,
            "/gone/K93_FW_v0102.bin /gone/K93_Voice_v0034.bin /gone/cams.txt");
  EXPECT_EQ(rig.state.DB_TEXT_FOLDER, "/gone/");
  EXPECT_EQ(rig.state.DB_LINE_COUNT, 0u);
}

TEST(Dialog, DbTextFolderEndsAtTheLastSeparator) {
  // The cut goes by the characters of the name, yet still stops at the
  // separator, whichever it is.
  for (const auto& [path, folder] :
       {std::pair{"/cams.t/cams.txt", "/cams.t/"}, {"C:\\cams.txt", "C:\\"}}) {
    Rig rig;
    rig.fs.SetFile(path, "x\n");
    rig.Press(&CKorvelDlg::OnBnClickedDbTextFile, path);
    EXPECT_EQ(rig.state.DB_TEXT_FOLDER, folder);
    EXPECT_EQ(rig.state.DB_LINE_COUNT, 1u);
  }
}

TEST(Dialog, FaultInAFileCallStaysInsideTheHandler) {
  struct ThrowingFileSystem : MemoryFileSystem {
    std::optional<std::string> FindFile(const std::string&) override {
      throw std::runtime_error("disk gone");
    }
  } throwing;
  Rig rig(&throwing);
  EXPECT_NO_THROW(rig.Press(&CKorvelDlg::OnBnClickedFwFile, kFwPath));
  EXPECT_EQ(rig.shown.status, " Unexpected error: disk gone");
  EXPECT_EQ(rig.Buttons(), "F---");
}

}  // namespace
}  // namespace korvel
