#include "generate/package.h"

#include <algorithm>
#include <memory>

#include "format/db_layout.h"
#include "format/package_layout.h"
#include "platform/path.h"

namespace korvel {
namespace {

/// The piece of a source held in memory at a time while it is copied.
constexpr std::size_t kCopyPiece = 256 * 1024;

/// What one part of the package is copied from, and what the operator is
/// told when it cannot be used.
struct Source {
  const std::string& path;
  const char* too_large;
  const char* read_fail;
};

enum class CopyResult { kOk, kUnreadable, kTooLarge, kPackageWriteFailed };

/// Opens the source and measures it: kOk, with the file and its length, when
/// it fits its room and the image buffer.
CopyResult OpenSource(FileSystem& fs, const Source& source, const PackagePart& part,
                      std::unique_ptr<BinaryFile>& file, std::uint64_t& length) {
  file = fs.Open(source.path, OpenMode::kReadShared);
  if (!file) return CopyResult::kUnreadable;
  const auto size = file->GetLength();
  if (!size) return CopyResult::kUnreadable;
  if (*size > std::min(part.room, kImageBufferSize)) return CopyResult::kTooLarge;
  length = *size;
  return CopyResult::kOk;
}

/// Whether the source can be opened and fits its room and the image buffer.
CopyResult CheckSource(FileSystem& fs, const Source& source, const PackagePart& part) {
  std::unique_ptr<BinaryFile> file;
  std::uint64_t length = 0;
  return OpenSource(fs, source, part, file, length);
}

/// Copies the source into the package, which must exist, at its offset,
/// IMAGE_BUFFER at a time. The bytes between the package's previous end and
/// the offset read as zero afterwards: that is the zero fill. The source is
/// measured again and taken only whole: a file that grew or shrank since is
/// refused as unreadable.
CopyResult CopyImageIntoPackage(RunState& state, FileSystem& fs, const std::string& package,
                                const Source& source, const PackagePart& part,
                                std::uint32_t& out_length) {
  std::unique_ptr<BinaryFile> in;
  std::uint64_t length = 0;
  if (const CopyResult opened = OpenSource(fs, source, part, in, length);
      opened != CopyResult::kOk) {
    return opened;
  }

  auto out = fs.Open(package, OpenMode::kWriteExisting);
  if (!out || !out->Seek(part.offset)) return CopyResult::kPackageWriteFailed;
  Bytes& buffer = state.IMAGE_BUFFER;
  if (buffer.size() < kCopyPiece) buffer.resize(kCopyPiece);
  for (std::uint64_t left = length; left > 0;) {
    const std::size_t got = in->Read(buffer.data(), std::min<std::uint64_t>(left, kCopyPiece));
    if (got == 0) return CopyResult::kUnreadable;
    if (!out->Write(buffer.data(), got)) return CopyResult::kPackageWriteFailed;
    left -= got;
  }
  std::uint8_t probe = 0;
  if (in->failed() || in->Read(&probe, 1) != 0) return CopyResult::kUnreadable;
  if (!out->Close()) return CopyResult::kPackageWriteFailed;
  out_length = static_cast<std::uint32_t>(length);
  return CopyResult::kOk;
}

/// The database tag, from the version field of TempDb.bin as written.
bool ReadDbVersionTag(RunState& state, FileSystem& fs) {
  auto file = fs.Open(state.TEMP_DB_BIN, OpenMode::kReadShared);
  if (!file || !file->Seek(kDbVersionOffset)) return false;
  std::string version(kDbVersionSize, '\0');
  if (file->Read(version.data(), version.size()) != version.size()) return false;
  const std::string tag = DbTagOf(version);
  state.DB_VERSION_TAG = MakeTag(tag[0], tag[1], tag[2], tag[3]);
  return true;
}

const char* StatusFor(CopyResult result, const Source& source) {
  switch (result) {
    case CopyResult::kUnreadable:
      return source.read_fail;
    case CopyResult::kTooLarge:
      return source.too_large;
    case CopyResult::kPackageWriteFailed:
      return gen_status::kPackageWriteFail;
    case CopyResult::kOk:
      break;
  }
  return gen_status::kSuccess;
}

}  // namespace

std::string PackageName(const RunState& state) {
  return PackageFileName({TagText(state.FW_VERSION_TAG), TagText(state.VOICE_VERSION_TAG),
                          TagText(state.DB_VERSION_TAG)});
}

void BuildK93Package(RunState& state, FileSystem& fs, GenerateView& view) {
  // In the order of kPackageParts.
  const Source sources[] = {
      {state.FW_PATH, gen_status::kFwTooLarge, gen_status::kFwReadFail},
      {state.VOICE_PATH, gen_status::kVoiceTooLarge, gen_status::kVoiceReadFail},
      {state.TEMP_DB_BIN, gen_status::kDbTooLarge, gen_status::kTempDbReadFail},
  };
  static_assert(std::size(sources) == kPackageParts.size());
  // Refuse an unusable source before anything is written.
  for (std::size_t i = 0; i < kPackageParts.size(); ++i) {
    if (CopyResult result = CheckSource(fs, sources[i], kPackageParts[i]);
        result != CopyResult::kOk) {
      view.SetStatus(StatusFor(result, sources[i]));
      return;
    }
  }
  if (!ReadDbVersionTag(state, fs)) {
    view.SetStatus(gen_status::kTempDbReadFail);
    return;
  }

  state.OUTPUT_PATH = JoinPath(FolderOf(fs.ProgramPath()), PackageName(state));
  // The package is assembled under a name of its own and takes its final name
  // only when complete, so a file under the final name is always whole.
  StagedFile staged(fs, state.OUTPUT_PATH);
  const std::string& partial = staged.temp_path();
  {
    FileError error;
    auto created = staged.Create(&error);
    if (!created) {
      error.path = state.OUTPUT_PATH;
      view.ShowFileError(error);
      view.SetStatus(gen_status::kFail2);
      return;
    }
    if (!created->Close()) {
      view.SetStatus(gen_status::kPackageWriteFail);
      return;
    }
  }

  PackageParts parts;
  for (std::size_t i = 0; i < kPackageParts.size(); ++i) {
    const CopyResult result =
        CopyImageIntoPackage(state, fs, partial, sources[i], kPackageParts[i], parts.length[i]);
    if (result != CopyResult::kOk) {
      view.SetStatus(StatusFor(result, sources[i]));
      return;
    }
  }

  const Bytes header = PackageHeader(parts);
  auto out = fs.Open(partial, OpenMode::kWriteExisting);
  const bool header_written =
      out && out->Seek(0) && out->Write(header.data(), header.size()) && out->Close();
  out.reset();
  if (!header_written || !staged.Commit()) {
    view.SetStatus(gen_status::kPackageWriteFail);
    return;
  }

  fs.Remove(state.TEMP_DB_TEXT);
  view.SetOutputPath(state.OUTPUT_PATH);
  view.SetStatus(gen_status::kSuccess);
  view.DisableGenerate();
}

}  // namespace korvel
