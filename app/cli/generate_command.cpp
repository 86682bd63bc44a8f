// korvel-cli generate: the dialog driven from the command line. It presses the
// buttons in the operator's order and answers each file chooser with a path
// from the command line, so a run here is a run of the dialog.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "app/cli/cli_command.h"
#include "app/cli/text_check.h"
#include "app/dialog/korvel_dlg.h"
#include "generate/run_state.h"
#include "platform/path.h"
#include "platform/real_file_system.h"

namespace korvel::cli {
namespace {

namespace fs = std::filesystem;

struct Options {
  std::string fw;
  std::string voice;
  std::string db;
  std::string out_dir;
  bool per_model = false;
  bool trace = false;
  bool strict = false;
};

/// Warnings printed before the rest are only counted.
constexpr std::uint64_t kShownProblems = 20;

/// What the check of the chosen text has to say before the run goes on.
struct CheckReport {
  std::string lines;  ///< for standard error
  bool stop = false;  ///< --strict and the text has problems
};

/// Checks the chosen text as `check` does: its warnings (with --strict its
/// errors too), the first 20 and then a count of the rest.
CheckReport CheckBeforeGenerate(const Options& options) {
  CheckReport report;
  std::uint64_t shown = 0, hidden = 0;
  CheckSummary summary;
  Problem failure;
  const bool read = CheckTextFile(
      options.db, false, GenerateLimits(options.per_model),
      [&](const CheckProblem& found) {
        if (found.kind == CheckKind::kError && !options.strict) return;
        if (shown == kShownProblems) {
          ++hidden;
          return;
        }
        ++shown;
        report.lines += ProblemLine(options.db, found) + '\n';
      },
      summary, failure);
  if (hidden != 0) {
    report.lines += options.db + ": " + std::to_string(hidden) + " more; 'korvel-cli check " +
                    options.db + "' lists them all\n";
  }
  // A text that cannot be read here is the dialog's to report.
  if (read && options.strict && summary.errors + summary.warnings != 0) {
    report.lines +=
        "korvel-cli: --strict: " + options.db + ": " + SummaryText(summary) + "; nothing written\n";
    report.stop = true;
  }
  return report;
}

/// Holds what the process prints, from its making to Release(): the run's
/// lines wait while the check beside it finishes, so that its warnings come
/// first, as when the two run one after the other.
class HeldOutput {
 public:
  HeldOutput()
      : out_(std::cout.rdbuf(held_out_.rdbuf())), err_(std::cerr.rdbuf(held_err_.rdbuf())) {}
  ~HeldOutput() { Release(); }
  HeldOutput(const HeldOutput&) = delete;
  HeldOutput& operator=(const HeldOutput&) = delete;

  /// Prints `first` on standard error, then everything held.
  void Release(const std::string& first = {}) {
    if (out_ == nullptr) return;
    std::cout.rdbuf(std::exchange(out_, nullptr));
    std::cerr.rdbuf(err_);
    std::cerr << first << held_err_.str() << std::flush;
    std::cout << held_out_.str() << std::flush;
  }

 private:
  std::ostringstream held_out_, held_err_;
  std::streambuf* out_;
  std::streambuf* err_;
};

/// The dialog as lines on standard output. It starts as the dialog shows
/// itself before OnInitDialog: an empty status line and a blank output path,
/// so only real paths are printed.
class ConsoleWindow : public DialogWindow {
 public:
  ConsoleWindow() { view_.output_path = kBlankText; }

  void Draw(const DialogView& view) override {
    if (view.output_path != view_.output_path) {
      std::cout << "output: " << view.output_path << std::endl;
    }
    if (view.status != view_.status) {
      std::cout << "status: " << view.status << std::endl;
      if (view.status == gen_status::kWaitingForLock && on_wait_) on_wait_();
    }
    view_ = view;
  }

  void Focus(int) override {}

  std::optional<ChosenFile> ChooseFile(const OpenFileRequest&) override {
    return std::exchange(answer_, std::nullopt);
  }

  void ShowFileError(const FileError& error) override {
    ReportFailure(FileProblem("cannot create " + error.path, error.description, Fault::kSystem));
  }

