#include "exchange/unpack.h"

#include "format/package_layout.h"
#include "generate/run_state.h"
#include "platform/path.h"

namespace korvel {
namespace {

std::string InDir(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : JoinPath(dir, name);
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
                    const std::string& package_name, const std::string& dir, bool force,
                    const std::function<void()>& waiting) {
  UnpackResult result;
  const CameraFile file = ReadCameraFile(bytes);
  if (file.kind != FileKind::kPackage) {
    result.status = UnpackStatus::kNotPackage;
    result.why = file.cut_kind == FileKind::kPackage ? UnknownFileText(file) : "not a K93 package";
    return result;
  }
  const std::vector<UnpackedFile> parts = UnpackNames(package_name, file.package);
  std::unique_ptr<FolderLock> lock;
  if (LockFoldersWaiting(fs, {dir}, lock, &result.error, waiting) != LockResult::kLocked) {
    result.status = UnpackStatus::kLockFailed;
    return result;
  }
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
  std::vector<std::unique_ptr<StagedFile>> staged;
  for (const UnpackedFile& part : parts) {
    staged.push_back(std::make_unique<StagedFile>(fs, InDir(dir, part.name)));
    if (!StageBytes(*staged.back(), bytes.subspan(part.offset, part.length), result.error)) {
      result.status = UnpackStatus::kWriteFailed;
      return result;
    }
  }
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string path = InDir(dir, parts[i].name);
    if (!staged[i]->Commit(&result.error)) {
      result.status = UnpackStatus::kWriteFailed;
      return result;
    }
    result.written.push_back(path);
  }
  return result;
}

}  // namespace korvel
