#include "generate/unpack.h"

#include <cstdio>
#include <random>

#include "generate/package.h"
#include "platform/path.h"

namespace korvel {
namespace {

/// A suffix no other run picks: a fresh random number per file.
std::string UniqueSuffix() {
  static std::random_device device;
  char text[40];
  std::snprintf(text, sizeof text, ".%08x%08x.tmp", device(), device());
  return text;
}

std::string InDir(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : JoinPath(dir, name);
}

bool WriteAtomically(FileSystem& fs, const std::string& dir, const std::string& name,
                     std::span<const std::uint8_t> bytes) {
  const std::string path = InDir(dir, name);
  const std::string temporary = InDir(dir, "." + name + UniqueSuffix());
  auto file = fs.Open(temporary, OpenMode::kCreateWrite);
  if (!file) return false;
  const bool written = file->Write(bytes.data(), bytes.size());
  if (file->Close() && written && fs.Rename(temporary, path)) return true;
  file.reset();
  fs.Remove(temporary);
  return false;
}

}  // namespace

std::vector<UnpackedFile> UnpackNames(const std::string& package_name, const PackageParts& parts) {
  std::string fw = "firmware.bin", voice = "voice.bin";
  if (auto tags = ParsePackageName(package_name)) {
    fw = "K93_FW_v" + tags->fw + ".bin";
    voice = "K93_Voice_v" + tags->voice + ".bin";
  }
  return {{fw, kFwOffset, parts.fw_length},
          {voice, kVoiceOffset, parts.voice_length},
          {kTempDbBin, kDbOffset, parts.db_length}};
}

UnpackResult Unpack(FileSystem& fs, std::span<const std::uint8_t> bytes,
                    const std::string& package_name, const std::string& dir, bool force) {
  UnpackResult result;
  const CameraFile file = ReadCameraFile(bytes);
  if (file.kind != FileKind::kPackage) {
    result.status = UnpackStatus::kNotPackage;
    return result;
  }
  const std::vector<UnpackedFile> parts = UnpackNames(package_name, file.package);
  if (!force) {
    for (const UnpackedFile& part : parts) {
      const std::string path = InDir(dir, part.name);
      if (fs.FindFile(path)) {
        result.status = UnpackStatus::kExists;
        result.path = path;
        return result;
      }
    }
  }
  for (const UnpackedFile& part : parts) {
    const std::string path = InDir(dir, part.name);
    if (!WriteAtomically(fs, dir, part.name, bytes.subspan(part.offset, part.length))) {
      result.status = UnpackStatus::kWriteFailed;
      result.path = path;
      return result;
    }
    result.written.push_back(path);
  }
  return result;
}

}  // namespace korvel
