// The main dialog as Windows really makes it, driven by window messages with
// a scripted chooser: start state, the file-name checks, a whole operator run
// on disk, the keys, what the window itself carries, and the About box. Last,
// the system's own chooser as the file buttons show it.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/resource.h"
#include "app/win32/korvel_window.h"
#include "platform/real_file_system.h"
#include "support/byte_diff.h"
#include "support/golden.h"
#include "wine_test_support.h"

namespace korvel::win32 {
namespace {

using korvel::testing::SameBytes;
using testing::Children;
using testing::ModalWatch;
using testing::PumpMessages;
using testing::ScratchFolder;
using testing::WindowText;

constexpr char kBlank[] = "            ";
constexpr char kOpenReadFile[] = "Please open read file..";
constexpr std::size_t kK93FirmwareLength = 249856;

Bytes Pattern(std::size_t size, unsigned seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
  return bytes;
}

/// The package built by hand from its layout.
Bytes ExpectedPackage(const Bytes& fw, const Bytes& voice, const Bytes& db) {
  Bytes out(16, 0);
  StoreU32(&out[1], static_cast<std::uint32_t>(fw.size()));
  StoreU32(&out[5], static_cast<std::uint32_t>(voice.size()));
  StoreU32(&out[9], static_cast<std::uint32_t>(db.size()));
  out.insert(out.end(), fw.begin(), fw.end());
  out.resize(0x100000, 0);
  out.insert(out.end(), voice.begin(), voice.end());
  out.resize(0x500000, 0);
  out.insert(out.end(), db.begin(), db.end());
  return out;
}

/// One open main dialog over a scratch disk, as the program makes it.
struct Session {
  Session() {
    EXPECT_TRUE(dlg.Create());
    window = dlg.m_hWnd;
    PumpMessages(window);
  }

  HWND Item(int id) const { return GetDlgItem(window, id); }
  std::string Text(int id) const { return WindowText(Item(id)); }
  /// "FVDG" for the four file buttons, '-' where one is disabled.
  std::string Buttons() const {
    std::string s = "----";
    const int ids[] = {IDC_FW_FILE, IDC_VOICE_FILE, IDC_DB_TEXT_FILE, IDC_GENERATE_FILE};
    for (int i = 0; i < 4; ++i) {
      if (IsWindowEnabled(Item(ids[i]))) s[i] = "FVDG"[i];
    }
    return s;
  }
  /// Clicks an enabled button; the focus stays where it is.
  void Click(int id) {
    ASSERT_TRUE(IsWindowEnabled(Item(id))) << id;
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(Item(id)));
    PumpMessages(window);
  }
  /// A key pressed where the focus is, through the dialog's key handling.
  void Key(WPARAM key) {
    PostMessageA(GetFocus(), WM_KEYDOWN, key, 1);
    PostMessageA(GetFocus(), WM_KEYUP, key, 0xC0000001);
    PumpMessages(window);
  }
  /// Has the chooser answer with `name` holding `bytes`, then clicks `button`.
  void Choose(int button, const std::string& name, const Bytes& bytes) {
    chooser.paths.push_back(scratch.Write("in\\" + name, bytes));
    Click(button);
  }
  /// Chooses the good firmware and voice files that come before `button`.
  void ChooseGoodFilesBefore(int button) {
    if (button == IDC_FW_FILE) return;
    Choose(IDC_FW_FILE, "K93_FW_v0102.bin", Pattern(kK93FirmwareLength, 1));
    if (button == IDC_VOICE_FILE) return;
    Choose(IDC_VOICE_FILE, "K93_Voice_v0034.bin", Pattern(100, 2));
  }

