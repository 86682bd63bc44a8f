#pragma once
// Helpers for driving real windows from a test: the thread's messages, window
// texts, answering a modal window from inside its own loop, a scratch folder,
// a scripted file chooser and screenshots through the Wine runner.

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>

#include "app/win32/file_chooser.h"
#include "app/win32/win32_api.h"
#include "platform/bytes.h"

namespace korvel::win32::testing {

/// Runs every message waiting for this thread; keys for `dialog` go through
/// IsDialogMessage as in a dialog's own loop.
inline void PumpMessages(HWND dialog) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (IsWindow(dialog) && IsDialogMessageA(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

inline std::string WindowText(HWND window) {
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
    current() = this;
    timer_ = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, &ModalWatch::Tick);
  }
  ~ModalWatch() {
    KillTimer(nullptr, timer_);
    current() = nullptr;
  }
  ModalWatch(const ModalWatch&) = delete;
  ModalWatch& operator=(const ModalWatch&) = delete;

 private:
  static ModalWatch*& current() {
    static ModalWatch* watch = nullptr;
    return watch;
  }
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalWatch* watch = current();
    const HWND active = GetActiveWindow();
    if (watch == nullptr || watch->done_ || GetWindow(active, GW_OWNER) != watch->owner_ ||
        !IsWindowVisible(active)) {
      return;
    }
    watch->done_ = true;
    watch->action_(active);
  }

  HWND owner_;
  std::function<void(HWND)> action_;
  UINT_PTR timer_;
  bool done_ = false;
};

/// A folder of its own under %TEMP%, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    static int serial = 0;
    root_ =
        std::filesystem::temp_directory_path() /
        ("korvel-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  /// Full path of `relative` inside the folder, backslash-separated.
  std::string Path(const std::string& relative = {}) const {
    return (root_ / relative).make_preferred().string();
  }
  /// Writes `bytes` to `relative`, making its folders; returns the full path.
  std::string Write(const std::string& relative, const Bytes& bytes) const {
    const std::filesystem::path path = Path(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path.string();
  }

 private:
  std::filesystem::path root_;
};

inline Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// A chooser that answers with the files queued, then as if cancelled.
class ScriptedChooser : public FileChooser {
 public:
  std::optional<ChosenFile> Choose(HWND, const OpenFileRequest&) override {
    if (paths.empty()) return std::nullopt;
    const std::string path = paths.front();
    paths.pop_front();
    return ChosenFile{path, path.substr(path.find_last_of('\\') + 1)};
  }
  std::deque<std::string> paths;
};

/// Has the runner save the screen as `name` in the build folder. True when
/// it was saved, or when the test runs without the runner (no
/// KORVEL_SCREENSHOTS in the environment).
inline bool SaveScreenshot(HWND window, const std::string& name) {
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

}  // namespace korvel::win32::testing
