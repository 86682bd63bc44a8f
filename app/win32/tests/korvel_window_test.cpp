// The main dialog as Windows really makes it, driven by window messages with
// a scripted chooser: a whole operator run on disk, the keys, and the About
// box. Last, the system's own chooser as the file buttons show it.

#include <gtest/gtest.h>

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
using testing::ModalWatch;
using testing::PumpMessages;
using testing::ScratchFolder;
using testing::WindowText;

constexpr char kBlank[] = "            ";

/// One open main dialog over a scratch disk, as the program makes it.
struct Session {
  Session() {
    EXPECT_TRUE(dlg.Create());
    window = dlg.m_hWnd;
    PumpMessages(window);
  }

  HWND Item(int id) const { return GetDlgItem(window, id); }
  std::string Text(int id) const { return WindowText(Item(id)); }
  /// "FVDG" for the four file buttons, '-' where one is disabled, then the
  /// status.
  std::string Step() const {
    std::string s = "---- " + Text(IDC_STATUS);
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

  ScratchFolder scratch;
  RunState state;
  RealFileSystem fs{scratch.Path("work"), scratch.Path("program\\Korvel.exe")};
  testing::ScriptedChooser chooser;
  CKorvelDlgWnd dlg{state, fs, chooser, nullptr};
  HWND window = nullptr;
};

TEST(MainDialog, OperatorRunWritesThePackage) {
  Session s;
  EXPECT_EQ(WindowText(s.window), "Tarvex binary generator v1.0");
  EXPECT_TRUE(IsWindowEnabled(s.Item(IDOK)) && IsWindowEnabled(s.Item(IDCANCEL)));
  for (int id : {IDC_FW_NAME, IDC_VOICE_NAME, IDC_DB_NAME, IDC_OUTPUT_PATH}) {
    EXPECT_EQ(s.Text(id), kBlank) << id;
  }
  EXPECT_TRUE(testing::SaveScreenshot(s.window, "korvel-dialog-start.png"));

  const Bytes fw = Pattern(249856, 7);
  const Bytes voice = Pattern(0x400000, 8);  // fills its room exactly
  std::filesystem::create_directories(s.scratch.Path("work"));
  std::filesystem::create_directories(s.scratch.Path("program"));
  std::vector<std::string> steps = {s.Step()};
  s.Choose(IDC_FW_FILE, "K93_firmware.bin", fw);  // no version in the name
  steps.push_back(s.Step() + " [" + s.Text(IDC_FW_NAME) + "]");
  s.Choose(IDC_FW_FILE, "K93_FW_v0102.bin", fw);
  steps.push_back(s.Step());
  s.Choose(IDC_VOICE_FILE, "K93_Voice_v0034.bin", voice);
  steps.push_back(s.Step());
  s.Choose(IDC_DB_TEXT_FILE, "cams.txt", Bytes(kHeaderOnlyText, std::end(kHeaderOnlyText) - 1));
  steps.push_back(s.Step());
  s.Click(IDC_GENERATE_FILE);
  steps.push_back(s.Step());
  EXPECT_EQ(steps, (std::vector<std::string>{
                       "F--- Please open read file..", "F--- Cannot file FW file.. []",
                       "-V-- Please select voice file..", "--D- Please select DB text file..",
                       "---G    Press Start button..", "----    Success.."}));

  const std::string package = s.scratch.Path("program\\K93_F0102_V0034_D3456.bin");
  EXPECT_EQ(s.Text(IDC_OUTPUT_PATH), package);
  EXPECT_EQ(s.Text(IDC_FW_NAME) + " " + s.Text(IDC_VOICE_NAME) + " " + s.Text(IDC_DB_NAME),
            "K93_FW_v0102.bin K93_Voice_v0034.bin cams.txt");
  EXPECT_TRUE(SameBytes(testing::ReadFileBytes(package), ExpectedPackage(fw, voice, kSampleDb)));
  EXPECT_TRUE(SameBytes(testing::ReadFileBytes(s.scratch.Path("work\\TempDb.bin")), kSampleDb));
  EXPECT_TRUE(testing::SaveScreenshot(s.window, "korvel-dialog-done.png"));
}

TEST(MainDialog, EnterRefreshesEscapeCloses) {
  Session s;
  s.Choose(IDC_FW_FILE, "K93_FW_v0102.bin", Pattern(249856, 1));
  ASSERT_EQ(GetFocus(), s.Item(IDOK));
  s.Key(VK_RETURN);
  EXPECT_EQ(s.Step(), "F--- Please open read file..");
  EXPECT_EQ(s.Text(IDC_FW_NAME), kBlank);
  s.Key(VK_ESCAPE);
  EXPECT_FALSE(IsWindow(s.window));
  EXPECT_EQ(s.dlg.end_result(), IDCANCEL);
}

TEST(MainDialog, AboutBoxFromTheSystemMenu) {
  ASSERT_EQ(GetACP(), 949u) << "run under a Korean locale (LC_ALL=ko_KR.UTF-8)";
  Session s;
  const HMENU menu = GetSystemMenu(s.window, FALSE);
  const int last = GetMenuItemCount(menu) - 1;
  EXPECT_EQ(GetMenuItemID(menu, last), 16u);
  wchar_t entry[64] = {};
  GetMenuStringW(menu, UINT(last), entry, 64, MF_BYPOSITION);
  EXPECT_EQ(std::wstring(entry), L"Korvel \uC815\uBCF4(&A)...");  // "Korvel 정보(&A)..."

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
