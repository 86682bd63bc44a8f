#pragma once
// What the dialog's logic needs of a window: item texts, enabled states, the
// open-file chooser, the file-error message box and closing. The Win32 and
// wxWidgets front ends implement it; tests use a recording fake.

#include <optional>
#include <string>

#include "platform/file_system.h"

namespace korvel {

/// Arguments of an open-file chooser.
struct OpenFileRequest {
  std::string default_ext;  ///< "bin", "txt"
  std::string filter;       ///< "Binary file(*.bin)|*.bin|"
};

/// A file the operator picked.
struct ChosenFile {
  std::string path;  ///< full path
  std::string name;  ///< bare name with extension
};

class DialogWindow {
 public:
  virtual ~DialogWindow() = default;
  /// Shows `text` in control `id` at once.
  virtual void SetItemText(int id, const std::string& text) = 0;
  virtual void EnableItem(int id, bool enable) = 0;
  /// Runs the modal open-file chooser; nullopt when the operator cancelled.
  virtual std::optional<ChosenFile> ChooseFile(const OpenFileRequest& request) = 0;
  /// The modal message box for a failed file open, with an OK button.
  virtual void ShowFileError(const FileError& error) = 0;
  /// Why a folder could not be locked. The dialog's status line names the
  /// failure and a message box would add nothing, so by default nothing;
  /// the command line adds a line with the folder and the system's reason.
  virtual void ShowLockError(const FileError&) {}
  /// Ends the modal dialog with `result` (IDOK, IDCANCEL).
  virtual void Close(int result) = 0;
};

}  // namespace korvel
