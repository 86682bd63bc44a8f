#pragma once
// The main dialog's logic, free of any toolkit: the handlers of its buttons,
// the button states and the status texts. It keeps what the dialog shows in
// one DialogView; front ends create the window, draw that view through
// DialogWindow and forward the button clicks here.

#include <iosfwd>
#include <string>

#include "app/dialog/dialog_window.h"
#include "generate/pipeline.h"
#include "generate/run_state.h"
#include "platform/file_system.h"

namespace korvel {

inline constexpr char kDialogCaption[] = "Tarvex binary generator v1.0";
/// Blank display fields hold twelve spaces, not an empty text.
inline constexpr char kBlankText[] = "            ";

/// Status texts of the dialog, shown exactly as they stand.
namespace dlg_status {
inline constexpr char kOpenReadFile[] = "Please open read file..";
inline constexpr char kSelectVoice[] = "Please select voice file..";
inline constexpr char kSelectSignature[] = "Please select signature file..";
inline constexpr char kFwRejected[] = "Cannot file FW file..";
inline constexpr char kSelectDbText[] = "Please select DB text file..";
inline constexpr char kVoiceRejected[] = "Cannot file Voice file..";
inline constexpr char kPressStart[] = "   Press Start button..";
}  // namespace dlg_status

/// CheckInputFileName kinds.
inline constexpr int kFirmwareFile = 0;
inline constexpr int kVoiceFile = 1;

/// True when `text` matches `pattern`: "*" any run (also none), "?" any one
/// character, everything else itself, byte for byte.
bool WildcardMatch(const char* pattern, const char* text);

class CKorvelDlg : private GenerateView {
 public:
  /// `trace`, when given, receives the parser's and encoder's trace lines.
  CKorvelDlg(RunState& state, DialogWindow& window, FileSystem& fs, std::ostream* trace);

  /// The start state: buttons, blank fields, status prompt. The window side
  /// (menu, icons, caption, status font) is the front end's.
  bool OnInitDialog();
  void OnBnClickedRefresh();
  void OnBnClickedExit();
  void OnBnClickedFwFile();
  void OnBnClickedVoiceFile();
  void OnBnClickedDbTextFile();
  void OnBnClickedGenerateFile();

  /// `kind` is kFirmwareFile or kVoiceFile; `fileName` the bare name.
  bool CheckInputFileName(int kind, std::string fileName);

  /// What the dialog shows now.
  const DialogView& view() const { return view_; }

  /// 1 selects the per-model database files, anything else the K93 package.
  int m_nGenerateMode = 0;
  /// Whether "Generate File" checks the text and shows its problems before
  /// it writes anything. korvel-cli checks and reports on its own, and would
  /// only read the text once more for a box nobody sees.
  bool m_bReviewText = true;

 private:
  /// The image buttons' shared part: chooser, path, lookup and name check.
  /// True when the image was accepted; its name is shown and its button
  /// disabled.
  bool AcceptImage(int kind, std::string& path, std::string& name_field, bool& button,
                   const char* rejected);
  /// Runs a handler's body so that no exception reaches the window's message
  /// loop (what went wrong goes to the status line instead), then draws.
  template <typename Body>
  void Guarded(Body&& body) noexcept;
  /// The start state of the view: "FW File" alone enabled, blank fields.
  void ShowStart();
  /// The check before Generate writes anything; false when the operator
  /// chose not to go on.
  bool ReviewBeforeGenerate();

  // GenerateView
  void SetStatus(const std::string& text) override;
  void SetOutputPath(const std::string& path) override;
  void DisableGenerate() override;
  void ShowFileError(const FileError& error) override;
  void ShowLockError(const FileError& error) override;

  RunState& state_;
  DialogWindow& window_;
  FileSystem& fs_;
  std::ostream* trace_;
  DialogView view_;
};

}  // namespace korvel
