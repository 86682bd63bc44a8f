// The main dialog as Windows really makes it: its template read back from the
// live windows, the window side of the start state (caption, icons, fonts,
// system menu, About box), the file buttons with a scripted chooser, a whole
// operator run on disk, the file-error box, and the keys.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "app/win32/korvel_window.h"
#include "platform/real_file_system.h"
#include "support/byte_diff.h"
#include "wine_test_support.h"

namespace korvel::win32 {
namespace {

using korvel::testing::SameBytes;
using testing::ActivationWatch;
using testing::Children;
using testing::ClassName;
using testing::PumpMessages;
using testing::Read;
using testing::ScratchFolder;
using testing::ScriptedChooser;
using testing::SeenWindow;
using testing::WindowText;

constexpr char kBlank[] = "            ";
constexpr int kK93FirmwareLength = 249856;

// The inputs and the device database of the logic tests' whole run on disk
// (tests/dialog_test.cpp), so the package must come out the same here.
constexpr char kHeaderOnlyText[] = "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\r\n";
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
constexpr char kPackageName[] = "K93_F0102_V0034_D3456.bin";

Bytes Pattern(std::size_t size, unsigned seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
  return bytes;
}

Bytes AsBytes(const char* text) {
  return Bytes(text, text + std::char_traits<char>::length(text));
}

/// `text` in the system code page.
std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
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

/// A dialog template as Windows builds it, with no code of ours behind it.
class RawDialog {
 public:
  explicit RawDialog(int id)
      : window_(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr,
                                   &RawDialog::Proc, 0)) {}
  ~RawDialog() { DestroyWindow(window_); }
  RawDialog(const RawDialog&) = delete;
  RawDialog& operator=(const RawDialog&) = delete;
  HWND get() const { return window_; }

 private:
  static INT_PTR CALLBACK Proc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
  }
  HWND window_;
};

/// A control of a template: what Windows must have made of it.
struct TemplateControl {
  int id;
  const char* class_name;
  DWORD type;  // BS_* or SS_* kind
  const wchar_t* text;
  int x, y, w, h;
  bool tabstop;
  DWORD extra_style;  // e.g. SS_NOPREFIX
};

// Dialog 102, in tab order.
const std::vector<TemplateControl> kMainControls = {
    {IDOK, "Button", BS_DEFPUSHBUTTON, L"Refresh", 368, 86, 50, 14, true, 0},
    {IDCANCEL, "Button", BS_PUSHBUTTON, L"Exit", 427, 86, 50, 14, true, 0},
    {IDC_OUTPUT_PATH, "Static", SS_LEFT, L"Static", 112, 63, 357, 8, false, 0},
    {IDC_GENERATE_FILE, "Button", BS_PUSHBUTTON, L"Generate File", 13, 54, 92, 24, true, 0},
    {IDC_STATUS, "Static", SS_LEFT, L"Static", 13, 33, 149, 19, false, 0},
    {IDC_FW_NAME, "Static", SS_LEFT, L"Static", 62, 14, 81, 8, false, 0},
    {-1, "Button", BS_GROUPBOX, L"", 108, 52, 368, 26, false, 0},
    {IDC_FW_FILE, "Button", BS_PUSHBUTTON, L"FW File", 7, 10, 50, 16, true, 0},
    {-1, "Button", BS_GROUPBOX, L"", 57, 7, 91, 20, false, 0},
    {IDC_VOICE_NAME, "Static", SS_LEFT, L"Static", 215, 15, 85, 8, false, 0},
    {IDC_VOICE_FILE, "Button", BS_PUSHBUTTON, L"Voice File", 159, 10, 50, 16, true, 0},
    {-1, "Button", BS_GROUPBOX, L"", 210, 7, 92, 20, false, 0},
    {IDC_DB_NAME, "Static", SS_LEFT, L"Static", 369, 14, 106, 8, false, 0},
    {IDC_DB_TEXT_FILE, "Button", BS_PUSHBUTTON, L"DB text File", 313, 10, 50, 16, true, 0},
    {-1, "Button", BS_GROUPBOX, L"", 364, 7, 119, 20, false, 0},
};

