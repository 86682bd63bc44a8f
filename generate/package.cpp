#include "generate/package.h"

#include <algorithm>
#include <memory>

#include "generate/db_encoder.h"
#include "platform/path.h"

namespace korvel {
namespace {

/// The piece of a source held in memory at a time while it is copied.
constexpr std::size_t kCopyPiece = 256 * 1024;

/// One source of the package: where it goes, how much room it has there and
/// what the operator is told when it cannot be used.
struct Source {
  const std::string& path;
  std::uint32_t offset;
  std::uint32_t room;
  const char* too_large;
  const char* read_fail;
};

enum class CopyResult { kOk, kUnreadable, kTooLarge, kPackageWriteFailed };

/// Opens the source and measures it: kOk, with the file and its length, when
/// it fits its room and the image buffer.
CopyResult OpenSource(FileSystem& fs, const Source& source, std::unique_ptr<BinaryFile>& file,
                      std::uint64_t& length) {
  file = fs.Open(source.path, OpenMode::kReadShared);
  if (!file) return CopyResult::kUnreadable;
  const auto size = file->GetLength();
  if (!size) return CopyResult::kUnreadable;
  if (*size > std::min(source.room, kImageBufferSize)) return CopyResult::kTooLarge;
  length = *size;
  return CopyResult::kOk;
}

/// Whether the source can be opened and fits its room and the image buffer.
CopyResult CheckSource(FileSystem& fs, const Source& source) {
  std::unique_ptr<BinaryFile> file;
  std::uint64_t length = 0;
  return OpenSource(fs, source, file, length);
}

/// Copies the source into the package, which must exist, at its offset,
/// IMAGE_BUFFER at a time. The bytes between the package's previous end and
/// the offset read as zero afterwards: that is the zero fill. The source is
/// measured again and taken only whole: a file that grew or shrank since is
/// refused as unreadable.
CopyResult CopyImageIntoPackage(RunState& state, FileSystem& fs, const std::string& package,
                                const Source& source, std::uint32_t& out_length) {
  std::unique_ptr<BinaryFile> in;
  std::uint64_t length = 0;
  if (const CopyResult opened = OpenSource(fs, source, in, length); opened != CopyResult::kOk) {
    return opened;
  }

  auto out = fs.Open(package, OpenMode::kWriteExisting);
  if (!out || !out->Seek(source.offset)) return CopyResult::kPackageWriteFailed;
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

/// The database tag: the version field's characters 7, 8, 5, 6. The field
/// holds the K93-exchanged version line, so these are the line's own
/// characters 7 to 10 in their order.
bool ReadDbVersionTag(RunState& state, FileSystem& fs) {
  auto file = fs.Open(state.TEMP_DB_BIN, OpenMode::kReadShared);
  if (!file || !file->Seek(kDbVersionOffset)) return false;
  char version[kDbVersionSize];
  if (file->Read(version, sizeof version) != sizeof version) return false;
  state.DB_VERSION_TAG = MakeTag(version[7], version[8], version[5], version[6]);
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

Bytes PackageHeader(std::uint32_t fw_length, std::uint32_t voice_length, std::uint32_t db_length) {
  Bytes header;
  ByteWriter out(header);
  out.U8(0);
  out.U32(fw_length);
  out.U32(voice_length);
  out.U32(db_length);
  out.Zeros(kPackageHeaderSize - header.size());
  return header;
}

std::string PackageName(const RunState& state) {
  return "K93_F" + TagText(state.FW_VERSION_TAG) + "_V" + TagText(state.VOICE_VERSION_TAG) + "_D" +
         TagText(state.DB_VERSION_TAG) + ".bin";
}

void BuildK93Package(RunState& state, FileSystem& fs, GenerateView& view) {
  const Source sources[] = {
      {state.FW_PATH, kFwOffset, kFwRoom, gen_status::kFwTooLarge, gen_status::kFwReadFail},
      {state.VOICE_PATH, kVoiceOffset, kVoiceRoom, gen_status::kVoiceTooLarge,
       gen_status::kVoiceReadFail},
      {state.TEMP_DB_BIN, kDbOffset, kImageBufferSize, gen_status::kDbTooLarge,
       gen_status::kTempDbReadFail},
  };
  // Refuse an unusable source before anything is written.
  for (const Source& source : sources) {
    if (CopyResult result = CheckSource(fs, source); result != CopyResult::kOk) {
      view.SetStatus(StatusFor(result, source));
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

  std::uint32_t lengths[3] = {};
  for (int i = 0; i < 3; ++i) {
    const CopyResult result = CopyImageIntoPackage(state, fs, partial, sources[i], lengths[i]);
    if (result != CopyResult::kOk) {
      view.SetStatus(StatusFor(result, sources[i]));
      return;
    }
  }

  const Bytes header = PackageHeader(lengths[0], lengths[1], lengths[2]);
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
