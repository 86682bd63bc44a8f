#pragma once
// The Generate File command: copy the chosen text with the two sample rows,
// parse it, write TempDb.bin, then either the K93 package or the per-model
// database files.

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "camdb/checker.h"
#include "generate/generate_view.h"
#include "generate/run_state.h"
#include "platform/file_system.h"
#include "platform/text_file.h"

namespace korvel {

/// m_nGenerateMode value that selects the per-model files.
inline constexpr int kGeneratePerModel = 1;

enum class WriteDbResult {
  kOk,
  kCellTooLarge,  ///< a cell holds more than 65535 points; nothing written
  kWriteFailed,   ///< TempDb.bin could not be created or fully written
};

/// Sorts GPS_DB, encodes the whole file into DB_STREAM and writes it to
/// TEMP_DB_BIN, replacing it only once whole.
WriteDbResult WriteDbFile(RunState& state, FileSystem& fs, std::ostream* trace);

/// Runs the whole command. `generate_mode` is the dialog's m_nGenerateMode.
void GenerateFile(RunState& state, int generate_mode, FileSystem& fs, GenerateView& view,
                  std::ostream* trace);

/// What the command appends to its copy of the text: a line end, which
/// completes an unterminated last row, and the two sample rows.
bool AppendSampleRows(TextWriter& copy);

/// The database the command would write for the camera text `text`, made
/// in memory the same way: a copy with the sample rows appended, parsed in
/// K93 mode, sorted and encoded. nullopt where the command would stop, with
/// its status text ("Error : Line 3", " Cell over 65535 points..") in
/// `fault`. With `lines`, also each point's one-based text line in the
/// database's order (0 for the appended sample rows).
std::optional<Bytes> EncodeCameraText(std::span<const std::uint8_t> text, std::string& fault,
                                      std::vector<std::uint32_t>* lines = nullptr);

/// EncodeCameraText on a text it takes over: the copy is made in `text`
/// itself and freed once parsed, so a big text is not held twice. After a
/// fault of the parser `text` holds the text again.
std::optional<Bytes> EncodeCameraText(Bytes&& text, std::string& fault,
                                      std::vector<std::uint32_t>* lines = nullptr);

/// The checker's limits as the command sets them: the rows it appends and the
/// room the database has in a package (none for the per-model files, which
/// take a database of any size).
CheckLimits GenerateLimits(bool per_model = false);

}  // namespace korvel