  /// The command printed the check's problems already; the operator who ran
  /// it goes on (--strict stops before the dialog is pressed at all).
  bool ShowMessage(const DialogMessage&) override { return true; }

  void ShowLockError(const FileError& error) override { ReportFailure(LockProblem(error)); }

  void Close(int) override {}

  /// Called once the line " Waiting for another run.." is printed.
  void OnWait(std::function<void()> on_wait) { on_wait_ = std::move(on_wait); }
  /// The chooser's answer to the next button press.
  void Answer(ChosenFile file) { answer_ = std::move(file); }
  const DialogView& view() const { return view_; }

 private:
  DialogView view_;
  std::optional<ChosenFile> answer_;
  std::function<void()> on_wait_;
};

/// One button press of the operator's run.
struct Step {
  const char* what;  ///< the file, as the operator would name it
  const std::string* path;
  void (CKorvelDlg::*press)();
  bool DialogView::*unlocks;  ///< the button that must be enabled afterwards
};

/// The system's refusal of a path, in its words; `what` says which file it is.
Problem PathProblem(const std::string& what, const std::string& given,
                    const std::error_code& error) {
  return FileProblem(what + given, error.message(), Fault::kSystem);
}

/// Full path and bare name, as a file chooser gives them. Like a chooser it
/// hands back only a file that is there and can be read.
std::optional<ChosenFile> Choose(FileSystem& files, const std::string& given, const char* what) {
  std::error_code error;
  const fs::path path = fs::absolute(given, error);
  const fs::file_status status = error ? fs::file_status() : fs::status(path, error);
  if (error) {
    ReportFailure(PathProblem(std::string(what) + " ", given, error));
    return std::nullopt;
  }
  if (!fs::is_regular_file(status)) {
    ReportFailure(FileProblem(std::string(what) + " " + given, "not a regular file"));
    return std::nullopt;
  }
  FileError problem;
  if (!files.Open(path.string(), OpenMode::kReadShared, &problem)) {
    ReportFailure(
        FileProblem(std::string(what) + " " + given, problem.description, Fault::kSystem));
    return std::nullopt;
  }
  return ChosenFile{path.string(), path.filename().string()};
}

/// The output folder as a full path, made when missing; nullopt after saying why not.
std::optional<fs::path> MakeOutputFolder(const std::string& given) {
  std::error_code error;
  const fs::path out_dir = fs::absolute(given.empty() ? "." : given, error);
  // The error-code forms throughout: a path over the system's limit is a
  // message of ours, not an exception's text.
  if (!error && !fs::is_directory(out_dir, error)) {
    error.clear();
    fs::create_directories(out_dir, error);
    if (!error && !fs::is_directory(out_dir, error) && !error) {
      error = std::make_error_code(std::errc::not_a_directory);
    }
  }
  if (error) {
    ReportFailure(PathProblem("cannot create output folder ", given.empty() ? "." : given, error));
    return std::nullopt;
  }
  fs::path folder = out_dir.lexically_normal();
  if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
  return folder;
}

/// The dialog's run: the three file buttons, then "Generate File".
/// `on_wait` runs when the run starts to wait for another one.
int RunDialog(const Options& options, std::function<void()> on_wait = {}) {
  const std::optional<fs::path> out_folder = MakeOutputFolder(options.out_dir);
  if (!out_folder) return kExitFailure;
  const fs::path& folder = *out_folder;

  // The package goes beside the program, so the program is said to live in
  // the output folder; TempDb.bin goes to the working folder, the same one.
  RunState state;
  RealFileSystem files(folder.string(), JoinPath(folder.string(), "korvel-cli"));
  ConsoleWindow window;
  window.OnWait(std::move(on_wait));
  CKorvelDlg dialog(state, window, files, options.trace ? &std::cout : nullptr);
  dialog.m_nGenerateMode = options.per_model ? kGeneratePerModel : 0;
  dialog.m_bReviewText = false;  // the check beside the run reports instead
  dialog.OnInitDialog();

  const Step steps[] = {
      {"FW file", &options.fw, &CKorvelDlg::OnBnClickedFwFile, &DialogView::voice_file},
      {"Voice file", &options.voice, &CKorvelDlg::OnBnClickedVoiceFile, &DialogView::db_text_file},
      {"DB text file", &options.db, &CKorvelDlg::OnBnClickedDbTextFile, &DialogView::generate_file},
  };
  for (const Step& step : steps) {
    const auto chosen = Choose(files, *step.path, step.what);
    if (!chosen) return kExitFailure;
    window.Answer(*chosen);
    const DialogView before = window.view();
    (dialog.*step.press)();
    if (!(window.view().*step.unlocks)) {
      // The dialog passes over a file it cannot find again without a word.
      const char* why = window.view() == before ? "was not found"
                        : window.view().status == dlg_status::kSelectSignature
                            ? "is not a K93 firmware image (K93_FW_v????.bin, 249856 bytes)"
                            : "was not accepted";
      ReportFailure(FileProblem("", std::string(step.what) + " '" + *step.path + "' " + why));
      return kExitFailure;
    }
  }
  dialog.OnBnClickedGenerateFile();
  return window.view().status == gen_status::kSuccess ? kExitOk : kExitFailure;
}

int Run(const Options& options) {
  // Under --strict a text with problems stops the run before anything, the
  // output folder included, is made; with --trace the trace is too long to
  // hold back. Otherwise the check only reports, so it reads the text on the
  // second core while the dialog's run goes on.
  if (options.strict || options.trace) {
    const CheckReport report = CheckBeforeGenerate(options);
    std::cerr << report.lines << std::flush;
    return report.stop ? kExitFailure : RunDialog(options);
  }
  std::shared_future<CheckReport> check =
      std::async(std::launch::async, CheckBeforeGenerate, std::cref(options)).share();
  HeldOutput held;
  // A wait for another run can be long: what is held goes out then, after
  // the check's lines as always, so the waiting line shows while it waits.
  const int status = RunDialog(options, [&] { held.Release(check.get().lines); });
  held.Release(check.get().lines);
  return status;
}

}  // namespace

void RegisterGenerate(CLI::App& app, int& exit_status) {
  CLI::App* sub = app.add_subcommand(
      "generate", "Generate the K93 package (or the per-model files) as the dialog does");
  auto options = std::make_shared<Options>();
  // An empty value is as good as none: the chooser would have nothing to open.
  const CLI::Validator given(
      [](std::string& value) {
        return value.empty() ? std::string("needs a value") : std::string();
      },
      "", "given");
  sub->add_option("--fw", options->fw, "firmware image, K93_FW_v????.bin of 249856 bytes")
      ->required()
      ->type_name("FILE")
      ->check(given);
  sub->add_option("--voice", options->voice, "voice image, K93_Voice_v????.bin")
      ->required()
      ->type_name("FILE")
      ->check(given);
  sub->add_option("--db", options->db, "camera database text, TAB-separated")
      ->required()
      ->type_name("FILE")
      ->check(given);
  sub->add_flag("--per-model", options->per_model,
                "write the per-model database files instead of the K93 package");
  sub->add_option("--out-dir", options->out_dir,
                  "folder for TempDb.bin, the package and the per-model files\n"
                  "(default: the current folder; created when missing)")
      ->type_name("DIR")
      ->check(given);
  sub->add_flag("--trace", options->trace, "print the parser's and encoder's trace lines");
  sub->add_flag("--strict", options->strict,
                "stop before anything is written when the text has errors or warnings");
  sub->footer(
      "Runs the dialog of Tarvex binary generator v1.0: presses \"FW File\", \"Voice File\",\n"
      "\"DB text File\" and \"Generate File\" in turn, answering each file chooser with\n"
      "the given file.\n"
      "\n"
      "Checks the text first as 'korvel-cli check' does and prints the first 20\n"
      "warnings on standard error, then a count of the rest; with --strict any error or\n"
      "warning ends the run with exit status 1 before anything is written.\n"
      "\n"
      "Prints \"status: TEXT\" whenever the status line changes and \"output: PATH\"\n"
      "whenever the output path changes. Exit status: 0 when the run ends with\n"
      "\"   Success..\", 1 when it ends otherwise, 2 for a usage error.");
  sub->callback([options, &exit_status] { exit_status = Run(*options); });
}

}  // namespace korvel::cli
