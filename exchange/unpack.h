#pragma once
// Takes a K93 package apart into the firmware image, the voice image and the
// database, under the names generate takes them by.

#include <functional>
#include <string>
#include <vector>

#include "format/db_reader.h"
#include "platform/file_system.h"

namespace korvel {

struct UnpackedFile {
  std::string name;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

/// The three parts and their names: K93_FW_v<F>.bin, K93_Voice_v<V>.bin and
/// TempDb.bin when `package_name` is K93_F<F>_V<V>_D<D>.bin, else
/// firmware.bin, voice.bin and TempDb.bin.
std::vector<UnpackedFile> UnpackNames(const std::string& package_name, const PackageParts& parts);

enum class UnpackStatus { kOk, kNotPackage, kExists, kLockFailed, kWriteFailed };

struct UnpackResult {
  UnpackStatus status = UnpackStatus::kOk;
  std::string path;  ///< the file that exists
  /// kNotPackage: what the file is instead; kLockFailed, kWriteFailed: the
  /// file or folder and the system's reason.
  std::string why;
  FileError error;
  std::vector<std::string> written;
};

/// Writes the parts of the package `bytes` (named `package_name`) into
/// `dir`, holding the folder's lock as generate does: generate reads
/// TempDb.bin back from its folder, and must find its own there. Refuses a
/// file that is not a package by its layout, and any existing target unless
/// `force`, before anything is written. All three parts are written whole
/// under temporary names no other run shares before any is renamed, so a
/// full disk leaves the folder as it was. `waiting` is called when another
/// run holds the folder, before waiting for it.
UnpackResult Unpack(FileSystem& fs, std::span<const std::uint8_t> bytes,
                    const std::string& package_name, const std::string& dir, bool force,
                    const std::function<void()>& waiting = {});

}  // namespace korvel
