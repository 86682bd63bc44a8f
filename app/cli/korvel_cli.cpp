// korvel-cli: the dialog's logic driven from the command line. It presses the
// buttons in the operator's order and answers each file chooser with a path
// from the command line, so a run here is a run of the dialog.

#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/korvel_dlg.h"
#include "app/resource.h"
#include "generate/run_state.h"
#include "platform/path.h"
#include "platform/real_file_system.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: korvel-cli generate --fw FILE --voice FILE --db FILE [--per-model]\n"
    "                           [--out-dir DIR] [--trace]\n"
    "       korvel-cli --help\n"
    "\n"
    "Runs the dialog of Tarvex binary generator v1.0: presses \"FW File\", \"Voice File\",\n"
    "\"DB text File\" and \"Generate File\" in turn, answering each file chooser with\n"
    "the given file.\n"
    "\n"
    "  --fw FILE      firmware image, K93_FW_v????.bin of 249856 bytes\n"
    "  --voice FILE   voice image, K93_Voice_v????.bin\n"
    "  --db FILE      camera database text, TAB-separated\n"
    "  --per-model    write the per-model database files instead of the K93 package\n"
    "  --out-dir DIR  folder for TempDb.bin, the package and the per-model files\n"
    "                 (default: the current folder; created when missing)\n"
    "  --trace        print the parser's and encoder's trace lines\n"
    "\n"
    "Prints \"status: TEXT\" whenever the status line changes and \"output: PATH\"\n"
    "whenever the output path changes. Exit status: 0 when the run ends with\n"
    "\"   Success..\", 1 when it ends otherwise, 2 for a usage error.\n";

struct Options {
  std::string fw;
  std::string voice;
  std::string db;
  std::string out_dir;
  bool per_model = false;
  bool trace = false;
  bool help = false;
};

/// Reads the command line into `options`; on a usage error returns why.
std::optional<std::string> ParseArguments(const std::vector<std::string_view>& args,
                                          Options& options) {
  for (std::string_view arg : args) {
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return std::nullopt;
    }
  }
  if (args.empty()) return "no command given";
  if (args[0] != "generate") return "unknown command '" + std::string(args[0]) + "'";

  const std::map<std::string_view, std::string*> valued = {{"--fw", &options.fw},
                                                           {"--voice", &options.voice},
                                                           {"--db", &options.db},
                                                           {"--out-dir", &options.out_dir}};
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--per-model") {
      options.per_model = true;
    } else if (arg == "--trace") {
      options.trace = true;
    } else if (auto it = valued.find(arg); it != valued.end()) {
      if (i + 1 == args.size() || args[i + 1].empty()) {
        return std::string(arg) + " needs a value";
      }
      *it->second = std::string(args[++i]);
    } else {
      return "unknown option '" + std::string(arg) + "'";
    }
  }
  if (options.fw.empty()) return "--fw is required";
  if (options.voice.empty()) return "--voice is required";
  if (options.db.empty()) return "--db is required";
  return std::nullopt;
}

/// The dialog as lines on standard output. Controls start as the dialog shows
/// them before OnInitDialog: an empty status line and a blank output path, so
/// only real paths are printed.
class ConsoleWindow : public DialogWindow {
 public:
  void SetItemText(int id, const std::string& text) override {
    std::string& shown = texts_[id];
    if (id == IDC_STATUS) ++status_writes_;
    if (shown == text) return;
    shown = text;
    if (id == IDC_STATUS) {
      std::cout << "status: " << text << std::endl;
    } else if (id == IDC_OUTPUT_PATH) {
      std::cout << "output: " << text << std::endl;
    }
  }

  void EnableItem(int id, bool enable) override { enabled_[id] = enable; }

  std::optional<ChosenFile> ChooseFile(const OpenFileRequest&) override {
    return std::exchange(answer_, std::nullopt);
  }

  void ShowFileError(const FileError& error) override {
    std::cerr << "korvel-cli: cannot create " << error.path << ": " << error.description
              << std::endl;
  }

  void Close(int) override {}

  /// The chooser's answer to the next button press.
  void Answer(ChosenFile file) { answer_ = std::move(file); }
  bool Enabled(int id) const {
    auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
  }
  std::string Text(int id) const {
    auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
  }
  int status_writes() const { return status_writes_; }

