#pragma once
// Helpers for driving real windows from a test: running the thread's
// messages, reading windows back, answering modal windows (message boxes,
// the About box, the file chooser) as they open, files in a scratch folder,
// and screenshots through the Wine runner.

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/win32/file_chooser.h"
#include "app/win32/win32_api.h"
#include "platform/bytes.h"

namespace korvel::win32::testing {

/// Runs every message waiting for this thread; keys for `dialog` go through
/// IsDialogMessage as in a dialog's own loop.
void PumpMessages(HWND dialog = nullptr);

std::string ClassName(HWND window);
std::string WindowText(HWND window);
std::wstring WindowTextW(HWND window);

/// The direct children of `window` in creation (tab) order.
std::vector<HWND> Children(HWND window);

/// While it lives, every owned window this thread activates (message boxes,
/// the About box, choosers) is handed to `action` once, from the window's
/// own modal loop once it is made and shown. `action` reads the window and
/// posts what closes it.
class ActivationWatch {
 public:
  explicit ActivationWatch(std::function<void(HWND)> action);
  ~ActivationWatch();
  ActivationWatch(const ActivationWatch&) = delete;
  ActivationWatch& operator=(const ActivationWatch&) = delete;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK Relay(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void HandOverShown();

  std::function<void(HWND)> action_;
  std::vector<HWND> seen_;
  std::vector<HWND> waiting_;
  HWND relay_;
  HHOOK hook_;
};

/// What a modal window showed before it was answered.
struct SeenWindow {
  std::wstring caption;
  /// {id, class, text} of each child, in order.
  struct Child {
    int id;
    std::string class_name;
    std::wstring text;
  };
  std::vector<Child> children;
};

/// Reads `window` and its children.
SeenWindow Read(HWND window);

/// Clicks the button `id` of `window` once its modal loop runs.
void PostClick(HWND window, int id);

/// A folder of its own under %TEMP%, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  /// Full path of `relative` inside the folder, backslash-separated.
  std::string Path(const std::string& relative = {}) const;
  /// Writes `bytes` to `relative`, making its folders; returns the full path.
  std::string Write(const std::string& relative, const Bytes& bytes) const;
  void MakeFolder(const std::string& relative) const;

 private:
  std::filesystem::path root_;
};

Bytes ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

/// A chooser that answers from a script and records what it was asked.
class ScriptedChooser : public FileChooser {
 public:
  std::optional<ChosenFile> Choose(HWND owner, const OpenFileRequest& request) override;
  /// The next answer: the file at `path` (its name is the last part).
  void Pick(const std::string& path);
  /// The next answer: the operator cancels.
  void Cancel() { answers.push_back(std::nullopt); }

  std::deque<std::optional<ChosenFile>> answers;
  std::vector<OpenFileRequest> requests;
  std::vector<HWND> owners;
};

/// Has the runner save the screen as `name` in the build folder. True when
/// it was saved, or when the test runs without the runner (no
/// KORVEL_SCREENSHOTS in the environment); false when saving failed.
bool SaveScreenshot(HWND window, const std::string& name);

}  // namespace korvel::win32::testing