// Dialog 100: "Korvel, 버전 1.0" and "확인".
const std::vector<TemplateControl> kAboutControls = {
    {-1, "Static", SS_LEFT, L"Korvel, \uBC84\uC804 1.0", 42, 14, 114, 8, false, SS_NOPREFIX},
    {IDOK, "Button", BS_DEFPUSHBUTTON, L"\uD655\uC778", 113, 41, 50, 14, true, 0},
};
constexpr wchar_t kAboutCaption[] = L"Korvel \uC815\uBCF4";
constexpr wchar_t kAboutEntry[] = L"Korvel \uC815\uBCF4(&A)...";

/// A control's rectangle in pixels of `dialog`'s client area from its place
/// and size in dialog units, each converted on its own as the dialog manager
/// does.
RECT Pixels(HWND dialog, int x, int y, int w, int h) {
  RECT units{x, y, w, h};
  MapDialogRect(dialog, &units);
  return {units.left, units.top, units.left + units.right, units.top + units.bottom};
}

RECT ClientRectOf(HWND child) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

void ExpectControls(HWND dialog, const std::vector<TemplateControl>& expected) {
  const std::vector<HWND> children = Children(dialog);
  ASSERT_EQ(children.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const TemplateControl& c = expected[i];
    const HWND child = children[i];
    SCOPED_TRACE("control " + std::to_string(i) + " (id " + std::to_string(c.id) + ")");
    EXPECT_EQ(GetDlgCtrlID(child), c.id);
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, ClassName(child).c_str(), -1,
                             c.class_name, -1),
              CSTR_EQUAL)
        << ClassName(child);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
    const DWORD type_mask = std::string(c.class_name) == "Button" ? BS_TYPEMASK : SS_TYPEMASK;
    EXPECT_EQ(style & type_mask, c.type);
    EXPECT_EQ((style & WS_TABSTOP) != 0, c.tabstop);
    EXPECT_EQ(style & SS_NOPREFIX, c.extra_style);
    EXPECT_TRUE(IsWindowEnabled(child));
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_TRUE(testing::WindowTextW(child) == c.text);
    const RECT want = Pixels(dialog, c.x, c.y, c.w, c.h);
    EXPECT_EQ(Describe(ClientRectOf(child)), Describe(want));
  }
}

LOGFONTA FontOf(HWND window) {
  LOGFONTA font{};
  const auto handle = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
  EXPECT_NE(handle, nullptr);
  GetObjectA(handle, sizeof(font), &font);
  return font;
}

int DialogFontHeight() {
  HDC screen = GetDC(nullptr);
  const int height = -MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return height;
}

TEST(Template, MainDialogControlsAsWindowsMakesThem) {
  RawDialog dialog(IDD_KORVEL_DIALOG);
  ASSERT_NE(dialog.get(), nullptr);
  ExpectControls(dialog.get(), kMainControls);
}

TEST(Template, AboutBoxControlsAsWindowsMakesThem) {
  ASSERT_EQ(GetACP(), 949u) << "run under a Korean locale (LC_ALL=ko_KR.UTF-8)";
  RawDialog dialog(IDD_ABOUTBOX);
  ASSERT_NE(dialog.get(), nullptr);
  ExpectControls(dialog.get(), kAboutControls);
  EXPECT_TRUE(testing::WindowTextW(dialog.get()) == kAboutCaption);
}

TEST(Template, FramesSizesAndFonts) {
  struct Case {
    int id;
    const char* caption;  // nullptr: checked elsewhere (Korean)
    int width, height;
    bool visible;
    bool app_window;
  };
  const Case cases[] = {
      {IDD_KORVEL_DIALOG, "Korvel", 490, 107, true, true},
      {IDD_ABOUTBOX, nullptr, 170, 62, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("dialog " + std::to_string(c.id));
    RawDialog dialog(c.id);
    ASSERT_NE(dialog.get(), nullptr);
    if (c.caption != nullptr) {
      EXPECT_EQ(WindowText(dialog.get()), c.caption);
    }
    const DWORD style = static_cast<DWORD>(GetWindowLongA(dialog.get(), GWL_STYLE));
    const DWORD required = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    EXPECT_EQ(style & required, required);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD), 0u);
    EXPECT_EQ((style & WS_VISIBLE) != 0, c.visible);
    const DWORD ex_style = static_cast<DWORD>(GetWindowLongA(dialog.get(), GWL_EXSTYLE));
    EXPECT_EQ((ex_style & WS_EX_APPWINDOW) != 0, c.app_window);

    RECT client{};
    GetClientRect(dialog.get(), &client);
    EXPECT_EQ(Describe(client), Describe(Pixels(dialog.get(), 0, 0, c.width, c.height)));
    const LOGFONTA font = FontOf(dialog.get());
    EXPECT_STREQ(font.lfFaceName, "MS Shell Dlg");
    EXPECT_EQ(font.lfHeight, DialogFontHeight());
  }
}

