#include "app/dialog/text_review.h"

#include <cstdint>
#include <vector>

#include "camdb/checker.h"
#include "generate/pipeline.h"
#include "platform/text_file.h"

namespace korvel {
namespace {

/// "10,000": counts in a box are read at a glance.
std::string Count(std::uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

std::string Counted(std::uint64_t n, const char* word) {
  return Count(n) + " " + word + (n == 1 ? "" : "s");
}

/// Where an error's message names the dialog's status for it; npos for none.
std::size_t StatusAt(const std::string& message) {
  const std::size_t at = message.rfind(kDialogShows);
  return at != std::string::npos && message.ends_with("\")") ? at : std::string::npos;
}

/// The listed problems, one a line, in the check's own words. The dialog's
/// status is left off the errors: a box is narrow, and the run shows it.
std::string List(const std::vector<CheckProblem>& shown, std::uint64_t total,
                 const std::string& name) {
  std::string text;
  for (const CheckProblem& problem : shown) {
    if (problem.line != 0) text += "line " + std::to_string(problem.line) + ": ";
    const bool error = problem.kind == CheckKind::kError;
    text += problem.message.substr(0, error ? StatusAt(problem.message) : std::string::npos) + "\n";
  }
  if (total > shown.size()) text += "and " + Count(total - shown.size()) + " more.\n";
  // A name with blanks must reach the command whole.
  const std::string arg = name.find(' ') == std::string::npos ? name : "\"" + name + "\"";
  return text + "\"korvel-cli check " + arg + "\" prints the full list.\n";
}

}  // namespace

std::optional<DialogMessage> ReviewText(FileSystem& fs, const std::string& path,
                                        const std::string& name, bool per_model) {
  auto file = fs.Open(path, OpenMode::kReadShared);
  if (!file) return std::nullopt;
  std::vector<CheckProblem> errors, warnings;
  std::uint64_t warned_rows = 0, last_warned = 0;
  TextReader reader(std::move(file));
  const CheckSummary summary =
      CheckDbText(reader, GenerateLimits(per_model), [&](const CheckProblem& problem) {
        auto& shown = problem.kind == CheckKind::kError ? errors : warnings;
        if (shown.size() < kReviewShown) shown.push_back(problem);
        // Problems come in line order: a row's warnings one after another.
        if (problem.kind == CheckKind::kWarning && problem.line != 0 &&
            problem.line != last_warned) {
          ++warned_rows;
          last_warned = problem.line;
        }
      });
  if (summary.errors != 0) {
    const std::string& first = errors.front().message;
    const std::size_t status = StatusAt(first);
    std::string text =
        name + ": " + Counted(summary.errors, "error") + ".\n\"Generate File\" stops at the first";
    if (status != std::string::npos) {
      text += ": " + first.substr(status + kDialogShows.size() - 1,
                                  first.size() - status - kDialogShows.size());
    }
    text += ".\n\n" + List(errors, summary.errors, name);
    if (summary.warnings != 0)
      text += "\nThe text has " + Counted(summary.warnings, "warning") + " too.";
    return DialogMessage{DialogMessage::Kind::kErrors, "", text};
  }
  if (summary.warnings == 0) return std::nullopt;

  std::string text = name + ": " + Counted(summary.warnings, "warning");
  if (warned_rows != 0) {
    text += " on " + Count(warned_rows) + " of its " + Counted(summary.rows, "camera row");
  }
  text += ".\n\"Generate File\" stores them other than the text says:\n\n" +
          List(warnings, summary.warnings, name) + "\n";
  const std::string of_all = " of " + Count(summary.rows) + " cameras would be ";
  if (summary.rows_at_origin != 0) {
    text += "On the device, " + Count(summary.rows_at_origin) + of_all + "at 0,0.\n\n";
  } else if (warned_rows != 0) {
    text += "On the device, " + Count(warned_rows) + of_all + "other than the text says.\n\n";
  }
  text += per_model ? "Generate the model files anyway?" : "Generate the package anyway?";
  return DialogMessage{DialogMessage::Kind::kQuestion, "", text};
}

}  // namespace korvel
