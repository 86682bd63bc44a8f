// The commands' input and output files: whole camera files read with a
// bound, and output files that appear whole or not at all.

#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/db_reader.h"
#include "platform/file_system.h"

namespace korvel::cli {

/// Reads the file at `path` ("-": standard input) whole. On failure returns
/// false with "PATH: REASON" in `problem`.
bool ReadInput(const std::string& path, Bytes& bytes, std::string& problem);

/// Why an input gave no cameras.
enum class InputFault {
  kUnreadable,  ///< it could not be read: exit status 2
  kNoCameras,   ///< it holds no camera tables: 1 (map: 2)
  kTextFaults,  ///< it is a camera text generate stops on: 1
};

/// What the map asks of an input beyond its cameras.
struct CameraDetails {
  /// Texts of more lines get no `lines`: finding them costs a sort.
  std::uint64_t lines_up_to = UINT64_MAX;
  /// For a camera text: each point's text line (0 for the sample rows).
  std::vector<std::uint32_t> lines;
  /// For a text generate stops on: the check's errors, "PATH:LINE: error: ...".
  std::vector<std::string> check_errors;
};

/// Reads and decodes a database, a package or a camera text (as generate
/// would encode it) for export and diff. nullopt with "PATH: REASON" in
/// `problem` and why in `fault` when it gives no cameras; faults of a file
/// that still decodes go to standard error as a warning.
std::optional<DecodedDb> ReadCameras(const std::string& path, std::string& problem,
                                     InputFault& fault, CameraDetails* details = nullptr);

/// "generate stops on this camera text with \"STATUS\" ...": why a text gave no
/// database.
std::string TextFaultText(const std::string& path, const std::string& status);

/// Runs `write` on standard output when `path` is "-" or empty (whose
/// failures the command's end reports), else through a StagedFile for
/// `path`, holding its folder's lock. False with `problem` set when `write`
/// fails or the file cannot be written, with the system's reason.
bool WriteOutput(const std::string& path, const std::function<bool(std::ostream&)>& write,
                 std::string& problem);

}  // namespace korvel::cli
