#pragma once
// The K93 firmware package: a 16-byte header of lengths, then the firmware at
// 0x10, the voice image at 0x100000 and the device database at 0x500000, the
// gaps filled with zero bytes.
//
//   0   u8 0 | u32 firmware length | u32 voice length | u32 database length | 3 x u8 0

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/bytes.h"

namespace korvel {

inline constexpr std::size_t kPackageHeaderSize = 16;
inline constexpr std::uint32_t kFwOffset = 0x10;
inline constexpr std::uint32_t kVoiceOffset = 0x100000;
inline constexpr std::uint32_t kDbOffset = 0x500000;
inline constexpr std::uint32_t kFwRoom = kVoiceOffset - kFwOffset;     ///< 1048560
inline constexpr std::uint32_t kVoiceRoom = kDbOffset - kVoiceOffset;  ///< 4194304
/// The most any one image may hold, the database included.
inline constexpr std::uint32_t kImageBufferSize = 8 * 1024 * 1024;
/// Length of a K93 firmware image; a "K93_" image of this length selects K93.
inline constexpr std::uint32_t kK93FirmwareLength = 249856;

/// One part of the package: what it is called, where it starts and how much
/// room it has there. The database's room is the image buffer's.
struct PackagePart {
  const char* name;
  std::uint32_t offset;
  std::uint32_t room;
  std::size_t length_offset;  ///< where the header keeps its length
};

enum PackagePartIndex : std::size_t { kFirmwarePart, kVoicePart, kDatabasePart };

/// The package's parts in file order: every reader and writer of packages
/// takes offsets, rooms and names from here.
inline constexpr std::array<PackagePart, 3> kPackageParts = {{
    {"firmware", kFwOffset, kFwRoom, 1},
    {"voice image", kVoiceOffset, kVoiceRoom, 5},
    {"database", kDbOffset, kImageBufferSize, 9},
}};

/// The three lengths of a package header, by PackagePartIndex.
struct PackageParts {
  std::array<std::uint32_t, 3> length{};
};

/// The header: byte 0 and bytes 13 to 15 zero, each part's length at its place.
Bytes PackageHeader(const PackageParts& parts);

/// Tags F, V, D of a package named K93_F<F>_V<V>_D<D>.bin (four characters
/// each).
struct PackageNameTags {
  std::string fw, voice, db;
};

/// "K93_F<fw>_V<voice>_D<db>.bin".
std::string PackageFileName(const PackageNameTags& tags);

/// The tags of a package's bare file name; nullopt for any other name.
std::optional<PackageNameTags> ParsePackageName(std::string_view name);

}  // namespace korvel
