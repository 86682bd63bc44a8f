#pragma once
// What the Generate File command shows the operator, and the texts it shows.

#include <string>

#include "camdb/parser.h"
#include "platform/file_system.h"

namespace korvel {

/// What the command shows the operator.
class GenerateView : public StatusLine {
 public:
  virtual void SetOutputPath(const std::string& path) = 0;
  /// Disables "Generate File" after a package was written.
  virtual void DisableGenerate() = 0;
  /// The message box for a package that cannot be created.
  virtual void ShowFileError(const FileError& error) = 0;
  /// Why a folder could not be locked, after " Folder lock Fail.." is
  /// shown; the status line says enough in the dialog, so by default nothing.
  virtual void ShowLockError(const FileError&) {}
};

/// Status texts of the command, shown exactly as they stand.
namespace gen_status {
inline constexpr char kSuccess[] = "   Success..";
inline constexpr char kFileOpenFail[] = " File open Fail..";
inline constexpr char kFail1[] = "   Fail1..";
inline constexpr char kFail2[] = "   Fail2..";
inline constexpr char kCellTooLarge[] = " Cell over 65535 points..";
inline constexpr char kTempDbWriteFail[] = " TempDb.bin write Fail..";
inline constexpr char kTempDbReadFail[] = " TempDb.bin read Fail..";
inline constexpr char kFwTooLarge[] = " FW file too large..";
inline constexpr char kVoiceTooLarge[] = " Voice file too large..";
inline constexpr char kDbTooLarge[] = " DB file too large..";
inline constexpr char kFwReadFail[] = " FW file read Fail..";
inline constexpr char kVoiceReadFail[] = " Voice file read Fail..";
inline constexpr char kPackageWriteFail[] = " Package write Fail..";
inline constexpr char kModelWriteFail[] = " Model file write Fail..";
/// Another run holds a folder this one writes; shown once while it waits.
inline constexpr char kWaitingForLock[] = " Waiting for another run..";
/// A folder this run writes cannot be locked against other runs.
inline constexpr char kLockFail[] = " Folder lock Fail..";
}  // namespace gen_status

}  // namespace korvel
