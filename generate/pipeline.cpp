#include "generate/pipeline.h"

#include <algorithm>
#include <array>
#include <deque>
#include <numeric>
#include <vector>

#include "camdb/camera_rules.h"
#include "format/db_encoder.h"
#include "format/package_layout.h"
#include "generate/package.h"
#include "platform/memory_file.h"
#include "platform/path.h"
#include "platform/text_file.h"

namespace korvel {
namespace {

/// Per-model database files: the same bytes under each model's name; "%s"
/// stands for the database version, characters 5 to 10 of the version line.
constexpr std::array<const char*, 4> kModelNames = {
    "narv_db_ver2_%s.bin",
    "zorvane_db_ver2_%s.bin",
    "P_Zon_db_v%s.bin",
    "narvtel_db_ver2_%s.bin",
};
constexpr char kUlmaName[] = "ulma_db_ver2.bin";

std::string ModelFileName(const char* pattern, const std::string& version) {
  std::string name(pattern);
  name.replace(name.find("%s"), 2, version.substr(5, 6));
  return name;
}

/// Copies the temporary text and appends a line end and the two sample rows.
bool PrepareTextCopy(RunState& state, FileSystem& fs) {
  if (!fs.Copy(state.DB_TEXT_PATH, state.TEMP_DB_TEXT)) return false;
  auto file = fs.Open(state.TEMP_DB_TEXT, OpenMode::kWriteExisting);
  if (!file) return false;
  TextWriter writer(std::move(file));
  const bool ok = writer.SeekToEnd() && AppendSampleRows(writer);
  return writer.Close() && ok;
}

/// Keeps the one status text a parse reports.
class HeldStatus : public StatusLine {
 public:
  void SetStatus(const std::string& text) override { text_ = text; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

/// Copies `source` to every one of `targets`, each first under a temporary
/// name, reading the source once in bounded pieces. The targets take their
/// final names only after every copy is whole; on a failure the temporary
/// files go and the targets stay as they were.
enum class CopyResult { kOk, kSourceUnreadable, kTargetUnwritable };

const char* StatusFor(CopyResult result) {
  switch (result) {
    case CopyResult::kSourceUnreadable:
      return gen_status::kTempDbReadFail;
    case CopyResult::kTargetUnwritable:
      return gen_status::kModelWriteFail;
    case CopyResult::kOk:
      break;
  }
  return gen_status::kSuccess;
}

CopyResult CopyToAll(FileSystem& fs, const std::string& source,
                     const std::vector<std::string>& targets) {
  auto in = fs.Open(source, OpenMode::kReadShared);
  if (!in) return CopyResult::kSourceUnreadable;
  std::deque<StagedFile> staged;
  // Declared after `staged`, so every file is closed before its temporary
  // name is removed.
  std::vector<std::unique_ptr<BinaryFile>> outs;
  for (const std::string& target : targets) {
    outs.push_back(staged.emplace_back(fs, target).Create());
    if (!outs.back()) return CopyResult::kTargetUnwritable;
  }
  std::vector<std::uint8_t> buffer(64 * 1024);
  for (;;) {
    const std::size_t got = in->Read(buffer.data(), buffer.size());
    if (got == 0) break;
    for (auto& out : outs) {
      if (!out->Write(buffer.data(), got)) return CopyResult::kTargetUnwritable;
    }
  }
  if (in->failed()) return CopyResult::kSourceUnreadable;
  for (auto& out : outs) {
    if (!out->Close()) return CopyResult::kTargetUnwritable;
  }
  outs.clear();
  // A rename within a folder does not run out of room; should one fail all
  // the same, each final name still holds a whole file, old or new.
  for (StagedFile& file : staged) {
    if (!file.Commit()) return CopyResult::kTargetUnwritable;
  }
  return CopyResult::kOk;
}

/// The four model files in the working folder and the ulma file in the
/// program's folder, each a copy of TempDb.bin as it lies on disk.
void WritePerModelFiles(RunState& state, FileSystem& fs, GenerateView& view) {
  state.OUTPUT_PATH = JoinPath(FolderOf(fs.ProgramPath()), kUlmaName);
  std::vector<std::string> targets;
  for (const char* pattern : kModelNames)
    targets.push_back(ModelFileName(pattern, state.DB_VERSION));
  // The dialog shows this path, so a file must be there.
  targets.push_back(state.OUTPUT_PATH);
  if (const CopyResult result = CopyToAll(fs, state.TEMP_DB_BIN, targets);
      result != CopyResult::kOk) {
    view.SetStatus(StatusFor(result));
    return;
  }
  view.SetOutputPath(state.OUTPUT_PATH);
  view.SetStatus(gen_status::kSuccess);
  fs.Remove(state.TEMP_DB_TEXT);
}

/// Locks every folder the command writes: the working folder (TempDb.bin,
/// the model files), the program's folder (the package, the ulma file) and
/// the text's folder (the working copy), for as long as `lock` lives. While
/// another run holds one, says so and waits for it.
bool LockRunFolders(const RunState& state, FileSystem& fs, GenerateView& view,
                    std::unique_ptr<FolderLock>& lock) {
  const std::vector<std::string> folders = {"", FolderOf(fs.ProgramPath()), state.DB_TEXT_FOLDER};
  FileError error;
  const LockResult result = LockFoldersWaiting(
      fs, folders, lock, &error, [&] { view.SetStatus(gen_status::kWaitingForLock); });
  if (result == LockResult::kLocked) return true;
  view.SetStatus(gen_status::kLockFail);
  view.ShowLockError(error);
  return false;
}

}  // namespace

WriteDbResult WriteDbFile(RunState& state, FileSystem& fs, std::ostream* trace) {
  SortPoints(state.GPS_DB);  // equal keys keep the file order
  if (!EncodeDb(state, trace)) return WriteDbResult::kCellTooLarge;

  // Written under a temporary name and renamed into place: the earlier
  // TempDb.bin stays whole until the new one is.
  StagedFile staged(fs, state.TEMP_DB_BIN);
  auto file = staged.Create();
  if (!file) return WriteDbResult::kWriteFailed;
  const bool written = file->Write(state.DB_STREAM.data(), state.DB_STREAM.size());
  const bool closed = file->Close();
  file.reset();
  return written && closed && staged.Commit() ? WriteDbResult::kOk : WriteDbResult::kWriteFailed;
}

bool AppendSampleRows(TextWriter& copy) {
  // After a file that ends with a line end, the first one makes the one
  // empty row the parser lets pass.
  return copy.WriteString("\n") && copy.WriteString(kSampleRow1) && copy.WriteString(kSampleRow2);
}

std::optional<Bytes> EncodeCameraText(std::span<const std::uint8_t> text, std::string& fault,
                                      std::vector<std::uint32_t>* lines) {
  return EncodeCameraText(Bytes(text.begin(), text.end()), fault, lines);
}

std::optional<Bytes> EncodeCameraText(Bytes&& text, std::string& fault,
                                      std::vector<std::uint32_t>* lines) {
  DbEncoderState state;
  state.K93_MODE = 1;
  const std::size_t text_size = text.size();
  Bytes copy = std::move(text);
  {
    MemoryFile original(copy);
    state.DB_LINE_COUNT = CountLines(original).value_or(0);
  }
  TextWriter writer(std::make_unique<MemoryFile>(copy));
  if (!(writer.SeekToEnd() && AppendSampleRows(writer) && writer.Close())) {
    fault = gen_status::kFileOpenFail;
    return std::nullopt;
  }
  HeldStatus status;
  TextReader reader(std::make_unique<MemoryFile>(copy));
  if (ParseDbText(reader, state, status, nullptr) == 0) {
    fault = status.text();
    // The text back as it was, for a check that lists every problem.
    copy.resize(text_size);
    text = std::move(copy);
    return std::nullopt;
  }
  copy = Bytes();
  if (lines != nullptr) {
    // Every row before the two sample rows stands on its own line from line 3
    // on: the parser stops at an empty or broken one. SortPoints is stable, so
    // a stable sort of the indices gives its order.
    const GpsDb& points = state.GPS_DB;
    std::vector<std::uint32_t> order(points.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return points[a] < points[b]; });
    const std::size_t rows = points.size() - std::min<std::size_t>(points.size(), 2);
    lines->resize(points.size());
    for (std::size_t k = 0; k < order.size(); ++k) (*lines)[k] = order[k] < rows ? order[k] + 3 : 0;
  }
  SortPoints(state.GPS_DB);
  if (!EncodeDb(state, nullptr)) {
    fault = gen_status::kCellTooLarge;
    return std::nullopt;
  }
  return std::move(state.DB_STREAM);
}

CheckLimits GenerateLimits(bool per_model) {
  CheckLimits limits;
  limits.appended_rows[0] = kSampleRow1;
  limits.appended_rows[1] = kSampleRow2;
  limits.max_points_per_cell = kMaxPointsPerCell;
  limits.max_database_bytes = per_model ? UINT64_MAX : kImageBufferSize;
  limits.database_size = DatabaseSize;
  limits.cell_too_large_status = gen_status::kCellTooLarge;
  limits.too_large_status = gen_status::kDbTooLarge;
  return limits;
}

void GenerateFile(RunState& state, int generate_mode, FileSystem& fs, GenerateView& view,
                  std::ostream* trace) {
  if (state.K93_MODE != 1 && generate_mode != kGeneratePerModel) return;

  // Held to the end: no other run touches the working copy, TempDb.bin or
  // an output while this one writes or reads them.
  std::unique_ptr<FolderLock> lock;
  if (!LockRunFolders(state, fs, view, lock)) return;

  state.TEMP_DB_TEXT = state.DB_TEXT_FOLDER + kTempDbText;
  if (!PrepareTextCopy(state, fs)) {
    view.SetStatus(gen_status::kFileOpenFail);
    return;
  }
  auto copy = fs.Open(state.TEMP_DB_TEXT, OpenMode::kReadShared);
  if (!copy) {
    view.SetStatus(gen_status::kFail1);
    return;
  }

  state.GPS_DB.clear();
  state.GPS_CELLS.clear();
  state.GPS_HEADERS.clear();
  int parsed = 0;
  {
    TextReader reader(std::move(copy));
    parsed = ParseDbText(reader, state, view, trace);
  }
  if (parsed == 0) {
    fs.Remove(state.TEMP_DB_TEXT);
    return;
  }

  switch (WriteDbFile(state, fs, trace)) {
    case WriteDbResult::kOk:
      break;
    case WriteDbResult::kCellTooLarge:
      fs.Remove(state.TEMP_DB_TEXT);
      view.SetStatus(gen_status::kCellTooLarge);
      return;
    case WriteDbResult::kWriteFailed:
      view.SetStatus(gen_status::kTempDbWriteFail);
      return;
  }

  if (generate_mode == kGeneratePerModel) {
    WritePerModelFiles(state, fs, view);
  } else {
    BuildK93Package(state, fs, view);
  }
}

}  // namespace korvel
