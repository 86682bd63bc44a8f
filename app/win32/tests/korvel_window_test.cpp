// The main dialog as Windows really makes it, driven by window messages with
// a scripted chooser: the About box, a whole operator run on disk and the
// keys. Last, the system's own chooser as the file buttons show it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/dialog/resource.h"
#include "app/win32/file_chooser.h"
#include "app/win32/korvel_window.h"
#include "platform/real_file_system.h"
#include "support/byte_diff.h"
#include "support/golden.h"

namespace korvel::win32 {
namespace {

using korvel::testing::SameBytes;

/// Runs every message waiting for this thread; keys for `dialog` go through
/// IsDialogMessage as in a dialog's own loop.
void PumpMessages(HWND dialog) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (IsWindow(dialog) && IsDialogMessageA(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

std::string WindowText(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(window, text.data(), int(text.size()))));
  return text;
}

/// While it lives, the first window that opens modally over `owner` is
/// handed to `action` from inside its modal loop, once shown; the action
/// reads it and posts what closes it. A window that never opens leaves the
/// modal call waiting, and the runner's timeout fails the test.
class ModalWatch {
 public:
  ModalWatch(HWND owner, std::function<void(HWND)> action)
      : owner_(owner), action_(std::move(action)) {
    current = this;
    timer_ = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, &ModalWatch::Tick);
  }
  ~ModalWatch() {
    KillTimer(nullptr, timer_);
    current = nullptr;
  }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    const HWND active = GetActiveWindow();
    if (current == nullptr || current->done_ || GetWindow(active, GW_OWNER) != current->owner_ ||
        !IsWindowVisible(active)) {
      return;
    }
    current->done_ = true;
    current->action_(active);
  }

  static inline ModalWatch* current = nullptr;
  HWND owner_;
  std::function<void(HWND)> action_;
  UINT_PTR timer_;
  bool done_ = false;
};

