#pragma once
// Standard input as the commands read it: "-" for an input file.

#include <memory>

#include "platform/file_system.h"

namespace korvel::cli {

/// Standard input, in binary mode, as a file that is read from its start;
/// its error_code() is the failed read's errno.
std::unique_ptr<BinaryFile> StandardInputFile();

}  // namespace korvel::cli
