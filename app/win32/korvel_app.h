#pragma once
// The application object: registers the common controls and runs the main
// dialog modally; the program ends when the dialog closes.

#include "app/win32/file_chooser.h"
#include "app/win32/framework.h"
#include "generate/run_state.h"
#include "platform/real_file_system.h"

namespace korvel::win32 {

/// The framework's settings key text. The program saves no settings, so no
/// key is ever made; the text is kept in the system code page (CP949):
/// "로컬 응용 프로그램 마법사에서 생성된 응용 프로그램".
inline constexpr char kRegistryKey[] =
    "\xB7\xCE\xC4\xC3 \xC0\xC0\xBF\xEB \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5 "
    "\xB8\xB6\xB9\xFD\xBB\xE7\xBF\xA1\xBC\xAD \xBB\xFD\xBC\xBA\xB5\xC8 "
    "\xC0\xC0\xBF\xEB \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5";

/// The common control classes registered at start: the Windows 95 set.
inline constexpr DWORD kCommonControlClasses = 0xFF;

class CKorvelApp : public CWinApp {
 public:
  /// Runs the main dialog to its end; returns FALSE, so the program exits.
  BOOL InitInstance() override;

 private:
  /// Everything one run keeps between button presses, for the program's life.
  RunState state_;
  RealFileSystem file_system_;
  SystemFileChooser chooser_;
};

}  // namespace korvel::win32
