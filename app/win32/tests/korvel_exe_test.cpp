// Korvel.exe as shipped: a GUI program that needs only system DLLs, and that
// shows the dialog when started and ends when it is closed.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include "app/win32/win32_api.h"

namespace korvel::win32 {
namespace {

TEST(KorvelExe, GuiProgramOfSystemDllsThatShowsTheDialogAndEndsWhenClosed) {
  // Korvel.exe, which the build puts beside this test.
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string exe(self);
  exe = exe.substr(0, exe.rfind('\\') + 1) + "Korvel.exe";

  // Mapped as an image without being run: the import table at its addresses.
  const std::unique_ptr<HINSTANCE__, decltype(&FreeLibrary)> image(
      LoadLibraryExA(exe.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES), &FreeLibrary);
  ASSERT_NE(image, nullptr);
  const auto* base = reinterpret_cast<const char*>(image.get());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll",   "comctl32.dll",
                                        "comdlg32.dll", "msvcrt.dll", "advapi32.dll"};
  const DWORD imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  int count = 0;
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports);
       entry->Name != 0; ++entry, ++count) {
    std::string dll = base + entry->Name;
    std::transform(dll.begin(), dll.end(), dll.begin(), [](char c) { return char(tolower(c)); });
    EXPECT_TRUE(system.contains(dll)) << dll;
  }
  EXPECT_GT(count, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  std::string command = "\"" + exe + "\"";
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  // Ended and released however the test leaves it.
  const std::unique_ptr<PROCESS_INFORMATION, void (*)(PROCESS_INFORMATION*)> guard(
      &process, [](PROCESS_INFORMATION* p) {
        TerminateProcess(p->hProcess, 99);  // fails harmlessly once it ended
        CloseHandle(p->hThread);
        CloseHandle(p->hProcess);
      });
  // The bounds only keep a broken program from hanging the test.
  ASSERT_EQ(WaitForInputIdle(process.hProcess, 60000), 0u);
  const HWND dialog = FindWindowA("#32770", "Tarvex binary generator v1.0");
  ASSERT_NE(dialog, nullptr);
  DWORD pid = 0;
  GetWindowThreadProcessId(dialog, &pid);
  EXPECT_EQ(pid, process.dwProcessId);
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace korvel::win32
