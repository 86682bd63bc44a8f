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

#include "camdb/problem.h"
#include "format/db_reader.h"
#include "platform/file_system.h"

namespace korvel::cli {

/// Reads the file at `path` ("-": standard input) whole. False with the
/// failure, the system's fault, when it cannot be read or is over the
/// largest database.
bool ReadInput(const std::string& path, Bytes& bytes, Problem& failure);

/// What the map asks of an input beyond its cameras.
struct CameraDetails {
  /// Texts of more lines get no `lines`: finding them costs a sort.
  std::uint64_t lines_up_to = UINT64_MAX;
  /// For a camera text: each point's text line (0 for the sample rows).
  std::vector<std::uint32_t> lines;
  /// For a text generate stops on: the check's errors, "PATH:LINE: error: ...".
  std::vector<std::string> check_errors;
  /// Whether the input was a camera text generate stops on.
  bool text_faults = false;
};

/// Reads and decodes a database, a package or a camera text (as generate
/// would encode it) for export and diff. nullopt with the failure when it
/// gives no cameras: the system's fault when it cannot be read, else the
/// input's. Faults of a file that still decodes go to standard error as a
/// warning. For a camera text, `version_line` (when given) gets its whole
/// first line, of which the database keeps 11 characters, when it carries
/// more than those and no control character; else it is left empty.
std::optional<DecodedDb> ReadCameras(const std::string& path, Problem& failure,
                                     CameraDetails* details = nullptr,
                                     std::string* version_line = nullptr);

/// "generate stops on this camera text with \"STATUS\" ...": why a text gave no
/// database.
std::string TextFaultText(const std::string& path, const std::string& status);

/// Runs `write` on standard output when `path` is "-" or empty (whose
/// failures the command's end reports), else through a StagedFile for
/// `path`, holding its folder's lock. False with the failure when `write`
/// fails (the failure it set, else one that says so) or the file cannot be
/// written (the system's fault, with its reason).
bool WriteOutput(const std::string& path, const std::function<bool(std::ostream&)>& write,
                 Problem& failure);

}  // namespace korvel::cli
