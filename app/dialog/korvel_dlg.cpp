#include "app/dialog/korvel_dlg.h"

#include <cstdint>
#include <exception>
#include <string>

#include "app/dialog/resource.h"
#include "app/dialog/text_review.h"
#include "format/package_layout.h"
#include "platform/text_file.h"

namespace korvel {
namespace {

constexpr char kBinaryFilter[] = "Binary file(*.bin)|*.bin|";
constexpr char kTextFilter[] = "Text file(*.txt)|*.txt|";
constexpr char kK93Prefix[] = "K93_";
constexpr char kFirmwarePattern[] = "FW_v????.bin";
constexpr char kVoicePattern[] = "Voice_v????.bin";
/// Shown when a handler meets something it cannot go on from (no memory, a
/// file call that threw); the operator can Refresh and try again.
constexpr char kUnexpectedError[] = " Unexpected error: ";

/// `path` without the chooser's file name: trailing characters are cut while
/// each occurs somewhere in `name`. A name never holds a separator, so this
/// stops right after the last one, whichever separator the path uses.
std::string FolderByName(const std::string& path, const std::string& name) {
  std::size_t end = path.size();
  while (end > 0 && name.find(path[end - 1]) != std::string::npos) --end;
  return path.substr(0, end);
}

}  // namespace

bool WildcardMatch(const char* pattern, const char* text) {
  const char* p = pattern;
  const char* t = text;
  // Up to the first '*' both must run in step.
  while (*t != '\0' && *p != '*') {
    if (*p != *t && *p != '?') return false;
    ++p;
    ++t;
  }
  // From there on, each '*' is a place to come back to when a later
  // character fails: let the star swallow one more text character and retry.
  const char* pattern_resume = nullptr;
  const char* text_resume = nullptr;
  while (*t != '\0') {
    if (*p == '*') {
      if (*++p == '\0') return true;
      pattern_resume = p;
      text_resume = t + 1;
    } else if (*p == *t || *p == '?') {
      ++p;
      ++t;
    } else {
      p = pattern_resume;
      t = text_resume++;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

CKorvelDlg::CKorvelDlg(RunState& state, DialogWindow& window, FileSystem& fs, std::ostream* trace)
    : state_(state), window_(window), fs_(fs), trace_(trace) {}

template <typename Body>
void CKorvelDlg::Guarded(Body&& body) noexcept {
  try {
    try {
      body();
    } catch (const std::exception& e) {
      view_.status = std::string(kUnexpectedError) + e.what();
    } catch (...) {
      view_.status = std::string(kUnexpectedError) + "unknown";
    }
    window_.Draw(view_);
  } catch (...) {
    // Nothing is left to tell the operator with; the dialog stays usable.
  }
}

bool CKorvelDlg::OnInitDialog() {
  Guarded([&] { ShowStart(); });
  return true;
}

void CKorvelDlg::OnBnClickedRefresh() {
  // Only the inputs are chosen again; K93_MODE, the paths and the version tags
  // stay as they are until a new choice overwrites them.
  Guarded([&] {
    state_.TEMP_DB_TEXT = kTempDbText;
    ShowStart();
  });
}

void CKorvelDlg::OnBnClickedExit() {
  Guarded([&] { window_.Close(IDCANCEL); });
}

void CKorvelDlg::ShowStart() {
  view_.fw_file = true;
  view_.voice_file = view_.db_text_file = view_.generate_file = false;
  view_.fw_name = view_.voice_name = view_.db_name = view_.output_path = kBlankText;
  view_.status = dlg_status::kOpenReadFile;
}

bool CKorvelDlg::AcceptImage(int kind, std::string& path, std::string& name_field, bool& button,
                             const char* rejected) {
  const auto chosen = window_.ChooseFile({"bin", kBinaryFilter});
  if (!chosen) return false;
  path = chosen->path;
  const auto name = fs_.FindFile(path);
  if (!name) return false;
  if (!CheckInputFileName(kind, *name)) {
    name_field.clear();
    view_.status = rejected;
    return false;
  }
  name_field = *name;
  button = false;
  return true;
}

void CKorvelDlg::OnBnClickedFwFile() {
  Guarded([&] {
    if (!AcceptImage(kFirmwareFile, state_.FW_PATH, view_.fw_name, view_.fw_file,
                     dlg_status::kFwRejected)) {
      return;
    }
    if (state_.K93_MODE == 1) {
      view_.voice_file = true;
      view_.status = dlg_status::kSelectVoice;
    } else {
      // Only the K93 goes further; from here Refresh is the way on.
      view_.status = dlg_status::kSelectSignature;
    }
  });
}

void CKorvelDlg::OnBnClickedVoiceFile() {
  Guarded([&] {
    if (!AcceptImage(kVoiceFile, state_.VOICE_PATH, view_.voice_name, view_.voice_file,
                     dlg_status::kVoiceRejected)) {
      return;
    }
    if (state_.K93_MODE == 1) {
      view_.db_text_file = true;
      view_.status = dlg_status::kSelectDbText;
    }
  });
}

void CKorvelDlg::OnBnClickedDbTextFile() {
  Guarded([&] {
    const auto chosen = window_.ChooseFile({"txt", kTextFilter});
    if (!chosen) return;
    state_.DB_TEXT_PATH = chosen->path;
    state_.DB_TEXT_FOLDER = FolderByName(chosen->path, chosen->name);
    // An unreadable file counts 0 lines; the Generate command reports it.
    state_.DB_LINE_COUNT = CountLines(fs_, state_.DB_TEXT_PATH).value_or(0);
    const auto name = fs_.FindFile(state_.DB_TEXT_PATH);
    if (!name) return;
    view_.db_name = *name;
    view_.status = dlg_status::kPressStart;
    view_.db_text_file = false;
    view_.generate_file = true;
  });
}

bool CKorvelDlg::ReviewBeforeGenerate() {
  auto message =
      ReviewText(fs_, state_.DB_TEXT_PATH, view_.db_name, m_nGenerateMode == kGeneratePerModel);
  if (!message) return true;
  message->caption = kDialogCaption;
  // Errors only inform: the run goes on and stops at the first, as ever.
  return window_.ShowMessage(*message) || message->kind == DialogMessage::Kind::kErrors;
}

void CKorvelDlg::OnBnClickedGenerateFile() {
  Guarded([&] {
    // The same gate as the command's: without it nothing runs, nothing is checked.
    if (state_.K93_MODE != 1 && m_nGenerateMode != kGeneratePerModel) return;
    if (m_bReviewText && !ReviewBeforeGenerate()) return;
    GenerateFile(state_, m_nGenerateMode, fs_, *this, trace_);
    // "Generate File" may be disabled now: the keys must reach a button that
    // is not, so that Escape and Enter work at once.
    window_.Focus(IDOK);
  });
}

bool CKorvelDlg::CheckInputFileName(int kind, std::string fileName) {
  const bool firmware = kind == kFirmwareFile;
  std::string pattern;
  if (fileName.compare(0, 4, kK93Prefix) == 0) {
    if (firmware) {
      // The K93 is told apart by its image length alone; a length check on a
      // file whose name is later rejected still switches the mode on.
      auto file = fs_.Open(state_.FW_PATH, OpenMode::kReadShared);
      if (!file) return false;
      const auto length = file->GetLength();
      if (length && static_cast<std::uint32_t>(*length) == kK93FirmwareLength) {
        state_.K93_MODE = 1;
      }
      file->Close();
    } else if (state_.K93_MODE == 1) {
      state_.K93_VOICE = 1;
    }
    pattern = kK93Prefix;
  }
  if (firmware) {
    pattern += kFirmwarePattern;
  } else {
    // In K93 mode the first voice image must carry the prefix too.
    if (state_.K93_MODE != state_.K93_VOICE) return false;
    pattern += kVoicePattern;
  }

  const bool result = WildcardMatch(pattern.c_str(), fileName.c_str());
  // The version positions are those of the prefixed name, so an unprefixed
  // name accepted in K93 mode yields ".bin" as its version.
  if (result && state_.K93_MODE == 1) {
    const char* v = fileName.c_str();
    if (firmware) {
      state_.FW_VERSION_TAG = MakeTag(v[8], v[9], v[10], v[11]);
    } else {
      state_.VOICE_VERSION_TAG = MakeTag(v[11], v[12], v[13], v[14]);
    }
  }
  return result;
}

// The command's reports are drawn at once: a status such as " Waiting for
// another run.." must show while the run waits.
void CKorvelDlg::SetStatus(const std::string& text) {
  view_.status = text;
  window_.Draw(view_);
}

void CKorvelDlg::SetOutputPath(const std::string& path) {
  view_.output_path = path;
  window_.Draw(view_);
}

void CKorvelDlg::DisableGenerate() {
  view_.generate_file = false;
  window_.Draw(view_);
}

void CKorvelDlg::ShowFileError(const FileError& error) {
  window_.ShowFileError(error);
}

void CKorvelDlg::ShowLockError(const FileError& error) {
  window_.ShowLockError(error);
}

}  // namespace korvel
