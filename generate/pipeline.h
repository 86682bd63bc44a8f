#pragma once
// The Generate File command: copy the chosen text with the two sample rows,
// parse it, write TempDb.bin, then either the K93 package or the per-model
// database files.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "camdb/parser.h"
#include "generate/run_state.h"
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

/// The two rows appended to every copy, so every database carries them.
inline constexpr char kSampleRow1[] = "126.950100\t37.389400\t5\t80\t0\t247\n";
inline constexpr char kSampleRow2[] = "126.980700\t37.416300\t1\t70\t1\t15\n";

/// m_nGenerateMode value that selects the per-model files.
inline constexpr int kGeneratePerModel = 1;

/// Runs the whole command. `generate_mode` is the dialog's m_nGenerateMode.
void GenerateFile(RunState& state, int generate_mode, FileSystem& fs, GenerateView& view,
                  std::ostream* trace);

}  // namespace korvel
