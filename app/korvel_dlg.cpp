#include "app/korvel_dlg.h"

#include <cstdint>
#include <exception>
#include <string>

#include "app/resource.h"
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

/// Runs a handler's body so that no exception reaches the window's message
/// loop; what went wrong is shown in the status line instead.
template <typename Body>
void Guarded(DialogWindow& window, Body&& body) noexcept {
  try {
    try {
      body();
    } catch (const std::exception& e) {
      window.SetItemText(IDC_STATUS, std::string(kUnexpectedError) + e.what());
    } catch (...) {
      window.SetItemText(IDC_STATUS, std::string(kUnexpectedError) + "unknown");
    }
  } catch (...) {
    // Nothing is left to tell the operator with; the dialog stays usable.
  }
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

bool CKorvelDlg::OnInitDialog() {
  Guarded(window_, [&] {
    window_.EnableItem(IDC_VOICE_FILE, false);
    window_.EnableItem(IDC_DB_TEXT_FILE, false);
    window_.EnableItem(IDC_GENERATE_FILE, false);
    for (int id : {IDC_FW_NAME, IDC_VOICE_NAME, IDC_DB_NAME, IDC_OUTPUT_PATH}) {
      window_.SetItemText(id, kBlankText);
    }
    window_.SetItemText(IDC_STATUS, dlg_status::kOpenReadFile);
  });
  return true;
}

void CKorvelDlg::OnBnClickedRefresh() {
  // Only the inputs are chosen again; K93_MODE, the paths and the version tags
  // stay as they are until a new choice overwrites them.
  Guarded(window_, [&] {
    window_.EnableItem(IDC_FW_FILE, true);
    window_.EnableItem(IDC_VOICE_FILE, false);
    window_.EnableItem(IDC_DB_TEXT_FILE, false);
    window_.EnableItem(IDC_GENERATE_FILE, false);
    state_.TEMP_DB_TEXT = kTempDbText;
    for (int id : {IDC_FW_NAME, IDC_VOICE_NAME, IDC_DB_NAME, IDC_OUTPUT_PATH}) {
      window_.SetItemText(id, kBlankText);
    }
    window_.SetItemText(IDC_STATUS, dlg_status::kOpenReadFile);
  });
}

void CKorvelDlg::OnBnClickedExit() {
  Guarded(window_, [&] { window_.Close(IDCANCEL); });
}

bool CKorvelDlg::AcceptImage(int kind, std::string& path, int name_id, int button_id,
                             const char* rejected) {
  const auto chosen = window_.ChooseFile({"bin", kBinaryFilter});
  if (!chosen) return false;
  path = chosen->path;
  const auto name = fs_.FindFile(path);
  if (!name) return false;
  if (!CheckInputFileName(kind, *name)) {
    window_.SetItemText(name_id, "");
    window_.SetItemText(IDC_STATUS, rejected);
    return false;
  }
  window_.SetItemText(name_id, *name);
  window_.EnableItem(button_id, false);
  return true;
}

void CKorvelDlg::OnBnClickedFwFile() {
  Guarded(window_, [&] {
    if (!AcceptImage(kFirmwareFile, state_.FW_PATH, IDC_FW_NAME, IDC_FW_FILE,
                     dlg_status::kFwRejected)) {
      return;
    }
    if (state_.K93_MODE == 1) {
      window_.EnableItem(IDC_VOICE_FILE, true);
      window_.SetItemText(IDC_STATUS, dlg_status::kSelectVoice);
    } else {
      // Only the K93 goes further; from here Refresh is the way on.
      window_.SetItemText(IDC_STATUS, dlg_status::kSelectSignature);
    }
  });
}

void CKorvelDlg::OnBnClickedVoiceFile() {
  Guarded(window_, [&] {
    if (!AcceptImage(kVoiceFile, state_.VOICE_PATH, IDC_VOICE_NAME, IDC_VOICE_FILE,
                     dlg_status::kVoiceRejected)) {
      return;
    }
    if (state_.K93_MODE == 1) {
      window_.EnableItem(IDC_DB_TEXT_FILE, true);
      window_.SetItemText(IDC_STATUS, dlg_status::kSelectDbText);
    }
  });
}

void CKorvelDlg::OnBnClickedDbTextFile() {
  Guarded(window_, [&] {
    const auto chosen = window_.ChooseFile({"txt", kTextFilter});
    if (!chosen) return;
    state_.DB_TEXT_PATH = chosen->path;
    state_.DB_TEXT_FOLDER = FolderByName(chosen->path, chosen->name);
    // An unreadable file counts 0 lines; the Generate command reports it.
    state_.DB_LINE_COUNT = CountLines(fs_, state_.DB_TEXT_PATH).value_or(0);
    const auto name = fs_.FindFile(state_.DB_TEXT_PATH);
    if (!name) return;
    window_.SetItemText(IDC_DB_NAME, *name);
    window_.SetItemText(IDC_STATUS, dlg_status::kPressStart);
    window_.EnableItem(IDC_DB_TEXT_FILE, false);
    window_.EnableItem(IDC_GENERATE_FILE, true);
  });
}

void CKorvelDlg::OnBnClickedGenerateFile() {
  Guarded(window_, [&] { GenerateFile(state_, m_nGenerateMode, fs_, *this, trace_); });
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

void CKorvelDlg::SetStatus(const std::string& text) {
  window_.SetItemText(IDC_STATUS, text);
}

void CKorvelDlg::SetOutputPath(const std::string& path) {
  window_.SetItemText(IDC_OUTPUT_PATH, path);
}

void CKorvelDlg::DisableGenerate() {
  window_.EnableItem(IDC_GENERATE_FILE, false);
}

void CKorvelDlg::ShowFileError(const FileError& error) {
  window_.ShowFileError(error);
}

void CKorvelDlg::ShowLockError(const FileError& error) {
  window_.ShowLockError(error);
}

}  // namespace korvel
