#pragma once
// The open-file chooser behind DialogWindow::ChooseFile. The program uses the
// system's; the dialog tests hand the main dialog a scripted one instead.

#include <optional>
#include <string>
#include <string_view>

#include "app/dialog/dialog_window.h"
#include "app/win32/win32_api.h"

namespace korvel::win32 {

class FileChooser {
 public:
  virtual ~FileChooser() = default;
  /// Runs the chooser modally over `owner`; nullopt when the operator
  /// cancelled or the chooser failed.
  virtual std::optional<ChosenFile> Choose(HWND owner, const OpenFileRequest& request) = 0;
};

/// The system's open-file chooser (GetOpenFileNameA, explorer style): no
/// initial name, read-only box hidden, the request's default extension and
/// filter, a path of at most MAX_PATH - 1 characters. It leaves the working
/// folder where it was.
class SystemFileChooser : public FileChooser {
 public:
  std::optional<ChosenFile> Choose(HWND owner, const OpenFileRequest& request) override;
};

/// A filter of "description|pattern|" pairs in the form the chooser reads:
/// every '|' becomes a NUL and the list ends with two NULs.
std::string ChooserFilter(std::string_view filter);

}  // namespace korvel::win32
