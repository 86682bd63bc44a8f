// Korvel.exe as shipped: one file with no runtime DLLs beside it, a GUI
// program, its resources in Korean with the manifest, the version record and
// the six-image icon; started, it shows the dialog and ends when closed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/resource.h"
#include "app/win32/korvel_app.h"
#include "wine_test_support.h"

namespace korvel::win32 {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WindowText;

/// Korvel.exe, which the build puts beside this test.
std::string KorvelExe() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  folder.resize(folder.rfind('\\') + 1);
  return folder + "Korvel.exe";
}

template <typename T>
T At(const Bytes& file, std::size_t offset) {
  T value{};
  if (offset + sizeof(T) <= file.size()) std::memcpy(&value, file.data() + offset, sizeof(T));
  return value;
}

/// The headers and imports of a 64-bit PE file, read from its bytes.
struct PeFile {
  explicit PeFile(const Bytes& file) {
    const auto dos = At<IMAGE_DOS_HEADER>(file, 0);
    const auto nt = At<IMAGE_NT_HEADERS64>(file, static_cast<std::size_t>(dos.e_lfanew));
    valid = dos.e_magic == IMAGE_DOS_SIGNATURE && nt.Signature == IMAGE_NT_SIGNATURE &&
            nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    if (!valid) return;
    subsystem = nt.OptionalHeader.Subsystem;
    const std::size_t sections = static_cast<std::size_t>(dos.e_lfanew) + 4 +
                                 sizeof(IMAGE_FILE_HEADER) + nt.FileHeader.SizeOfOptionalHeader;
    auto offset_of = [&](DWORD rva) -> std::size_t {
      for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
        const auto section =
            At<IMAGE_SECTION_HEADER>(file, sections + i * sizeof(IMAGE_SECTION_HEADER));
        if (rva >= section.VirtualAddress &&
            rva < section.VirtualAddress + section.Misc.VirtualSize) {
          return rva - section.VirtualAddress + section.PointerToRawData;
        }
      }
      return file.size();
    };
    const IMAGE_DATA_DIRECTORY imports =
        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (std::size_t at = offset_of(imports.VirtualAddress);;
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
      const auto entry = At<IMAGE_IMPORT_DESCRIPTOR>(file, at);
      if (entry.Name == 0) break;
      const std::size_t name = offset_of(entry.Name);
      if (name >= file.size()) break;
      std::string dll(reinterpret_cast<const char*>(file.data() + name));
      std::transform(dll.begin(), dll.end(), dll.begin(),
                     [](char c) { return static_cast<char>(std::tolower(c)); });
      dlls.push_back(dll);
    }
  }

  bool valid = false;
  WORD subsystem = 0;
  std::vector<std::string> dlls;
};

TEST(KorvelExe, OneGuiFileThatNeedsOnlySystemDlls) {
  const PeFile pe(ReadFileBytes(KorvelExe()));
  ASSERT_TRUE(pe.valid);
  EXPECT_EQ(pe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll",   "comctl32.dll",
                                        "comdlg32.dll", "msvcrt.dll", "advapi32.dll"};
  EXPECT_FALSE(pe.dlls.empty());
  for (const std::string& dll : pe.dlls) EXPECT_TRUE(system.count(dll)) << dll;
}

/// Korvel.exe's resources, without running it.
class ExeResources {
 public:
  ExeResources()
      : module_(LoadLibraryExA(KorvelExe().c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~ExeResources() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  ExeResources(const ExeResources&) = delete;
  ExeResources& operator=(const ExeResources&) = delete;

  HMODULE get() const { return module_; }
  /// The bytes of resource (type, id) in Korean; empty when there is none.
  Bytes Korean(LPCSTR type, int id) const {
    const HRSRC info = FindResourceExA(module_, type, MAKEINTRESOURCEA(id),
                                       MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN));
    if (info == nullptr) return {};
    const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(module_, info)));
    return Bytes(data, data + SizeofResource(module_, info));
  }

 private:
  HMODULE module_;
};

TEST(KorvelExe, ResourcesAreKorean) {
  ExeResources exe;
  ASSERT_NE(exe.get(), nullptr);
  struct Case {
    LPCSTR type;
    int id;
  };
  const Case cases[] = {
      {RT_DIALOG, IDD_ABOUTBOX},
      {RT_DIALOG, IDD_KORVEL_DIALOG},
      {RT_STRING, IDS_ABOUTBOX / 16 + 1},  // the block holding string 101
      {RT_GROUP_ICON, IDR_MAINFRAME},
      {RT_MANIFEST, 1},
      {RT_VERSION, 1},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(exe.Korean(c.type, c.id).empty())
        << "type " << reinterpret_cast<std::uintptr_t>(c.type) << " id " << c.id;
  }
}