/// One open main dialog over a scratch disk, as the program makes it, with
/// the chooser scripted.
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
  /// Presses an enabled button the way a mouse click does.
  void Click(int id) {
    ASSERT_TRUE(IsWindowEnabled(Item(id))) << id;
    SendMessageA(Item(id), BM_CLICK, 0, 0);
    PumpMessages(window);
  }
  /// A key pressed where the focus is, through the dialog's key handling.
  void Key(WPARAM key) {
    PostMessageA(GetFocus(), WM_KEYDOWN, key, 1);
    PostMessageA(GetFocus(), WM_KEYUP, key, 0xC0000001);
    PumpMessages(window);
  }
  std::string Pick(const std::string& relative, const Bytes& bytes) {
    const std::string path = scratch.Write(relative, bytes);
    chooser.Pick(path);
    return path;
  }
  bool Open() const { return IsWindow(window) != FALSE; }
  bool SaveShot(const std::string& name) const { return testing::SaveScreenshot(window, name); }

  ScratchFolder scratch;
  RunState state;
  RealFileSystem fs{scratch.Path("work"), scratch.Path("program\\Korvel.exe")};
  ScriptedChooser chooser;
  CKorvelDlgWnd dlg{state, fs, chooser, nullptr};
  HWND window = nullptr;
};

TEST(MainDialog, StartState) {
  Session s;
  ASSERT_TRUE(s.Open());
  EXPECT_EQ(WindowText(s.window), "Tarvex binary generator v1.0");
  EXPECT_EQ(s.Buttons(), "F---");
  EXPECT_TRUE(IsWindowEnabled(s.Item(IDOK)));
  EXPECT_TRUE(IsWindowEnabled(s.Item(IDCANCEL)));
  for (int id : {IDC_FW_NAME, IDC_VOICE_NAME, IDC_DB_NAME, IDC_OUTPUT_PATH}) {
    EXPECT_EQ(s.Text(id), kBlank) << id;
  }
  EXPECT_EQ(s.Text(IDC_STATUS), "Please open read file..");
  EXPECT_EQ(GetFocus(), s.Item(IDOK));
  EXPECT_TRUE(s.SaveShot("korvel-dialog-start.png"));
}

