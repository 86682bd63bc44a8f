#pragma once
// The main dialog's interface: what the dialog's logic (CKorvelDlg) shows,
// kept in one plain struct, and what it asks of a window: drawing that
// struct, the focus, the open-file chooser, message boxes and closing. The
// Win32 dialog and the command line's console implement it; tests use a
// recording fake.

#include <optional>
#include <string>

#include "platform/file_system.h"

namespace korvel {

/// Everything the main dialog shows that changes: CKorvelDlg changes it, the
/// front end draws it whole. "Refresh" and "Exit" are always enabled.
struct DialogView {
  std::string status;       ///< IDC_STATUS
  std::string fw_name;      ///< IDC_FW_NAME
  std::string voice_name;   ///< IDC_VOICE_NAME
  std::string db_name;      ///< IDC_DB_NAME
  std::string output_path;  ///< IDC_OUTPUT_PATH
  // The four file buttons; controls start enabled, as in the template.
  bool fw_file = true;
  bool voice_file = true;
  bool db_text_file = true;
  bool generate_file = true;

  bool operator==(const DialogView&) const = default;
};

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

/// A modal message box over the dialog, in the system's own look.
struct DialogMessage {
  enum class Kind {
    kQuestion,  ///< warning icon, Yes and No, No the default
    kErrors,    ///< error icon, OK
  };
  Kind kind = Kind::kErrors;
  std::string caption;
  std::string text;
};

class DialogWindow {
 public:
  virtual ~DialogWindow() = default;
  /// Shows `view` at once, the status line included, even in the middle of
  /// a long handler.
  virtual void Draw(const DialogView& view) = 0;
  /// Moves the keyboard focus to control `id`.
  virtual void Focus(int id) = 0;
  /// Runs the modal open-file chooser; nullopt when the operator cancelled.
  virtual std::optional<ChosenFile> ChooseFile(const OpenFileRequest& request) = 0;
  /// The modal message box for a failed file open, with an OK button.
  virtual void ShowFileError(const FileError& error) = 0;
  /// Why a folder could not be locked. The dialog's status line names the
  /// failure and a message box would add nothing, so by default nothing;
  /// the command line adds a line with the folder and the system's reason.
  virtual void ShowLockError(const FileError&) {}
  /// Shows `message` modally; true when the operator answered Yes (or OK).
  virtual bool ShowMessage(const DialogMessage& message) = 0;
  /// Ends the modal dialog with `result` (IDOK, IDCANCEL).
  virtual void Close(int result) = 0;
};

}  // namespace korvel
