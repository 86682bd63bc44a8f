// The system's open-file chooser as the file buttons show it: the filter
// list, the default extension added to a bare name, and cancel.

#include <gtest/gtest.h>

#include <string>

#include "app/win32/file_chooser.h"
#include "wine_test_support.h"

namespace korvel::win32 {
namespace {

using testing::ActivationWatch;
using testing::ScratchFolder;

std::string WithNuls(const char* text, std::size_t size) {
  return std::string(text, size);
}

TEST(ChooserFilter, BarsBecomeNulsAndTheListEndsWithTwo) {
  struct Case {
    const char* filter;
    std::string want;
  };
#define KORVEL_NUL_TEXT(s) WithNuls(s, sizeof(s) - 1)
  const Case cases[] = {
      {"Binary file(*.bin)|*.bin|", KORVEL_NUL_TEXT("Binary file(*.bin)\0*.bin\0\0")},
      {"Text file(*.txt)|*.txt|", KORVEL_NUL_TEXT("Text file(*.txt)\0*.txt\0\0")},
      {"A|*.a|B|*.b|", KORVEL_NUL_TEXT("A\0*.a\0B\0*.b\0\0")},
      {"A|*.a", KORVEL_NUL_TEXT("A\0*.a\0\0")},
      {"", KORVEL_NUL_TEXT("\0\0")},
  };
#undef KORVEL_NUL_TEXT
  for (const Case& c : cases) EXPECT_EQ(ChooserFilter(c.filter), c.want) << c.filter;
}

/// An owner window for the chooser.
class Owner {
 public:
  Owner()
      : window_(CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr)) {}
  ~Owner() { DestroyWindow(window_); }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_;
};

// The explorer-style chooser's items: file type list and file name box.
constexpr int kFileTypeList = 0x470;  // cmb1
constexpr int kFileNameBox = 0x47C;   // cmb13
constexpr int kFileNameEdit = 0x480;  // edt1, in older choosers

TEST(SystemFileChooser, OffersTheFilterAddsTheDefaultExtensionAndCancels) {
  ScratchFolder scratch;
  const std::string fw = scratch.Write("in\\K93_FW_v0102.bin", Bytes(16, 1));
  const std::string text = scratch.Write("data\\cams.txt", Bytes(4, 'a'));
  struct Case {
    OpenFileRequest request;
    std::string typed;  // empty: cancel
    std::string want_types;
    std::optional<ChosenFile> want;
  };
  const Case cases[] = {
      {{"bin", "Binary file(*.bin)|*.bin|"},
       scratch.Path("in\\K93_FW_v0102"),
       "Binary file(*.bin)",
       ChosenFile{fw, "K93_FW_v0102.bin"}},
      {{"txt", "Text file(*.txt)|*.txt|"}, text, "Text file(*.txt)", ChosenFile{text, "cams.txt"}},
      {{"bin", "Binary file(*.bin)|*.bin|"}, "", "Binary file(*.bin)", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.empty() ? "cancel" : c.typed);
    Owner owner;
    std::vector<std::string> types;
    int choosers = 0;
    std::optional<ChosenFile> chosen;
    {
      ActivationWatch watch([&](HWND chooser) {
        ++choosers;
        const HWND list = GetDlgItem(chooser, kFileTypeList);
        const auto count = SendMessageA(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
          char item[128] = {};
          SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
          types.push_back(item);
        }
        if (c.typed.empty()) {
          PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
          return;
        }
        HWND name = GetDlgItem(chooser, kFileNameBox);
        if (name == nullptr) name = GetDlgItem(chooser, kFileNameEdit);
        SetWindowTextA(name, c.typed.c_str());
        PostMessageA(chooser, WM_COMMAND, IDOK, 0);
      });
      SystemFileChooser system;
      chosen = system.Choose(owner.get(), c.request);
    }
    EXPECT_EQ(choosers, 1);
    EXPECT_EQ(types, std::vector<std::string>{c.want_types});
    ASSERT_EQ(chosen.has_value(), c.want.has_value());
    if (chosen) {
      EXPECT_EQ(chosen->path, c.want->path);
      EXPECT_EQ(chosen->name, c.want->name);
    }
  }
}

}  // namespace
}  // namespace korvel::win32
