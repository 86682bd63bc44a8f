#include "exchange/unpack.h"

#include "format/package_layout.h"
#include "generate/run_state.h"
#include "platform/path.h"

namespace korvel {
namespace {

std::string InDir(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : JoinPath(dir, name);
}

bool WriteWhole(FileSystem& fs, const std::string& path, std::span<const std::uint8_t> bytes) {
  StagedFile staged(fs, path);
  auto file = staged.Create();
  if (!file) return false;
  const bool written = file->Write(bytes.data(), bytes.size());
  const bool closed = file->Close();
  file.reset();
  return written && closed && staged.Commit();
}

}  // namespace

std::vector<UnpackedFile> UnpackNames(const std::string& package_name, const PackageParts& parts) {
  std::string fw = "firmware.bin", voice = "voice.bin";
  if (auto tags = ParsePackageName(package_name)) {
    fw = "K93_FW_v" + tags->fw + ".bin";
    voice = "K93_Voice_v" + tags->voice + ".bin";
  }
  // Named as generate takes them, in the order of kPackageParts.
  const std::string names[] = {fw, voice, kTempDbBin};
  std::vector<UnpackedFile> files;
  for (std::size_t i = 0; i < kPackageParts.size(); ++i) {
    files.push_back({names[i], kPackageParts[i].offset, parts.length[i]});
  }
  return files;
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
    if (!WriteWhole(fs, path, bytes.subspan(part.offset, part.length))) {
      result.status = UnpackStatus::kWriteFailed;
      result.path = path;
      return result;
    }
    result.written.push_back(path);
  }
  return result;
}

}  // namespace korvel
