// Input and output shared by inspect, export, diff and unpack: whole camera
// files read with a bound, and output files that appear whole or not at all.

#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "format/db_reader.h"
#include "platform/file_system.h"

namespace korvel::cli {

/// Standard input, in binary mode, as a file that is read from its start;
/// its error_code() is the failed read's errno.
std::unique_ptr<BinaryFile> StandardInputFile();

/// Reads the file at `path` ("-": standard input) whole. On failure returns
/// false with "PATH: REASON" in `problem`.
bool ReadInput(const std::string& path, Bytes& bytes, std::string& problem);

/// Reads and decodes a database or package for export and diff. nullopt with
/// `problem` set when it cannot be read or holds no readable camera tables;
/// faults of a file that still decodes go to standard error as a warning.
std::optional<DecodedDb> ReadCameras(const std::string& path, std::string& problem);

/// Runs `write` on standard output when `path` is "-" or empty (whose
/// failures the command's end reports), else through a StagedFile for
/// `path`, holding its folder's lock. False with `problem` set when `write`
/// fails or the file cannot be written, with the system's reason.
bool WriteOutput(const std::string& path, const std::function<bool(std::ostream&)>& write,
                 std::string& problem);

}  // namespace korvel::cli
