#pragma once
// The main dialog on Windows: template 102 with its system menu entry, icons,
// caption and status font, the four bound buttons, and the message map that
// hands every click to the dialog's logic (CKorvelDlg). The About box too.

#include <iosfwd>
#include <optional>
#include <string>

#include "app/dialog/dialog_window.h"
#include "app/dialog/korvel_dlg.h"
#include "app/dialog/resource.h"
#include "app/win32/file_chooser.h"
#include "app/win32/framework.h"
#include "app/win32/handles.h"
#include "generate/run_state.h"
#include "platform/file_system.h"

namespace korvel::win32 {

/// Name of the program in its message boxes.
inline constexpr char kAppName[] = "Korvel";

/// The About box, template 100; "OK" closes it.
class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(HWND parent) : CDialog(IDD_ABOUTBOX, parent) {}
};

/// What the file-error message box says: the file, then the system's own
/// description of the error (taken when the call failed, else looked up now).
std::string FileErrorText(const FileError& error);

/// The main dialog, template 102: the window side of CKorvelDlg, which it
/// serves as its DialogWindow.
class CKorvelDlgWnd : public CDialog, private DialogWindow {
 public:
  /// `chooser` answers the three file buttons; `trace` takes the trace lines.
  CKorvelDlgWnd(RunState& state, FileSystem& fs, FileChooser& chooser, std::ostream* trace,
                HWND parent = nullptr);
  ~CKorvelDlgWnd() override;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange() override;
  MessageMap GetMessageMap() const override;

  void OnSysCommand(UINT command, LPARAM lparam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnBnClickedFwFile() { logic_.OnBnClickedFwFile(); }
  void OnBnClickedVoiceFile() { logic_.OnBnClickedVoiceFile(); }
  void OnBnClickedDbTextFile() { logic_.OnBnClickedDbTextFile(); }
  void OnBnClickedGenerateFile() { logic_.OnBnClickedGenerateFile(); }
  void OnBnClickedRefresh() { logic_.OnBnClickedRefresh(); }
  void OnBnClickedExit() { logic_.OnBnClickedExit(); }

 private:
  // DialogWindow
  void Draw(const DialogView& view) override;
  void Focus(int id) override;
  std::optional<ChosenFile> ChooseFile(const OpenFileRequest& request) override;
  void ShowFileError(const FileError& error) override;
  bool ShowMessage(const DialogMessage& message) override;
  void Close(int result) override;

  FileChooser& chooser_;
  CKorvelDlg logic_;
  UniqueIcon m_hIcon;
  UniqueFont status_font_;
  CButton m_btnFwFile;
  CButton m_btnVoiceFile;
  CButton m_btnDbTextFile;
  CButton m_btnGenerateFile;
  /// What the controls show, once drawn: only what changes is set again.
  std::optional<DialogView> drawn_;
};

}  // namespace korvel::win32