TEST(KorvelExe, ManifestAsksForAdministratorAndDeclaresDpiAwareness) {
  ExeResources exe;
  const Bytes manifest = exe.Korean(RT_MANIFEST, 1);
  const std::string text(manifest.begin(), manifest.end());
  EXPECT_NE(text.find("<requestedExecutionLevel level=\"requireAdministrator\""), std::string::npos)
      << text;
  EXPECT_NE(text.find(">true</dpiAware>"), std::string::npos) << text;
}

TEST(KorvelExe, IconHasSixImagesThatLoad) {
  ExeResources exe;
  const Bytes group = exe.Korean(RT_GROUP_ICON, IDR_MAINFRAME);
  ASSERT_GE(group.size(), 6u);
  EXPECT_EQ(At<WORD>(group, 2), 1);  // icons, not cursors
  const WORD count = At<WORD>(group, 4);
  ASSERT_EQ(count, 6);
  ASSERT_EQ(group.size(), 6u + 14u * count);

  std::multiset<std::pair<int, int>> images;  // size, bits per pixel
  for (WORD i = 0; i < count; ++i) {
    const std::size_t entry = 6 + 14u * i;
    const int size = group[entry];
    const int bits = At<WORD>(group, entry + 6);
    images.insert({size, bits});
    const Bytes image = exe.Korean(RT_ICON, At<WORD>(group, entry + 12));
    ASSERT_FALSE(image.empty()) << size << "/" << bits;
    const HICON icon =
        CreateIconFromResourceEx(const_cast<BYTE*>(image.data()), static_cast<DWORD>(image.size()),
                                 TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
    EXPECT_NE(icon, nullptr) << size << "/" << bits;
    if (icon != nullptr) DestroyIcon(icon);
  }
  EXPECT_EQ(images, (std::multiset<std::pair<int, int>>{
                        {16, 4}, {32, 4}, {48, 4}, {16, 32}, {32, 32}, {48, 32}}));
}

TEST(KorvelExe, VersionRecord) {
  const std::string exe = KorvelExe();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0412);
  EXPECT_EQ(translation[1], 949);

  const std::pair<const char*, const char*> strings[] = {
      {"InternalName", "Korvel.exe"},
      {"OriginalFilename", "Korvel.exe"},
      {"FileVersion", "1.0.0.1"},
      {"ProductVersion", "1.0.0.1"},
  };
  for (const auto& [key, want] : strings) {
    char* value = nullptr;
    const std::string query = std::string("\\StringFileInfo\\041203b5\\") + key;
    ASSERT_TRUE(
        VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
        << key;
    EXPECT_STREQ(value, want) << key;
  }
}

/// A started Korvel.exe; killed if a test leaves it running.
class KorvelProcess {
 public:
  explicit KorvelProcess(const std::string& folder) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    std::string command = "\"" + KorvelExe() + "\"";
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              folder.c_str(), &startup, &process_) != FALSE;
  }
  ~KorvelProcess() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 99);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  KorvelProcess(const KorvelProcess&) = delete;
  KorvelProcess& operator=(const KorvelProcess&) = delete;

  bool started() const { return started_; }
  /// The visible top-level window of the process with `caption`, once the
  /// program waits for input; null when there is none.
  HWND Window(const std::string& caption) {
    // The bound only keeps a broken program from hanging the test.
    if (WaitForInputIdle(process_.hProcess, 60000) != 0) return nullptr;
    struct Search {
      DWORD pid;
      std::string caption;
      HWND found;
    } search{process_.dwProcessId, caption, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          DWORD pid = 0;
          GetWindowThreadProcessId(window, &pid);
          if (pid == s->pid && IsWindowVisible(window) && WindowText(window) == s->caption) {
            s->found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  /// The exit code once the program ended; nullopt if it does not end.
  std::optional<DWORD> ExitCode() {
    if (WaitForSingleObject(process_.hProcess, 60000) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

TEST(KorvelExe, StartsWithTheDialogAndEndsWhenItCloses) {
  enum class Close { kCloseBox, kEscape, kExitButton };
  struct Case {
    const char* what;
    Close how;
  };
  const Case cases[] = {
      {"close box", Close::kCloseBox},
      {"Escape", Close::kEscape},
      {"Exit", Close::kExitButton},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder scratch;
    KorvelProcess korvel(scratch.Path());
    ASSERT_TRUE(korvel.started());
    const HWND dialog = korvel.Window("Tarvex binary generator v1.0");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(testing::ClassName(dialog), "#32770");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_STATUS)), "Please open read file..");
    switch (c.how) {
      case Close::kCloseBox:
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
      case Close::kEscape:
        // To the focused "Refresh"; the dialog's own loop turns it into IDCANCEL.
        PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 1);
        break;
      case Close::kExitButton:
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
        break;
    }
    EXPECT_EQ(korvel.ExitCode(), 0u);
  }
  // It keeps no settings of its own.
  HKEY key = nullptr;
  const std::string path = std::string("Software\\") + kRegistryKey;
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  if (key != nullptr) RegCloseKey(key);
}

}  // namespace
}  // namespace korvel::win32
