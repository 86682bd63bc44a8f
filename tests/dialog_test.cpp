// The dialog's logic through whole operator runs: button states, status
// texts, the file-name checks and the files a run leaves behind.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/korvel_dlg.h"
#include "app/resource.h"
#include "platform/path.h"
#include "platform/real_file_system.h"
#include "support/byte_diff.h"
#include "support/fake_dialog_window.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

using testing::FakeDialogWindow;
using testing::MemoryFileSystem;
using testing::SameBytes;

constexpr char kFwPath[] = "/in/K93_FW_v0102.bin";
constexpr char kVoicePath[] = "/in/K93_Voice_v0034.bin";
constexpr char kTextPath[] = "/data/cams.txt";
constexpr char kTempCopy[] = "/data/TempDbFile.txt";
// Characters 5 to 10 are 123456: the K93 exchange stores 563412.
constexpr char kHeaderOnlyText[] = "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\r\n";

// TempDb.bin for kHeaderOnlyText: the two sample points alone.
const Bytes kSampleDb = {
    0xC8, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // counts
    'V',  '1',  '.',  '0',  ' ',  '5',  '6',  '3',  '4',  '1',  '2',         // version
    0xCB, 0x18, 0x4D, 0x07, 0x01, 0x00, 0x2B, 0x00, 0x00, 0x00,              // cell 1
    0xCD, 0x18, 0x4E, 0x07, 0x01, 0x00, 0x3D, 0x00, 0x00, 0x00,              // cell 2
    0xCB, 0x18, 0x4D, 0x07, 0xFD, 0x5E, 0x13, 0x00, 0x86, 0xB4, 0x05, 0x00,
    0x05, 0x50, 0x00, 0xF7, 0x00, 0x00,  // point 1
    0xCD, 0x18, 0x4E, 0x07, 0x2F, 0x60, 0x13, 0x00, 0x93, 0xB5, 0x05, 0x00,
    0x01, 0x46, 0x01, 0x0F, 0x00, 0x00,  // point 2
};

/// A file in the folder of the program, where packages go.
std::string ProgramFile(const char* name) {
  return JoinPath("/program", name);
}
const std::string kPackagePath = ProgramFile("K93_F0102_V0034_D3456.bin");

Bytes Pattern(std::size_t size, unsigned seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
  return bytes;
}

void AppendU32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

/// The package built by hand from its layout.
Bytes ExpectedPackage(const Bytes& fw, const Bytes& voice, const Bytes& db) {
  Bytes out{0};
  AppendU32(out, static_cast<std::uint32_t>(fw.size()));
  AppendU32(out, static_cast<std::uint32_t>(voice.size()));
  AppendU32(out, static_cast<std::uint32_t>(db.size()));
  out.resize(16, 0);
  out.insert(out.end(), fw.begin(), fw.end());
  out.resize(1048576, 0);
  out.insert(out.end(), voice.begin(), voice.end());
  out.resize(5242880, 0);
  out.insert(out.end(), db.begin(), db.end());
  return out;
}

std::string NameOf(const std::string& path) {
  return path.substr(path.find_last_of("/\\") + 1);
}

/// A dialog just opened over an in-memory disk holding the three inputs.
struct Rig {
  explicit Rig(FileSystem* other_fs = nullptr)
      : dlg(state, window, other_fs ? *other_fs : fs, nullptr) {
    fs.SetFile(kFwPath, fw);
    fs.SetFile(kVoicePath, voice);
    fs.SetFile(kTextPath, kHeaderOnlyText);
    dlg.OnInitDialog();
  }
  /// Presses a file button; the chooser answers `path`.
  void Press(void (CKorvelDlg::*button)(), const std::string& path) {
    window.choices.push_back(ChosenFile{path, NameOf(path)});
    (dlg.*button)();
  }
  /// The operator's whole run; returns the button states after each step.
  std::vector<std::string> RunAll(const std::string& fw_path = kFwPath,
                                  const std::string& voice_path = kVoicePath,
                                  const std::string& text_path = kTextPath) {
    std::vector<std::string> states;
    Press(&CKorvelDlg::OnBnClickedFwFile, fw_path);
    states.push_back(Buttons());
    Press(&CKorvelDlg::OnBnClickedVoiceFile, voice_path);
    states.push_back(Buttons());
    Press(&CKorvelDlg::OnBnClickedDbTextFile, text_path);
    states.push_back(Buttons());
    dlg.OnBnClickedGenerateFile();
    states.push_back(Buttons());
    return states;
  }
  /// "FVDG" for the four file buttons, '-' where one is disabled.
  std::string Buttons() const {
    std::string s = "----";
    const int ids[] = {IDC_FW_FILE, IDC_VOICE_FILE, IDC_DB_TEXT_FILE, IDC_GENERATE_FILE};
    for (int i = 0; i < 4; ++i) {
      if (window.Enabled(ids[i])) s[i] = "FVDG"[i];
    }
    return s;
  }
  std::vector<std::string> Statuses() const {
    std::vector<std::string> texts;
    for (const auto& [id, text] : window.text_log) {
      if (id == IDC_STATUS) texts.push_back(text);
    }
    return texts;
  }