/// A folder of its own under %TEMP%, removed with everything in it.
struct ScratchFolder {
  ScratchFolder() {
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  /// Full path of `relative` inside the folder, backslash-separated.
  std::string Path(const std::string& relative) const {
    return (root / relative).make_preferred().string();
  }
  /// Writes `bytes` to `relative`, making its folders; returns the full path.
  std::string Write(const std::string& relative, const Bytes& bytes) const {
    const std::filesystem::path path = Path(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path.string();
  }

  static inline int serial = 0;
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() /
      ("korvel-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial));
};

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Has the runner save the screen as `name` in the build folder. True when
/// it was saved, or when the test runs without the runner (no
/// KORVEL_SCREENSHOTS in the environment).
bool SaveScreenshot(HWND window, const std::string& name) {
  if (std::getenv("KORVEL_SCREENSHOTS") == nullptr) return true;
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpMessages(window);
  GdiFlush();
  // An empty wait lets the display driver push out what was drawn.
  MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
  std::cout << "@@korvel-screenshot " << name << std::endl;
  std::string answer;
  std::getline(std::cin, answer);
  return answer.starts_with("ok");
}

/// One open main dialog over a scratch disk, as the program makes it, its
/// chooser answering with the files queued, then as if cancelled.
struct Session : FileChooser {
  Session() {
    EXPECT_TRUE(dlg.Create());
    window = dlg.m_hWnd;
    PumpMessages(window);
  }
  std::optional<ChosenFile> Choose(HWND, const OpenFileRequest&) override {
    if (paths.empty()) return std::nullopt;
    const std::string path = paths.front();
    paths.pop_front();
    return ChosenFile{path, path.substr(path.find_last_of('\\') + 1)};
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
  /// Clicks an enabled button; like the mouse, it takes the focus first.
  void Click(int id) {
    ASSERT_TRUE(IsWindowEnabled(Item(id))) << id;
    SendMessageA(window, WM_NEXTDLGCTL, WPARAM(Item(id)), TRUE);
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
    paths.push_back(scratch.Write("in\\" + name, bytes));
    Click(button);
  }

  ScratchFolder scratch;
  std::deque<std::string> paths;
  RunState state;
  RealFileSystem fs{scratch.Path("work"), scratch.Path("program\\Korvel.exe")};
  CKorvelDlgWnd dlg{state, fs, *this, nullptr};
  HWND window = nullptr;
};

TEST(MainDialog, AboutBoxOperatorRunAndKeys) {
  EXPECT_EQ(GetACP(), 949u) << "run under a Korean locale (LC_ALL=ko_KR.UTF-8)";
  Session s;
  EXPECT_EQ(WindowText(s.window), "Tarvex binary generator v1.0");
  EXPECT_TRUE(SaveScreenshot(s.window, "korvel-dialog-start.png"));

  // The About box, from the last entry of the system menu.
  const HMENU menu = GetSystemMenu(s.window, FALSE);
  const int last = GetMenuItemCount(menu) - 1;
  EXPECT_EQ(GetMenuItemID(menu, last), 16u);
  wchar_t entry[64] = {}, caption[64] = {};
  GetMenuStringW(menu, UINT(last), entry, 64, MF_BYPOSITION);
  EXPECT_EQ(std::wstring(entry), L"Korvel \uC815\uBCF4(&A)...");  // "Korvel 정보(&A)..."
  {
    ModalWatch watch(s.window, [&](HWND box) {
      GetWindowTextW(box, caption, 64);
      EXPECT_TRUE(SaveScreenshot(box, "korvel-about.png"));
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(s.window, WM_SYSCOMMAND, 16, 0);
  }
  EXPECT_EQ(std::wstring(caption), L"Korvel \uC815\uBCF4");

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
  int asked = 0;
  {
    // A text without camera rows is asked about first; Yes packs it.
    ModalWatch watch(s.window, [&](HWND box) {
      ++asked;
      PostMessageA(box, WM_COMMAND, IDYES, 0);
    });
    s.Click(IDC_GENERATE_FILE);
  }
  EXPECT_EQ(asked, 1);
  steps.push_back(s.Step());
  EXPECT_EQ(steps, (std::vector<std::string>{
                       "F--- Please open read file..", "F--- Cannot file FW file.. []",
                       "-V-- Please select voice file..", "--D- Please select DB text file..",
                       "---G    Press Start button..", "----    Success.."}));
  const std::string package = s.scratch.Path("program\\K93_F0102_V0034_D3456.bin");
  EXPECT_EQ(s.Text(IDC_OUTPUT_PATH), package);
  EXPECT_TRUE(SameBytes(ReadFileBytes(package), ExpectedPackage(fw, voice, kSampleDb)));
  EXPECT_TRUE(SameBytes(ReadFileBytes(s.scratch.Path("work\\TempDb.bin")), kSampleDb));
  EXPECT_TRUE(SaveScreenshot(s.window, "korvel-dialog-done.png"));

  // The disabled "Generate File" gave the focus to "Refresh": Enter
  // refreshes, Escape closes.
  ASSERT_EQ(GetFocus(), s.Item(IDOK));
  s.Key(VK_RETURN);
  EXPECT_EQ(s.Step(), "F--- Please open read file..");
  s.Key(VK_ESCAPE);
  EXPECT_FALSE(IsWindow(s.window));
  EXPECT_EQ(s.dlg.end_result(), IDCANCEL);
}

/// What a message box showed: its caption, its text and the button with the
/// focus, the one Return presses.
struct BoxSeen {
  std::string caption, text;
  int focused = 0;
};
/// Notes the box in `seen`, saves its screenshot and presses `key` in it.
std::function<void(HWND)> Answer(BoxSeen& seen, const std::string& screenshot, WPARAM key) {
  return [&seen, screenshot, key](HWND box) {
    seen.caption = WindowText(box);
    char text[4096] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // a message box's text
    seen.text = text;
    seen.focused = GetDlgCtrlID(GetFocus());
    EXPECT_TRUE(SaveScreenshot(box, screenshot));
    PostMessageA(GetFocus(), WM_KEYDOWN, key, 1);
    PostMessageA(GetFocus(), WM_KEYUP, key, 0xC0000001);
  };
}

TEST(MainDialog, GenerateAsksAboutAQuotedTextAndListsErrors) {
  Session s;
  const Bytes fw = Pattern(249856, 7);
  const Bytes voice = Pattern(1000, 8);
  std::filesystem::create_directories(s.scratch.Path("work"));
  std::filesystem::create_directories(s.scratch.Path("program"));
  const auto choose_all = [&](const std::string& text) {
    s.Choose(IDC_FW_FILE, "K93_FW_v0102.bin", fw);
    s.Choose(IDC_VOICE_FILE, "K93_Voice_v0034.bin", voice);
    s.Choose(IDC_DB_TEXT_FILE, "cams.txt", Bytes(text.begin(), text.end()));
  };
  const auto written = [&] {
    std::vector<std::string> names;
    for (const char* folder : {"work", "program", "in"}) {
      for (const auto& entry : std::filesystem::directory_iterator(s.scratch.Path(folder))) {
        names.push_back(entry.path().filename().string());
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  choose_all(QuotedText());
  const std::vector<std::string> inputs = written();

  // Return answers the question with its default, No: nothing is written.
  BoxSeen asked;
  {
    ModalWatch watch(s.window, Answer(asked, "korvel-check-question.png", VK_RETURN));
    s.Click(IDC_GENERATE_FILE);
  }
  EXPECT_EQ(asked.caption, "Tarvex binary generator v1.0");
  EXPECT_EQ(asked.focused, IDNO);
  EXPECT_TRUE(asked.text.starts_with("cams.txt: 72 warnings on 12 of its 12 camera rows.\n"))
      << asked.text;
  EXPECT_TRUE(
      asked.text.ends_with("12 of 12 cameras would be at 0,0.\n\nGenerate the package anyway?"))
      << asked.text;
  EXPECT_EQ(s.Step(), "---G    Press Start button..");
  EXPECT_EQ(written(), inputs);

  // Yes: the run as ever, every camera at 0,0.
  {
    ModalWatch watch(s.window, [&](HWND box) { PostMessageA(box, WM_COMMAND, IDYES, 0); });
    s.Click(IDC_GENERATE_FILE);
  }
  EXPECT_EQ(s.Step(), "----    Success..");
  EXPECT_TRUE(SameBytes(ReadFileBytes(s.scratch.Path("program\\K93_F0102_V0034_D3456.bin")),
                        ExpectedPackage(fw, voice, OriginDb(12))));
  EXPECT_EQ(GetFocus(), s.Item(IDOK));

  // Errors are listed over an OK button; the run then stops at the first.
  s.Click(IDOK);
  std::string errors = kHeaderOnlyText;
  for (int line = 3; line <= 14; ++line) errors += "1\t2\t3\t4\t5\r\n";
  choose_all(errors);
  BoxSeen listed;
  {
    ModalWatch watch(s.window, Answer(listed, "korvel-check-errors.png", VK_RETURN));
    s.Click(IDC_GENERATE_FILE);
  }
  EXPECT_EQ(listed.focused, IDOK);
  EXPECT_TRUE(listed.text.starts_with("cams.txt: 12 errors.\n")) << listed.text;
  EXPECT_NE(listed.text.find("\nline 12: 5 fields"), std::string::npos) << listed.text;
  EXPECT_EQ(s.Step(), "---G Error : Line 3");
  EXPECT_EQ(GetFocus(), s.Item(IDOK));
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