  ScratchFolder scratch;
  RunState state;
  RealFileSystem fs{scratch.Path("work"), scratch.Path("program\\Korvel.exe")};
  testing::ScriptedChooser chooser;
  CKorvelDlgWnd dlg{state, fs, chooser, nullptr};
  HWND window = nullptr;
};

TEST(MainDialog, StartState) {
  Session s;
  EXPECT_EQ(s.Buttons(), "F---");
  EXPECT_TRUE(IsWindowEnabled(s.Item(IDOK)) && IsWindowEnabled(s.Item(IDCANCEL)));
  for (int id : {IDC_FW_NAME, IDC_VOICE_NAME, IDC_DB_NAME, IDC_OUTPUT_PATH}) {
    EXPECT_EQ(s.Text(id), kBlank) << id;
  }
  EXPECT_EQ(s.Text(IDC_STATUS), kOpenReadFile);
  EXPECT_TRUE(testing::SaveScreenshot(s.window, "korvel-dialog-start.png"));
}

TEST(MainDialog, FileNameChecks) {
  const char* signature = "Please select signature file..";
  const char* fw_rejected = "Cannot file FW file..";
  const char* voice_rejected = "Cannot file Voice file..";
  struct Case {
    int button;
    const char* name;
    std::size_t size;
    const char* status;
    const char* buttons;
  };
  // The K93 is told by its firmware length alone; without it the run stops.
  const Case cases[] = {
      {IDC_FW_FILE, "K93_FW_v0102.bin", kK93FirmwareLength, "Please select voice file..", "-V--"},
      {IDC_FW_FILE, "K93_FW_v0102.bin", kK93FirmwareLength - 1, signature, "----"},
      {IDC_FW_FILE, "K93_FW_v0102.bin", kK93FirmwareLength + 1, signature, "----"},
      {IDC_FW_FILE, "FW_v0102.bin", kK93FirmwareLength, signature, "----"},
      {IDC_FW_FILE, "K93_firmware.bin", kK93FirmwareLength, fw_rejected, "F---"},
      {IDC_FW_FILE, "k93_FW_v0102.bin", kK93FirmwareLength, fw_rejected, "F---"},
      {IDC_FW_FILE, "K93_FW_v0102.BIN", kK93FirmwareLength, fw_rejected, "F---"},
      {IDC_FW_FILE, "K93_FW_v01023.bin", kK93FirmwareLength, fw_rejected, "F---"},
      {IDC_FW_FILE, "K93_FW_v012.bin", kK93FirmwareLength, fw_rejected, "F---"},
      {IDC_VOICE_FILE, "K93_Voice_v0034.bin", 100, "Please select DB text file..", "--D-"},
      {IDC_VOICE_FILE, "Voice_v0034.bin", 100, voice_rejected, "-V--"},
      {IDC_VOICE_FILE, "K93_Voice_v034.bin", 100, voice_rejected, "-V--"},
      {IDC_VOICE_FILE, "K93_voice_v0034.bin", 100, voice_rejected, "-V--"},
      {IDC_DB_TEXT_FILE, "cams.txt", 10, "   Press Start button..", "---G"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " of " + std::to_string(c.size) + " bytes");
    Session s;
    s.ChooseGoodFilesBefore(c.button);
    s.Choose(c.button, c.name, Pattern(c.size, 3));
    EXPECT_EQ(s.Text(IDC_STATUS), c.status);
    EXPECT_EQ(s.Buttons(), c.buttons);
    // A rejected name is cleared from its field, any other shown.
    const int field = c.button == IDC_FW_FILE      ? IDC_FW_NAME
                      : c.button == IDC_VOICE_FILE ? IDC_VOICE_NAME
                                                   : IDC_DB_NAME;
    EXPECT_EQ(s.Text(field), std::string(c.status).starts_with("Cannot") ? "" : c.name);
  }
}

TEST(MainDialog, OperatorRunWritesThePackage) {
  Session s;
  const Bytes fw = Pattern(kK93FirmwareLength, 7);
  const Bytes voice = Pattern(0x400000, 8);  // fills its room exactly
  std::filesystem::create_directories(s.scratch.Path("work"));
  std::filesystem::create_directories(s.scratch.Path("program"));
  s.Choose(IDC_FW_FILE, "K93_FW_v0102.bin", fw);
  s.Choose(IDC_VOICE_FILE, "K93_Voice_v0034.bin", voice);
  s.Choose(IDC_DB_TEXT_FILE, "cams.txt", Bytes(kHeaderOnlyText, std::end(kHeaderOnlyText) - 1));
  s.Click(IDC_GENERATE_FILE);

  const std::string package = s.scratch.Path("program\\K93_F0102_V0034_D3456.bin");
  EXPECT_EQ(s.Buttons(), "----");
  EXPECT_EQ(s.Text(IDC_STATUS), "   Success..");
  EXPECT_EQ(s.Text(IDC_OUTPUT_PATH), package);
  EXPECT_TRUE(SameBytes(testing::ReadFileBytes(package), ExpectedPackage(fw, voice, kSampleDb)));
  EXPECT_TRUE(SameBytes(testing::ReadFileBytes(s.scratch.Path("work\\TempDb.bin")), kSampleDb));
  EXPECT_TRUE(testing::SaveScreenshot(s.window, "korvel-dialog-done.png"));
}

TEST(MainDialog, RefreshEnterEscapeExitAndCloseBox) {
  struct Case {
    const char* what;
    void (*act)(Session&);
    bool closes;
  };
  const Case cases[] = {
      {"Refresh", [](Session& s) { s.Click(IDOK); }, false},
      {"Enter", [](Session& s) { s.Key(VK_RETURN); }, false},
      {"Escape", [](Session& s) { s.Key(VK_ESCAPE); }, true},
      {"Exit", [](Session& s) { s.Click(IDCANCEL); }, true},
      {"close box",
       [](Session& s) {
         SendMessageA(s.window, WM_SYSCOMMAND, SC_CLOSE, 0);
         PumpMessages(s.window);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Session s;
    s.ChooseGoodFilesBefore(IDC_VOICE_FILE);
    ASSERT_EQ(GetFocus(), s.Item(IDOK));
    c.act(s);
    EXPECT_EQ(IsWindow(s.window) != FALSE, !c.closes);
    if (c.closes) {
      EXPECT_EQ(s.dlg.end_result(), IDCANCEL);
    } else {
      EXPECT_EQ(s.Buttons(), "F---");
      EXPECT_EQ(s.Text(IDC_STATUS), kOpenReadFile);
      EXPECT_EQ(s.Text(IDC_FW_NAME), kBlank);
    }
  }
}

LOGFONTA FontOf(HWND window) {
  LOGFONTA font{};
  GetObjectA(HGDIOBJ(SendMessageA(window, WM_GETFONT, 0, 0)), sizeof(font), &font);
  return font;
}

TEST(MainDialog, CaptionAndFonts) {
  Session s;
  EXPECT_EQ(WindowText(s.window), "Tarvex binary generator v1.0");
  const LOGFONTA status = FontOf(s.Item(IDC_STATUS));
  EXPECT_EQ(status.lfHeight, 16);
  EXPECT_EQ(status.lfWidth, 8);
  EXPECT_EQ(status.lfWeight, 1);
  EXPECT_STREQ(status.lfFaceName, "arial");
  const LRESULT dialog_font = SendMessageA(s.window, WM_GETFONT, 0, 0);
  for (HWND child : Children(s.window)) {
    if (child != s.Item(IDC_STATUS)) {
      EXPECT_EQ(SendMessageA(child, WM_GETFONT, 0, 0), dialog_font) << GetDlgCtrlID(child);
    }
  }
}

TEST(MainDialog, ControlsStandWhereTheTemplatePutsThem) {
  // Template 102 in tab order: id, then place and size in dialog units.
  const int controls[][5] = {
      {IDOK, 368, 86, 50, 14},
      {IDCANCEL, 427, 86, 50, 14},
      {IDC_OUTPUT_PATH, 112, 63, 357, 8},
      {IDC_GENERATE_FILE, 13, 54, 92, 24},
      {IDC_STATUS, 13, 33, 149, 19},
      {IDC_FW_NAME, 62, 14, 81, 8},
      {-1, 108, 52, 368, 26},
      {IDC_FW_FILE, 7, 10, 50, 16},
      {-1, 57, 7, 91, 20},
      {IDC_VOICE_NAME, 215, 15, 85, 8},
      {IDC_VOICE_FILE, 159, 10, 50, 16},
      {-1, 210, 7, 92, 20},
      {IDC_DB_NAME, 369, 14, 106, 8},
      {IDC_DB_TEXT_FILE, 313, 10, 50, 16},
      {-1, 364, 7, 119, 20},
  };
  Session s;
  const std::vector<HWND> children = Children(s.window);
  ASSERT_EQ(children.size(), std::size(controls));
  for (std::size_t i = 0; i < children.size(); ++i) {
    const auto [id, x, y, w, h] = controls[i];
    SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(id));
    EXPECT_EQ(GetDlgCtrlID(children[i]), id);
    // Place and size each converted on its own, as the dialog manager does.
    RECT want{x, y, w, h};
    MapDialogRect(s.window, &want);
    RECT got{};
    GetWindowRect(children[i], &got);
    MapWindowPoints(nullptr, s.window, reinterpret_cast<POINT*>(&got), 2);
    EXPECT_EQ((std::array{got.left, got.top, got.right - got.left, got.bottom - got.top}),
              (std::array{want.left, want.top, want.right, want.bottom}));
  }
}

TEST(MainDialog, AboutBoxFromTheSystemMenu) {
  ASSERT_EQ(GetACP(), 949u) << "run under a Korean locale (LC_ALL=ko_KR.UTF-8)";
  Session s;
  const HMENU menu = GetSystemMenu(s.window, FALSE);
  const int count = GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  EXPECT_EQ(GetMenuItemID(menu, count - 1), 16u);
  wchar_t entry[64] = {};
  GetMenuStringW(menu, UINT(count - 1), entry, 64, MF_BYPOSITION);
  EXPECT_EQ(std::wstring(entry), L"Korvel \uC815\uBCF4(&A)...");  // "Korvel 정보(&A)..."
  MENUITEMINFOA separator{};
  separator.cbSize = sizeof(separator);
  separator.fMask = MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoA(menu, UINT(count - 2), TRUE, &separator));
  EXPECT_TRUE(separator.fType & MFT_SEPARATOR);

  wchar_t caption[64] = {};
  {
    ModalWatch watch(s.window, [&](HWND box) {
      GetWindowTextW(box, caption, 64);
      EXPECT_TRUE(testing::SaveScreenshot(box, "korvel-about.png"));
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(s.window, WM_SYSCOMMAND, 16, 0);
  }
  EXPECT_EQ(std::wstring(caption), L"Korvel \uC815\uBCF4");
  EXPECT_TRUE(IsWindow(s.window));
}

// The explorer-style chooser's file type list and file name box.
constexpr int kFileTypeList = 0x470;
constexpr int kFileNameBox = 0x47C;

TEST(SystemFileChooser, OffersTheFilterAddsTheDefaultExtensionKeepsTheWorkingFolder) {
  ScratchFolder scratch;
  const std::string fw = scratch.Write("in\\K93_FW_v0102.bin", Bytes(16, 1));
  const std::unique_ptr<HWND__, decltype(&DestroyWindow)> owner(
      CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                      nullptr, nullptr),
      &DestroyWindow);
  LRESULT types = 0;
  char type[128] = {};
  std::optional<ChosenFile> chosen;
  char before[MAX_PATH] = {}, after[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, before);
  {
    ModalWatch watch(owner.get(), [&](HWND chooser) {
      types = SendDlgItemMessageA(chooser, kFileTypeList, CB_GETCOUNT, 0, 0);
      SendDlgItemMessageA(chooser, kFileTypeList, CB_GETLBTEXT, 0, LPARAM(type));
      SetDlgItemTextA(chooser, kFileNameBox, scratch.Path("in\\K93_FW_v0102").c_str());
      PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    });
    chosen = SystemFileChooser().Choose(owner.get(), {"bin", "Binary file(*.bin)|*.bin|"});
  }
  EXPECT_EQ(types, 1);
  EXPECT_STREQ(type, "Binary file(*.bin)");
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->path, fw);
  EXPECT_EQ(chosen->name, "K93_FW_v0102.bin");
  // A file chosen in another folder leaves the working folder, where
  // "TempDb.bin" goes, as it was.
  GetCurrentDirectoryA(MAX_PATH, after);
  EXPECT_STREQ(after, before);
}

}  // namespace
}  // namespace korvel::win32