  Bytes fw = Pattern(249856, 1);
  Bytes voice = Pattern(3000, 2);
  RunState state;
  FakeDialogWindow window;
  MemoryFileSystem fs;
  CKorvelDlg dlg;
};

TEST(Dialog, StartStateAndRefreshAfterARun) {
  Rig rig;
  EXPECT_EQ(rig.Buttons(), "F---");
  EXPECT_EQ(rig.Statuses(), std::vector<std::string>{"Please open read file.."});
  for (int id : {IDC_FW_NAME, IDC_VOICE_NAME, IDC_DB_NAME, IDC_OUTPUT_PATH}) {
    EXPECT_EQ(rig.window.Text(id), "            ") << id;
  }

  rig.RunAll();
  EXPECT_EQ(rig.state.TEMP_DB_TEXT, kTempCopy);
  rig.dlg.OnBnClickedRefresh();
  EXPECT_EQ(rig.Buttons(), "F---");
  EXPECT_EQ(rig.window.Text(IDC_STATUS), "Please open read file..");
  for (int id : {IDC_FW_NAME, IDC_VOICE_NAME, IDC_DB_NAME, IDC_OUTPUT_PATH}) {
    EXPECT_EQ(rig.window.Text(id), "            ") << id;
  }
  EXPECT_EQ(rig.state.TEMP_DB_TEXT, "TempDbFile.txt");
  EXPECT_EQ(rig.state.K93_MODE, 1);
  EXPECT_EQ(rig.state.FW_PATH, kFwPath);
  EXPECT_FALSE(rig.window.closed_with.has_value());

  rig.dlg.OnBnClickedExit();
  EXPECT_EQ(rig.window.closed_with, IDCANCEL);
}

TEST(Dialog, WholeRunWritesThePackageByteForByte) {
  Rig rig;
  // A package of the same name from an earlier run, longer than the new one.
  rig.fs.SetFile(kPackagePath, Pattern(6000000, 9));
  const auto buttons = rig.RunAll();

  EXPECT_EQ(buttons, (std::vector<std::string>{"-V--", "--D-", "---G", "----"}));
  EXPECT_EQ(rig.Statuses(),
            (std::vector<std::string>{"Please open read file..", "Please select voice file..",
                                      "Please select DB text file..", "   Press Start button..",
                                      "   Success.."}));
  EXPECT_EQ(rig.window.Text(IDC_FW_NAME), "K93_FW_v0102.bin");
  EXPECT_EQ(rig.window.Text(IDC_VOICE_NAME), "K93_Voice_v0034.bin");
  EXPECT_EQ(rig.window.Text(IDC_DB_NAME), "cams.txt");
  EXPECT_EQ(rig.window.Text(IDC_OUTPUT_PATH), kPackagePath);
  EXPECT_EQ(rig.state.DB_LINE_COUNT, 2u);
  EXPECT_EQ(rig.state.DB_TEXT_FOLDER, "/data/");
  EXPECT_TRUE(SameBytes(rig.fs.files["TempDb.bin"], kSampleDb));
  EXPECT_TRUE(SameBytes(rig.fs.files[kPackagePath], ExpectedPackage(rig.fw, rig.voice, kSampleDb)));
  EXPECT_EQ(Bytes(rig.fs.files[kPackagePath].begin(), rig.fs.files[kPackagePath].begin() + 5),
            (Bytes{0x00, 0x00, 0xD0, 0x03, 0x00}));
  EXPECT_FALSE(rig.fs.Exists(kTempCopy));
  EXPECT_TRUE(rig.fs.Exists(kTextPath));
  EXPECT_TRUE(rig.window.file_errors.empty());
}