TEST(MainDialog, StatusLineAloneHasTheStatusFont) {
  Session s;
  const LOGFONTA f = FontOf(s.Item(IDC_STATUS));
  const int fields[] = {static_cast<int>(f.lfHeight),
                        static_cast<int>(f.lfWidth),
                        static_cast<int>(f.lfEscapement),
                        static_cast<int>(f.lfOrientation),
                        static_cast<int>(f.lfWeight),
                        f.lfItalic,
                        f.lfUnderline,
                        f.lfStrikeOut,
                        f.lfCharSet,
                        f.lfOutPrecision,
                        f.lfClipPrecision,
                        f.lfQuality,
                        f.lfPitchAndFamily};
  EXPECT_EQ(std::vector<int>(std::begin(fields), std::end(fields)),
            (std::vector<int>{16, 8, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_STREQ(f.lfFaceName, "arial");

  const LRESULT dialog_font = SendMessageA(s.window, WM_GETFONT, 0, 0);
  for (HWND child : Children(s.window)) {
    if (child == s.Item(IDC_STATUS)) continue;
    EXPECT_EQ(SendMessageA(child, WM_GETFONT, 0, 0), dialog_font) << GetDlgCtrlID(child);
  }
}

TEST(MainDialog, LayoutMatchesTheTemplate) {
  Session s;
  // Our initialisation moves no control.
  const std::vector<HWND> children = Children(s.window);
  ASSERT_EQ(children.size(), kMainControls.size());
  for (std::size_t i = 0; i < children.size(); ++i) {
    const TemplateControl& c = kMainControls[i];
    EXPECT_EQ(GetDlgCtrlID(children[i]), c.id);
    EXPECT_EQ(Describe(ClientRectOf(children[i])), Describe(Pixels(s.window, c.x, c.y, c.w, c.h)))
        << c.id;
  }
}

TEST(MainDialog, IconsAreTheProgramIcon) {
  Session s;
  const LRESULT big = SendMessageA(s.window, WM_GETICON, ICON_BIG, 0);
  const LRESULT small = SendMessageA(s.window, WM_GETICON, ICON_SMALL, 0);
  ASSERT_NE(big, 0);
  EXPECT_EQ(small, big);
  EXPECT_EQ(SendMessageA(s.window, WM_QUERYDRAGICON, 0, 0), big);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(big), &info));
  BITMAP mask{};
  GetObjectA(info.hbmMask, sizeof(mask), &mask);
  EXPECT_EQ(mask.bmWidth, GetSystemMetrics(SM_CXICON));
  DeleteObject(info.hbmMask);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
}

TEST(MainDialog, AboutEntryBelowASeparatorInTheSystemMenu) {
  ASSERT_EQ(GetACP(), 949u) << "run under a Korean locale (LC_ALL=ko_KR.UTF-8)";
  Session s;
  const HMENU menu = GetSystemMenu(s.window, FALSE);
  ASSERT_NE(menu, nullptr);
  const int count = GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
  wchar_t text[64] = {};
  GetMenuStringW(menu, static_cast<UINT>(count - 1), text, 64, MF_BYPOSITION);
  EXPECT_TRUE(std::wstring(text) == kAboutEntry);
  MENUITEMINFOA separator{};
  separator.cbSize = sizeof(separator);
  separator.fMask = MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(count - 2), TRUE, &separator));
  EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
}

