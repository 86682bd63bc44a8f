#include "wine_test_support.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>

namespace korvel::win32::testing {

void PumpMessages(HWND dialog) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (dialog != nullptr && IsWindow(dialog) && IsDialogMessageA(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

std::string ClassName(HWND window) {
  std::array<char, 256> name{};
  const int length = GetClassNameA(window, name.data(), static_cast<int>(name.size()));
  return std::string(name.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::string WindowText(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring WindowTextW(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::vector<HWND> Children(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

namespace {
ActivationWatch* current_watch = nullptr;
constexpr UINT kHandOver = WM_APP + 1;
constexpr char kRelayClass[] = "KorvelTestRelay";
}  // namespace

ActivationWatch::ActivationWatch(std::function<void(HWND)> action) : action_(std::move(action)) {
  static const bool registered = [] {
    WNDCLASSA relay{};
    relay.lpfnWndProc = &ActivationWatch::Relay;
    relay.hInstance = GetModuleHandleA(nullptr);
    relay.lpszClassName = kRelayClass;
    return RegisterClassA(&relay) != 0;
  }();
  relay_ = registered ? CreateWindowExA(0, kRelayClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        GetModuleHandleA(nullptr), nullptr)
                      : nullptr;
  hook_ = SetWindowsHookExA(WH_CBT, &ActivationWatch::Hook, nullptr, GetCurrentThreadId());
  if (relay_ == nullptr || hook_ == nullptr) throw std::runtime_error("cannot watch windows");
  current_watch = this;
}

ActivationWatch::~ActivationWatch() {
  current_watch = nullptr;
  UnhookWindowsHookEx(hook_);
  DestroyWindow(relay_);
}

LRESULT CALLBACK ActivationWatch::Hook(int code, WPARAM wparam, LPARAM lparam) {
  ActivationWatch* watch = current_watch;
  if (watch != nullptr && code == HCBT_ACTIVATE) {
    const HWND window = reinterpret_cast<HWND>(wparam);
    bool seen = false;
    for (HWND w : watch->seen_) seen = seen || w == window;
    // Only windows that open over another: never the dialog under test.
    if (!seen && GetWindow(window, GW_OWNER) != nullptr) {
      watch->seen_.push_back(window);
      // Activation can come before the window has all its controls, and a
      // modal loop shows its window only once it runs out of messages.
      watch->waiting_.push_back(window);
      PostMessageA(watch->relay_, kHandOver, 0, 0);
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void ActivationWatch::HandOverShown() {
  KillTimer(relay_, 1);
  std::vector<HWND> shown;
  std::erase_if(waiting_, [&](HWND window) {
    if (!IsWindow(window)) return true;
    if (!IsWindowVisible(window)) return false;
    shown.push_back(window);
    return true;
  });
  // Still hidden: look again once the modal loop had its idle moment.
  if (!waiting_.empty()) SetTimer(relay_, 1, USER_TIMER_MINIMUM, nullptr);
  for (HWND window : shown) action_(window);
}

LRESULT CALLBACK ActivationWatch::Relay(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if ((message == kHandOver || message == WM_TIMER) && current_watch != nullptr) {
    current_watch->HandOverShown();
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

SeenWindow Read(HWND window) {
  SeenWindow seen;
  seen.caption = WindowTextW(window);
  for (HWND child : Children(window)) {
    seen.children.push_back({GetDlgCtrlID(child), ClassName(child), WindowTextW(child)});
  }
  return seen;
}

void PostClick(HWND window, int id) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

ScratchFolder::ScratchFolder() {
  static int serial = 0;
  root_ = std::filesystem::temp_directory_path() /
          ("korvel-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial));
  std::filesystem::remove_all(root_);
  std::filesystem::create_directories(root_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string ScratchFolder::Path(const std::string& relative) const {
  std::filesystem::path path = root_;
  if (!relative.empty()) path /= relative;
  return path.make_preferred().string();
}

std::string ScratchFolder::Write(const std::string& relative, const Bytes& bytes) const {
  const std::string path = Path(relative);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

void ScratchFolder::MakeFolder(const std::string& relative) const {
  std::filesystem::create_directories(Path(relative));
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<ChosenFile> ScriptedChooser::Choose(HWND owner, const OpenFileRequest& request) {
  owners.push_back(owner);
  requests.push_back(request);
  if (answers.empty()) return std::nullopt;
  std::optional<ChosenFile> answer = answers.front();
  answers.pop_front();
  return answer;
}

void ScriptedChooser::Pick(const std::string& path) {
  answers.push_back(ChosenFile{path, path.substr(path.find_last_of('\\') + 1)});
}

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
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  return answer == "ok";
}

}  // namespace korvel::win32::testing