TEST(Dialog, PerModelRunWritesTheModelFiles) {
  Rig rig;
  rig.dlg.m_nGenerateMode = 1;
  // Exchanged in K93 mode to 211105, the version in the model file names.
  rig.fs.SetFile(kTextPath, "V1.0 051121 test\r\nX\tY\tTYPE\r\n");
  const auto buttons = rig.RunAll();

  EXPECT_EQ(buttons.back(), "---G");
  EXPECT_EQ(rig.window.Text(IDC_STATUS), "   Success..");
  EXPECT_EQ(rig.window.Text(IDC_OUTPUT_PATH), ProgramFile("ulma_db_ver2.bin"));
  const Bytes& db = rig.fs.files["TempDb.bin"];
  ASSERT_EQ(db.size(), kSampleDb.size());
  for (const char* name : {"narv_db_ver2_211105.bin", "zorvane_db_ver2_211105.bin",
                           "P_Zon_db_v211105.bin", "narvtel_db_ver2_211105.bin"}) {
    ASSERT_TRUE(rig.fs.Exists(name)) << name;
    EXPECT_TRUE(SameBytes(rig.fs.files[name], db)) << name;
  }
  EXPECT_FALSE(rig.fs.Exists(kPackagePath));
  EXPECT_FALSE(rig.fs.Exists(kTempCopy));
}