TEST(MainDialog, SystemCommandsOpenTheAboutBoxOnlyForItsEntry) {
  ASSERT_EQ(GetACP(), 949u) << "run under a Korean locale (LC_ALL=ko_KR.UTF-8)";
  struct Case {
    WPARAM command;
    bool opens;
  };
  // The low four bits of a system command are the system's own.
  const Case cases[] = {{0x10, true}, {0x1F, true}, {0x20, false}, {0x00, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("command " + std::to_string(c.command));
    Session s;
    std::vector<SeenWindow> seen;
    std::vector<HWND> boxes;
    {
      ActivationWatch watch([&](HWND box) {
        seen.push_back(Read(box));
        boxes.push_back(box);
        if (c.command == IDM_ABOUTBOX) {
          EXPECT_TRUE(testing::SaveScreenshot(box, "korvel-about.png"));
        }
        // "확인" closes it.
        PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
      });
      SendMessageA(s.window, WM_SYSCOMMAND, c.command, 0);
    }
    ASSERT_EQ(seen.size(), c.opens ? 1u : 0u);
    EXPECT_TRUE(s.Open());
    if (!c.opens) continue;
    EXPECT_FALSE(IsWindow(boxes[0]));
    EXPECT_TRUE(seen[0].caption == kAboutCaption);
    ASSERT_EQ(seen[0].children.size(), 2u);
    EXPECT_TRUE(seen[0].children[0].text == kAboutControls[0].text);
    EXPECT_EQ(seen[0].children[1].id, IDOK);
    EXPECT_TRUE(seen[0].children[1].text == kAboutControls[1].text);
  }
}

TEST(FileButtons, FirmwareAcceptedOrRejected) {
  struct Case {
    const char* name;
    int length;
    const char* status;
    const char* shown_name;  // nullptr: the file's name
    const char* buttons;
    int k93_mode;
    const char* tag;
  };
  const char* voice = "Please select voice file..";
  const char* signature = "Please select signature file..";
  const char* rejected = "Cannot file FW file..";
  const Case cases[] = {
      {"K93_FW_v0102.bin", kK93FirmwareLength, voice, nullptr, "-V--", 1, "0102"},
      {"K93_FW_v0102.bin", kK93FirmwareLength - 1, signature, nullptr, "----", 0, ""},
      {"K93_FW_v0102.bin", kK93FirmwareLength + 1, signature, nullptr, "----", 0, ""},
      {"FW_v0102.bin", kK93FirmwareLength, signature, nullptr, "----", 0, ""},
      {"K93_firmware.bin", kK93FirmwareLength, rejected, "", "F---", 1, ""},
      {"k93_FW_v0102.bin", kK93FirmwareLength, rejected, "", "F---", 0, ""},
      {"K93_FW_v0102.BIN", kK93FirmwareLength, rejected, "", "F---", 1, ""},
      {"K93_FW_v01023.bin", kK93FirmwareLength, rejected, "", "F---", 1, ""},
      {"K93_FW_v012.bin", kK93FirmwareLength, rejected, "", "F---", 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " of " + std::to_string(c.length) + " bytes");
    Session s;
    s.Pick(std::string("in\\") + c.name, Pattern(static_cast<std::size_t>(c.length), 1));
    s.Click(IDC_FW_FILE);
    ASSERT_EQ(s.chooser.requests.size(), 1u);
    EXPECT_EQ(s.chooser.requests[0].default_ext, "bin");
    EXPECT_EQ(s.chooser.requests[0].filter, "Binary file(*.bin)|*.bin|");
    EXPECT_EQ(s.chooser.owners[0], s.window);
    EXPECT_EQ(s.Text(IDC_STATUS), c.status);
    EXPECT_EQ(s.Text(IDC_FW_NAME), c.shown_name ? c.shown_name : c.name);
    EXPECT_EQ(s.Buttons(), c.buttons);
    EXPECT_EQ(s.state.K93_MODE, c.k93_mode);
    EXPECT_EQ(TagText(s.state.FW_VERSION_TAG), c.tag);
  }
}

TEST(FileButtons, VoiceAcceptedOrRejected) {
  struct Case {
    const char* name;
    const char* status;
    const char* shown_name;
    const char* buttons;
    const char* tag;
  };
  const char* rejected = "Cannot file Voice file..";
  const Case cases[] = {
      {"K93_Voice_v0034.bin", "Please select DB text file..", "K93_Voice_v0034.bin", "--D-",
       "0034"},
      {"Voice_v0034.bin", rejected, "", "-V--", ""},
      {"K93_Voice_v034.bin", rejected, "", "-V--", ""},
      {"K93_voice_v0034.bin", rejected, "", "-V--", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session s;
    s.Pick("in\\K93_FW_v0102.bin", Pattern(kK93FirmwareLength, 1));
    s.Click(IDC_FW_FILE);
    s.Pick(std::string("in\\") + c.name, Pattern(100, 2));
    s.Click(IDC_VOICE_FILE);
    ASSERT_EQ(s.chooser.requests.size(), 2u);
    EXPECT_EQ(s.chooser.requests[1].default_ext, "bin");
    EXPECT_EQ(s.chooser.requests[1].filter, "Binary file(*.bin)|*.bin|");
    EXPECT_EQ(s.Text(IDC_STATUS), c.status);
    EXPECT_EQ(s.Text(IDC_VOICE_NAME), c.shown_name);
    EXPECT_EQ(s.Buttons(), c.buttons);
    EXPECT_EQ(TagText(s.state.VOICE_VERSION_TAG), c.tag);
  }
}

TEST(FileButtons, DbTextTakesFolderWithBackslashAndLineCount) {
  struct Case {
    const char* relative;
    const char* text;
    std::uint32_t lines;
  };
  const Case cases[] = {
      {"data\\cams.txt", "a\r\nb\r\nc\r\n", 3},
      {"data\\cams.txt", "a\r\nb\r\nc", 3},
      {"data\\deeper\\empty.txt", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.relative);
    Session s;
    s.Pick("in\\K93_FW_v0102.bin", Pattern(kK93FirmwareLength, 1));
    s.Click(IDC_FW_FILE);
    s.Pick("in\\K93_Voice_v0034.bin", Pattern(100, 2));
    s.Click(IDC_VOICE_FILE);
    const std::string path = s.Pick(c.relative, AsBytes(c.text));
    s.Click(IDC_DB_TEXT_FILE);
    ASSERT_EQ(s.chooser.requests.size(), 3u);
    EXPECT_EQ(s.chooser.requests[2].default_ext, "txt");
    EXPECT_EQ(s.chooser.requests[2].filter, "Text file(*.txt)|*.txt|");
    EXPECT_EQ(s.Text(IDC_STATUS), "   Press Start button..");
    EXPECT_EQ(s.Text(IDC_DB_NAME), path.substr(path.rfind('\\') + 1));
    EXPECT_EQ(s.Buttons(), "---G");
    EXPECT_EQ(s.state.DB_TEXT_FOLDER, path.substr(0, path.rfind('\\') + 1));
    EXPECT_EQ(s.state.DB_LINE_COUNT, c.lines);
  }
}

TEST(FileButtons, CancelOrVanishedFileChangesNothingShown) {
  struct Case {
    const char* what;
    bool cancel;
  };
  for (const Case& c : {Case{"cancelled", true}, Case{"vanished", false}}) {
    SCOPED_TRACE(c.what);
    Session s;
    const std::string missing = s.scratch.Path("in\\K93_FW_v0102.bin");
    if (c.cancel) {
      s.chooser.Cancel();
    } else {
      s.chooser.Pick(missing);
    }
    s.Click(IDC_FW_FILE);
    EXPECT_EQ(s.Text(IDC_STATUS), "Please open read file..");
    EXPECT_EQ(s.Text(IDC_FW_NAME), kBlank);
    EXPECT_EQ(s.Buttons(), "F---");
    EXPECT_EQ(s.state.FW_PATH, c.cancel ? "" : missing);
  }
}

TEST(OperatorRun, WholeRunWritesThePackageThenRefreshStartsOver) {
  Session s;
  const Bytes fw = Pattern(kK93FirmwareLength, 7);
  const Bytes voice = Pattern(4194304, 8);  // fills its room exactly
  s.scratch.MakeFolder("work");
  s.scratch.MakeFolder("program");
  std::vector<std::string> buttons;
  s.Pick("in\\K93_FW_v0102.bin", fw);
  s.Click(IDC_FW_FILE);
  buttons.push_back(s.Buttons());
  s.Pick("in\\K93_Voice_v0034.bin", voice);
  s.Click(IDC_VOICE_FILE);
  buttons.push_back(s.Buttons());
  const std::string text_path = s.Pick("in\\cams.txt", AsBytes(kHeaderOnlyText));
  s.Click(IDC_DB_TEXT_FILE);
  buttons.push_back(s.Buttons());
  s.Click(IDC_GENERATE_FILE);
  buttons.push_back(s.Buttons());

  const std::string package = s.scratch.Path(std::string("program\\") + kPackageName);
  EXPECT_EQ(buttons, (std::vector<std::string>{"-V--", "--D-", "---G", "----"}));
  EXPECT_EQ(s.Text(IDC_STATUS), "   Success..");
  EXPECT_EQ(s.Text(IDC_FW_NAME), "K93_FW_v0102.bin");
  EXPECT_EQ(s.Text(IDC_VOICE_NAME), "K93_Voice_v0034.bin");
  EXPECT_EQ(s.Text(IDC_DB_NAME), "cams.txt");
  EXPECT_EQ(s.Text(IDC_OUTPUT_PATH), package);
  EXPECT_TRUE(SameBytes(testing::ReadFileBytes(package), ExpectedPackage(fw, voice, kSampleDb)));
  EXPECT_TRUE(SameBytes(testing::ReadFileBytes(s.scratch.Path("work\\TempDb.bin")), kSampleDb));
  EXPECT_FALSE(testing::FileExists(s.scratch.Path("in\\TempDbFile.txt")));
  EXPECT_EQ(testing::ReadFileBytes(text_path), AsBytes(kHeaderOnlyText));
  EXPECT_TRUE(s.SaveShot("korvel-dialog-done.png"));

  s.Click(IDOK);
  EXPECT_TRUE(s.Open());
  EXPECT_EQ(s.Buttons(), "F---");
  EXPECT_EQ(s.Text(IDC_STATUS), "Please open read file..");
  for (int id : {IDC_FW_NAME, IDC_VOICE_NAME, IDC_DB_NAME, IDC_OUTPUT_PATH}) {
    EXPECT_EQ(s.Text(id), kBlank) << id;
  }
  EXPECT_EQ(s.state.TEMP_DB_TEXT, "TempDbFile.txt");
  EXPECT_EQ(s.state.K93_MODE, 1);
}

TEST(OperatorRun, PackageNotCreatableShowsTheSystemsErrorInAMessageBox) {
  Session s;
  s.scratch.MakeFolder("work");
  // A folder where the package is first written: the system refuses it.
  s.scratch.MakeFolder(std::string("program\\") + kPackageName + ".part");
  s.Pick("in\\K93_FW_v0102.bin", Pattern(kK93FirmwareLength, 7));
  s.Click(IDC_FW_FILE);
  s.Pick("in\\K93_Voice_v0034.bin", Pattern(100, 8));
  s.Click(IDC_VOICE_FILE);
  s.Pick("in\\cams.txt", AsBytes(kHeaderOnlyText));
  s.Click(IDC_DB_TEXT_FILE);

  std::vector<SeenWindow> boxes;
  {
    ActivationWatch watch([&](HWND box) {
      boxes.push_back(Read(box));
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    s.Click(IDC_GENERATE_FILE);
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].caption == L"Korvel");
  const std::string package = s.scratch.Path(std::string("program\\") + kPackageName);
  char description[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 ERROR_ACCESS_DENIED, 0, description, sizeof(description), nullptr);
  std::string want = package + "\n" + description;
  while (!want.empty() && (want.back() == '\n' || want.back() == '\r')) want.pop_back();
  std::string shown;
  int buttons = 0;
  for (const auto& child : boxes[0].children) {
    if (child.class_name == "Static" && !child.text.empty()) shown = Narrow(child.text);
    if (child.class_name == "Button") ++buttons;
  }
  EXPECT_EQ(shown, want);
  EXPECT_EQ(buttons, 1);
  EXPECT_EQ(s.Text(IDC_STATUS), "   Fail2..");
  EXPECT_EQ(s.Buttons(), "---G");
  EXPECT_FALSE(testing::FileExists(package));
}

TEST(Keys, EnterRefreshesEscapeAndCloseBoxExit) {
  enum class Action { kEnter, kEscape, kCloseBox, kExitButton, kRefreshButton };
  struct Case {
    const char* what;
    Action action;
    bool closes;
  };
  const Case cases[] = {
      {"Enter", Action::kEnter, false},           {"Escape", Action::kEscape, true},
      {"close box", Action::kCloseBox, true},     {"Exit", Action::kExitButton, true},
      {"Refresh", Action::kRefreshButton, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Session s;
    // Leave the start state without moving the focus from "Refresh".
    s.Pick("in\\K93_FW_v0102.bin", Pattern(kK93FirmwareLength, 1));
    SendMessageA(s.window, WM_COMMAND, MAKEWPARAM(IDC_FW_FILE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(s.Item(IDC_FW_FILE)));
    ASSERT_EQ(s.Buttons(), "-V--");
    ASSERT_EQ(GetFocus(), s.Item(IDOK));

    switch (c.action) {
      case Action::kEnter:
        s.Key(VK_RETURN);
        break;
      case Action::kEscape:
        s.Key(VK_ESCAPE);
        break;
      case Action::kCloseBox:
        SendMessageA(s.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        PumpMessages(s.window);
        break;
      case Action::kExitButton:
        s.Click(IDCANCEL);
        break;
      case Action::kRefreshButton:
        s.Click(IDOK);
        break;
    }
    EXPECT_EQ(s.Open(), !c.closes);
    if (c.closes) {
      EXPECT_EQ(s.dlg.end_result(), IDCANCEL);
    } else {
      EXPECT_FALSE(s.dlg.end_result().has_value());
      EXPECT_EQ(s.Buttons(), "F---");
      EXPECT_EQ(s.Text(IDC_STATUS), "Please open read file..");
      EXPECT_EQ(s.Text(IDC_FW_NAME), kBlank);
    }
  }
}

}  // namespace
}  // namespace korvel::win32
