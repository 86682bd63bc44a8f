#pragma once
// The K93 firmware package: a 16-byte header of lengths, then the firmware at
// 0x10, the voice image at 0x100000 and the device database at 0x500000, the
// gaps filled with zero bytes.
//
//   0   u8 0 | u32 firmware length | u32 voice length | u32 database length | 3 x u8 0

#include <cstdint>
#include <string>

#include "generate/pipeline.h"

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

/// The header: byte 0 and bytes 13 to 15 zero, the three lengths at 1, 5, 9.
Bytes PackageHeader(std::uint32_t fw_length, std::uint32_t voice_length, std::uint32_t db_length);

/// "K93_F<fw>_V<voice>_D<db>.bin" from the three tags.
std::string PackageName(const RunState& state);

/// Builds the package in the program's folder, reports on `view` and ends the
/// command: "   Success.." with the path, or a failure status.
void BuildK93Package(RunState& state, FileSystem& fs, GenerateView& view);

}  // namespace korvel