 private:
  std::map<int, std::string> texts_{{IDC_OUTPUT_PATH, kBlankText}};
  std::map<int, bool> enabled_;
  std::optional<ChosenFile> answer_;
  int status_writes_ = 0;
};

/// One button press of the operator's run.
struct Step {
  const char* what;  ///< the file, as the operator would name it
  const std::string* path;
  void (CKorvelDlg::*press)();
  int unlocks;  ///< the button that must be enabled afterwards
};

/// Full path and bare name, as a file chooser gives them. Like a chooser it
/// hands back only a file that is there and can be read.
std::optional<ChosenFile> Choose(FileSystem& files, const std::string& given, const char* what) {
  std::error_code error;
  const fs::path path = fs::absolute(given, error);
  if (error) {
    std::cerr << "korvel-cli: " << what << " '" << given << "': " << error.message() << std::endl;
    return std::nullopt;
  }
  if (!fs::is_regular_file(path, error)) {
    std::cerr << "korvel-cli: " << what << " '" << given << "' "
              << (fs::exists(path, error) ? "is not a file" : "does not exist") << std::endl;
    return std::nullopt;
  }
  FileError problem;
  if (!files.Open(path.string(), OpenMode::kReadShared, &problem)) {
    std::cerr << "korvel-cli: " << what << " '" << given
              << "' cannot be read: " << problem.description << std::endl;
    return std::nullopt;
  }
  return ChosenFile{path.string(), path.filename().string()};
}

int Run(const Options& options) {
  std::error_code error;
  const fs::path out_dir = fs::absolute(options.out_dir.empty() ? "." : options.out_dir, error);
  if (!error && !fs::is_directory(out_dir)) fs::create_directories(out_dir, error);
  if (error || !fs::is_directory(out_dir)) {
    std::cerr << "korvel-cli: cannot create output folder '" << options.out_dir
              << "': " << (error ? error.message() : "not a folder") << std::endl;
    return kExitFailure;
  }
  fs::path folder = out_dir.lexically_normal();
  if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();

  // The package goes beside the program, so the program is said to live in
  // the output folder; TempDb.bin goes to the working folder, the same one.
  RunState state;
  RealFileSystem files(folder.string(), JoinPath(folder.string(), "korvel-cli"));
  ConsoleWindow window;
  CKorvelDlg dialog(state, window, files, options.trace ? &std::cout : nullptr);
  dialog.m_nGenerateMode = options.per_model ? kGeneratePerModel : 0;
  dialog.OnInitDialog();

  const Step steps[] = {
      {"FW file", &options.fw, &CKorvelDlg::OnBnClickedFwFile, IDC_VOICE_FILE},
      {"Voice file", &options.voice, &CKorvelDlg::OnBnClickedVoiceFile, IDC_DB_TEXT_FILE},
      {"DB text file", &options.db, &CKorvelDlg::OnBnClickedDbTextFile, IDC_GENERATE_FILE},
  };
  for (const Step& step : steps) {
    const auto chosen = Choose(files, *step.path, step.what);
    if (!chosen) return kExitFailure;
    window.Answer(*chosen);
    const int writes = window.status_writes();
    (dialog.*step.press)();
    if (!window.Enabled(step.unlocks)) {
      // The dialog passes over a file it cannot find again without a word.
      const char* why = window.status_writes() == writes ? "was not found"
                        : window.Text(IDC_STATUS) == dlg_status::kSelectSignature
                            ? "is not a K93 firmware image (K93_FW_v????.bin, 249856 bytes)"
                            : "was not accepted";
      std::cerr << "korvel-cli: " << step.what << " '" << *step.path << "' " << why << std::endl;
      return kExitFailure;
    }
  }
  dialog.OnBnClickedGenerateFile();
  return window.Text(IDC_STATUS) == gen_status::kSuccess ? kExitSuccess : kExitFailure;
}

}  // namespace
}  // namespace korvel

int main(int argc, char** argv) {
  try {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    korvel::Options options;
    if (auto problem = korvel::ParseArguments(args, options)) {
      std::cerr << "korvel-cli: " << *problem << "\n\n" << korvel::kUsage;
      return korvel::kExitUsage;
    }
    if (options.help) {
      std::cout << korvel::kUsage;
      return korvel::kExitSuccess;
    }
    return korvel::Run(options);
  } catch (const std::exception& e) {
    std::cerr << "korvel-cli: " << e.what() << std::endl;
    return korvel::kExitFailure;
  }
}
