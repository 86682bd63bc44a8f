#include "generate/pipeline.h"

#include <array>

#include "generate/db_encoder.h"
#include "generate/package.h"
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
  bool ok = writer.SeekToEnd();
  // The first line end completes an unterminated last row; after a file that
  // ends with one it makes the one empty row the parser lets pass.
  ok = ok && writer.WriteString("\n") && writer.WriteString(kSampleRow1) &&
       writer.WriteString(kSampleRow2);
  return writer.Close() && ok;
}

bool WriteWhole(FileSystem& fs, const std::string& path, const Bytes& bytes) {
  auto file = fs.Open(path, OpenMode::kCreateWrite);
  if (!file) return false;
  const bool written = file->Write(bytes.data(), bytes.size());
  if (file->Close() && written) return true;
  file.reset();
  fs.Remove(path);  // leave no truncated database behind
  return false;
}

/// The four model files in the working folder and the ulma file in the
/// program's folder, each a copy of TempDb.bin as it lies on disk.
void WritePerModelFiles(RunState& state, FileSystem& fs, GenerateView& view) {
  state.OUTPUT_PATH = JoinPath(FolderOf(fs.ProgramPath()), kUlmaName);
  Bytes database;
  if (ReadWholeFile(fs, state.TEMP_DB_BIN, database) != ReadResult::kOk) {
    view.SetStatus(gen_status::kTempDbReadFail);
    return;
  }
  for (const char* pattern : kModelNames) {
    if (!WriteWhole(fs, ModelFileName(pattern, state.DB_VERSION), database)) {
      view.SetStatus(gen_status::kModelWriteFail);
      return;
    }
  }
  // The dialog shows this path, so a file must be there.
  if (!WriteWhole(fs, state.OUTPUT_PATH, database)) {
    view.SetStatus(gen_status::kModelWriteFail);
    return;
  }
  view.SetOutputPath(state.OUTPUT_PATH);
  view.SetStatus(gen_status::kSuccess);
  fs.Remove(state.TEMP_DB_TEXT);
}

}  // namespace

void GenerateFile(RunState& state, int generate_mode, FileSystem& fs, GenerateView& view,
                  std::ostream* trace) {
  if (state.K93_MODE != 1 && generate_mode != kGeneratePerModel) return;

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