TEST(Dialog, GenerateOutcomes) {
  struct Case {
    const char* what;
    std::string text;
    std::pair<std::string, OpenMode> fail_open;
    std::string status;
    bool temp_left;
    bool file_error;
  };
  const std::string part = kPackagePath + ".part";
  const std::vector<Case> cases = {
      {"copy not appendable",
       kHeaderOnlyText,
       {kTempCopy, OpenMode::kWriteExisting},
       " File open Fail..",
       true,
       false},
      {"copy not readable",
       kHeaderOnlyText,
       {kTempCopy, OpenMode::kReadShared},
       "   Fail1..",
       true,
       false},
      {"parser fault", "V1.0 123456\r\nX\tY\tTYPE\r\n1\t2\r\n", {}, "Error : Line 3", false, false},
      {"package not creatable",
       kHeaderOnlyText,
       {part, OpenMode::kCreateWrite},
       "   Fail2..",
       true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.fs.SetFile(kTextPath, c.text);
    if (!c.fail_open.first.empty()) rig.fs.fail_open = {c.fail_open};
    rig.RunAll();
    EXPECT_EQ(rig.window.Text(IDC_STATUS), c.status);
    EXPECT_EQ(rig.Buttons(), "---G");
    EXPECT_EQ(rig.window.Text(IDC_OUTPUT_PATH), "            ");
    EXPECT_EQ(rig.fs.Exists(kTempCopy), c.temp_left);
    EXPECT_FALSE(rig.fs.Exists(kPackagePath));
    ASSERT_EQ(rig.window.file_errors.size(), c.file_error ? 1u : 0u);
    if (c.file_error) {
      EXPECT_EQ(rig.window.file_errors[0].path, kPackagePath);
    }
  }
}

TEST(Dialog, SecondPressAfterParserFaultSucceeds) {
  Rig rig;
  rig.fs.SetFile(kTextPath, "V1.0 123456 test\r\nX\tY\tTYPE\r\n\r\n\r\n");
  rig.RunAll();
  EXPECT_EQ(rig.window.Text(IDC_STATUS), "Error : EmptyLine 3");
  EXPECT_FALSE(rig.fs.Exists(kTempCopy));

  // The line count stays the one taken when the file was chosen (4), so a fix
  // that moves the final line end still meets an empty row where none is let
  // pass...
  rig.fs.SetFile(kTextPath, kHeaderOnlyText);
  rig.dlg.OnBnClickedGenerateFile();
  EXPECT_EQ(rig.window.Text(IDC_STATUS), "Error : EmptyLine 3");

  // ...while one without a final line end makes no empty row at all.
  rig.fs.SetFile(kTextPath, "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE");
  rig.dlg.OnBnClickedGenerateFile();
  EXPECT_EQ(rig.window.Text(IDC_STATUS), "   Success..");
  EXPECT_EQ(rig.state.TEMP_DB_TEXT, kTempCopy);
  EXPECT_TRUE(SameBytes(rig.fs.files[kPackagePath], ExpectedPackage(rig.fw, rig.voice, kSampleDb)));
  EXPECT_FALSE(rig.fs.Exists(kTempCopy));
  EXPECT_EQ(rig.Buttons(), "----");
}

TEST(Dialog, RefreshKeepsK93ModeSoUnprefixedNamesGiveBinTags) {
  Rig rig;
  rig.RunAll();
  rig.dlg.OnBnClickedRefresh();
  rig.fs.SetFile("/in/FW_v0102.bin", Pattern(1000, 3));
  rig.fs.SetFile("/in/Voice_v0034.bin", Pattern(10, 4));
  const auto buttons = rig.RunAll("/in/FW_v0102.bin", "/in/Voice_v0034.bin");
  EXPECT_EQ(buttons, (std::vector<std::string>{"-V--", "--D-", "---G", "----"}));
  EXPECT_EQ(TagText(rig.state.FW_VERSION_TAG), ".bin");
  EXPECT_EQ(TagText(rig.state.VOICE_VERSION_TAG), ".bin");
  EXPECT_EQ(rig.window.Text(IDC_OUTPUT_PATH), ProgramFile("K93_F.bin_V.bin_D3456.bin"));
}

TEST(Dialog, FileNameChecks) {
  struct Case {
    int kind;
    std::string name;
    std::size_t size;
    std::uint8_t k93_before, voice_before;
    bool unreadable;
    bool accepted;
    std::uint8_t k93_after, voice_after;
    std::string tag;
    std::string status;
    std::string buttons;
  };
  const std::string fw_ok = "Please select voice file..";
  const std::string fw_bad = "Cannot file FW file..";
  const std::string voice_ok = "Please select DB text file..";
  const std::string voice_bad = "Cannot file Voice file..";
  const std::string start = "Please open read file..";
  const std::vector<Case> cases = {
      {0, "K93_FW_v0102.bin", 249856, 0, 0, false, true, 1, 0, "0102", fw_ok, "-V--"},
      {0, "K93_FW_v0102.bin", 249857, 0, 0, false, true, 0, 0, "", "Please select signature file..",
       "----"},
      {0, "K93_FW_v0102.bin", 1000, 1, 0, false, true, 1, 0, "0102", fw_ok, "-V--"},
      {0, "K93_FW_v0102.bin", 249856, 0, 0, true, false, 0, 0, "", fw_bad, "F---"},
      {0, "K93_firmware.bin", 249856, 0, 0, false, false, 1, 0, "", fw_bad, "F---"},
      {0, "k93_FW_v0102.bin", 249856, 0, 0, false, false, 0, 0, "", fw_bad, "F---"},
      {0, "K93_FW_v0102.BIN", 1000, 0, 0, false, false, 0, 0, "", fw_bad, "F---"},
      {0, "K93_FW_v01023.bin", 1000, 0, 0, false, false, 0, 0, "", fw_bad, "F---"},
      {0, "K93_FW_v012.bin", 1000, 0, 0, false, false, 0, 0, "", fw_bad, "F---"},
      {0, "FW_v0102.bin", 249856, 0, 0, false, true, 0, 0, "", "Please select signature file..",
       "----"},
      {0, "FW_v0102.bin", 5, 1, 0, false, true, 1, 0, ".bin", fw_ok, "-V--"},
      {0, "K93", 249856, 0, 0, false, false, 0, 0, "", fw_bad, "F---"},
      {1, "K93_Voice_v0034.bin", 10, 1, 0, false, true, 1, 1, "0034", voice_ok, "--D-"},
      {1, "K93_Voice_v0034.bin", 10, 1, 1, false, true, 1, 1, "0034", voice_ok, "--D-"},
      {1, "Voice_v0034.bin", 10, 1, 0, false, false, 1, 0, "", voice_bad, "-V--"},
      {1, "Voice_v0034.bin", 10, 1, 1, false, true, 1, 1, ".bin", voice_ok, "--D-"},
      {1, "K93_Voice_v034.bin", 10, 1, 0, false, false, 1, 1, "", voice_bad, "-V--"},
      {1, "K93_voice_v0034.bin", 10, 1, 0, false, false, 1, 1, "", voice_bad, "-V--"},
      // Without K93 mode an accepted voice image leads nowhere and says nothing.
      {1, "K93_Voice_v0034.bin", 10, 0, 0, false, true, 0, 0, "", start, "----"},
      {1, "Voice_v0034.bin", 10, 0, 0, false, true, 0, 0, "", start, "----"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " size " + std::to_string(c.size) + " mode " +
                 std::to_string(c.k93_before) + "/" + std::to_string(c.voice_before));
    Rig rig;
    const std::string path = "/in/" + c.name;
    rig.fs.SetFile(path, Pattern(c.size, 5));
    if (c.unreadable) rig.fs.fail_open = {{path, OpenMode::kReadShared}};
    rig.state.K93_MODE = c.k93_before;
    rig.state.K93_VOICE = c.voice_before;
    if (c.kind == kVoiceFile) {
      rig.window.EnableItem(IDC_FW_FILE, false);
      rig.window.EnableItem(IDC_VOICE_FILE, true);
      rig.Press(&CKorvelDlg::OnBnClickedVoiceFile, path);
    } else {
      rig.Press(&CKorvelDlg::OnBnClickedFwFile, path);
    }
    const int name_id = c.kind == kVoiceFile ? IDC_VOICE_NAME : IDC_FW_NAME;
    const auto& tag = c.kind == kVoiceFile ? rig.state.VOICE_VERSION_TAG : rig.state.FW_VERSION_TAG;
    EXPECT_EQ(rig.window.Text(name_id), c.accepted ? c.name : "");
    EXPECT_EQ(rig.state.K93_MODE, c.k93_after);
    EXPECT_EQ(rig.state.K93_VOICE, c.voice_after);
    EXPECT_EQ(TagText(tag), c.tag);
    EXPECT_EQ(rig.window.Text(IDC_STATUS), c.status);
    EXPECT_EQ(rig.Buttons(), c.buttons);
    EXPECT_EQ(c.kind == kVoiceFile ? rig.state.VOICE_PATH : rig.state.FW_PATH, path);
  }
}

TEST(Dialog, CancelledOrVanishedFilesChangeNothingVisible) {
  Rig rig;
  rig.state.K93_MODE = 1;
  const auto log_size = rig.window.text_log.size();
  // Nothing chosen: the fake chooser cancels.
  rig.dlg.OnBnClickedFwFile();
  rig.dlg.OnBnClickedVoiceFile();
  rig.dlg.OnBnClickedDbTextFile();
  ASSERT_EQ(rig.window.requests.size(), 3u);
  EXPECT_EQ(rig.window.requests[0].default_ext, "bin");
  EXPECT_EQ(rig.window.requests[0].filter, "Binary file(*.bin)|*.bin|");
  EXPECT_EQ(rig.window.requests[1].filter, "Binary file(*.bin)|*.bin|");
  EXPECT_EQ(rig.window.requests[2].default_ext, "txt");
  EXPECT_EQ(rig.window.requests[2].filter, "Text file(*.txt)|*.txt|");
  EXPECT_TRUE(rig.state.FW_PATH.empty());

  // Chosen, then gone before the handler looks it up: the path is kept, silently.
  rig.Press(&CKorvelDlg::OnBnClickedFwFile, "/gone/K93_FW_v0102.bin");
  rig.Press(&CKorvelDlg::OnBnClickedVoiceFile, "/gone/K93_Voice_v0034.bin");
  rig.Press(&CKorvelDlg::OnBnClickedDbTextFile, "/gone/cams.txt");
  EXPECT_EQ(rig.window.text_log.size(), log_size);
  EXPECT_EQ(rig.Buttons(), "F---");
  EXPECT_EQ(rig.state.FW_PATH, "/gone/K93_FW_v0102.bin");
  EXPECT_EQ(rig.state.VOICE_PATH, "/gone/K93_Voice_v0034.bin");
  EXPECT_EQ(rig.state.DB_TEXT_PATH, "/gone/cams.txt");
  EXPECT_EQ(rig.state.DB_TEXT_FOLDER, "/gone/");
  EXPECT_EQ(rig.state.DB_LINE_COUNT, 0u);
}

TEST(Dialog, DbTextLineCountAndFolder) {
  struct Case {
    std::string path;
    std::string text;
    bool unreadable;
    std::uint32_t lines;
    std::string folder;
  };
  const std::vector<Case> cases = {
      {"/data/cams.txt", "a\nb\nc\n", false, 3, "/data/"},
      {"/data/cams.txt", "a\nb\nc", false, 3, "/data/"},
      {"/data/cams.txt", "a\r\n\r\nc\r\n", false, 3, "/data/"},
      {"/data/cams.txt", "", false, 0, "/data/"},
      {"/data/cams.txt", "a\nb\n", true, 0, "/data/"},
      // The folder's own characters may all occur in the name: the cut still
      // stops at the separator.
      {"/cams.t/cams.txt", "x\n", false, 1, "/cams.t/"},
      {"/cams.txt", "x\n", false, 1, "/"},
      {"C:\\cams.txt", "x\n", false, 1, "C:\\"},
      {"C:\\db\\cams.txt", "x\n", false, 1, "C:\\db\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " [" + c.text + "]");
    Rig rig;
    rig.fs.SetFile(c.path, c.text);
    if (c.unreadable) rig.fs.fail_open = {{c.path, OpenMode::kReadShared}};
    rig.Press(&CKorvelDlg::OnBnClickedDbTextFile, c.path);
    EXPECT_EQ(rig.state.DB_LINE_COUNT, c.lines);
    EXPECT_EQ(rig.state.DB_TEXT_FOLDER, c.folder);
    EXPECT_EQ(rig.state.DB_TEXT_PATH, c.path);
    EXPECT_EQ(rig.window.Text(IDC_DB_NAME), "cams.txt");
    EXPECT_EQ(rig.window.Text(IDC_STATUS), "   Press Start button..");
    EXPECT_FALSE(rig.window.Enabled(IDC_DB_TEXT_FILE));
    EXPECT_TRUE(rig.window.Enabled(IDC_GENERATE_FILE));
  }
}

TEST(Dialog, FaultInAFileCallStaysInsideTheHandler) {
  class ThrowingFileSystem : public MemoryFileSystem {
   public:
    std::optional<std::string> FindFile(const std::string&) override {
      throw std::runtime_error("disk gone");
    }
  } throwing;
  Rig rig(&throwing);
  EXPECT_NO_THROW(rig.Press(&CKorvelDlg::OnBnClickedFwFile, kFwPath));
  EXPECT_EQ(rig.window.Text(IDC_STATUS), " Unexpected error: disk gone");
  EXPECT_EQ(rig.Buttons(), "F---");
}

TEST(WildcardMatch, Table) {
  struct Case {
    const char* pattern;
    const char* text;
    bool match;
  };
  const Case cases[] = {
      {"", "", true},          {"", "a", false},
      {"abc", "abc", true},    {"abc", "ab", false},
      {"ab", "abc", false},    {"a?c", "abc", true},
      {"a?c", "ac", false},    {"?", "", false},
      {"*", "", true},         {"*", "anything", true},
      {"a*", "a", true},       {"a*c", "abbbc", true},
      {"a*c", "abbbd", false}, {"a*bc", "abcbc", true},
      {"*x", "abc", false},    {"*?c", "abc", true},
      {"a**", "abc", true},    {"a*b*c", "axbyc", true},
      {"A", "a", false},       {"K93_FW_v????.bin", "K93_FW_v0102.bin", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WildcardMatch(c.pattern, c.text), c.match) << c.pattern << " vs " << c.text;
  }
}

/// A fresh folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      auto candidate =
          std::filesystem::temp_directory_path() / ("korvel-dlg-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) path_ = candidate;
    }
    if (path_.empty()) throw std::runtime_error("no temporary folder");
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

Bytes ReadDisk(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteDisk(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

TEST(Dialog, WholeRunOnDisk) {
  TempFolder tmp;
  const auto in = tmp.path() / "in";
  const auto work = tmp.path() / "work";
  const auto program = tmp.path() / "program";
  for (const auto& dir : {in, work, program}) std::filesystem::create_directory(dir);
  const Bytes fw = Pattern(249856, 7);
  const Bytes voice = Pattern(4194304, 8);  // fills its room exactly
  WriteDisk(in / "K93_FW_v0102.bin", fw);
  WriteDisk(in / "K93_Voice_v0034.bin", voice);
  const std::string text = kHeaderOnlyText;
  WriteDisk(in / "cams.txt", Bytes(text.begin(), text.end()));

  RealFileSystem disk(work.string(), (program / "korvel").string());
  Rig rig(&disk);
  rig.RunAll((in / "K93_FW_v0102.bin").string(), (in / "K93_Voice_v0034.bin").string(),
             (in / "cams.txt").string());

  const auto package = program / "K93_F0102_V0034_D3456.bin";
  EXPECT_EQ(rig.window.Text(IDC_STATUS), "   Success..");
  EXPECT_EQ(rig.window.Text(IDC_OUTPUT_PATH), package.string());
  EXPECT_TRUE(SameBytes(ReadDisk(work / "TempDb.bin"), kSampleDb));
  EXPECT_TRUE(SameBytes(ReadDisk(package), ExpectedPackage(fw, voice, kSampleDb)));
  EXPECT_FALSE(std::filesystem::exists(in / "TempDbFile.txt"));
  EXPECT_EQ(ReadDisk(in / "cams.txt"), Bytes(text.begin(), text.end()));
}

}  // namespace
}  // namespace korvel
