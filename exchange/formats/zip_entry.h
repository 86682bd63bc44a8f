#pragma once
// One file inside a zip archive (a KMZ holds its KML so), read through zlib's
// inflate while it is read: memory holds a chunk, never the file, and the
// inflated size is capped, so a zip bomb ends as an error.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace korvel {

/// Inflated bytes read from one entry at most.
inline constexpr std::uint64_t kMaxZipEntry = std::uint64_t{1} << 30;

/// The entry of `zip` named `preferred`, else the first whose name ends in
/// `suffix` (any case), as a file that reads its inflated bytes; null with the
/// reason in `failure`. A read past the size or CRC the archive gives, or past
/// kMaxZipEntry, fails (failed()).
std::unique_ptr<BinaryFile> OpenZipEntry(std::unique_ptr<BinaryFile> zip,
                                         std::string_view preferred, std::string_view suffix,
                                         std::string& failure);

}  // namespace korvel
