#include "app/cli/usage.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <optional>
#include <string_view>

namespace korvel::cli {
namespace {

/// Edits (insert, delete, replace) that turn `a` into `b`.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

/// "; did you mean 'NAME'?" for the nearest of `names` within two edits.
std::string Suggestion(std::string_view given, const std::vector<std::string>& names) {
  const std::string* best = nullptr;
  std::size_t best_distance = 3;
  for (const std::string& name : names) {
    const std::size_t distance = EditDistance(given, name);
    if (distance < best_distance) {
      best = &name;
      best_distance = distance;
    }
  }
  return best == nullptr ? std::string() : "; did you mean '" + *best + "'?";
}

/// Every spelling of the options `app` takes on the command line.
std::vector<std::string> OptionNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    for (const std::string& name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

/// The first option of `args` that `app` does not know, or that is a flag
/// given a value: CLI11 reports the first only after other complaints and
/// takes the second silently.
std::optional<std::string> OptionProblem(const CLI::App& app, const std::vector<std::string>& args,
                                         std::size_t first) {
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") break;
    if (arg.size() < 2 || arg[0] != '-') continue;
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, arg[1] == '-' ? equals : 2);
    const CLI::Option* option = app.get_option_no_throw(name);
    if (option == nullptr) {
      return "unknown option '" + name + "'" + Suggestion(name, OptionNames(app));
    }
    if (equals != std::string::npos && option->get_expected_max() == 0) {
      return "option '" + name + "' takes no value";
    }
  }
  return std::nullopt;
}

/// `text` with CLI11's capitals and phrases turned into ours.
std::string Reword(const std::string& text) {
  const auto rest = [&](std::string_view phrase) {
    const std::size_t at = text.find(phrase);
    return at == std::string::npos ? std::string() : text.substr(0, at);
  };
  if (text == "A subcommand is required") return "a command is required";
  if (std::string name = rest(": At Most 1 required"); !name.empty()) {
    return name + ": given more than once";
  }
  if (std::string name = rest(": 1 required "); !name.empty()) return name + ": needs a value";
  if (text.starts_with("The following argument")) {
    return "unexpected argument '" + text.substr(text.find(": ") + 2) + "'";
  }
  std::string reworded = text;
  if (reworded.size() > 1 && std::isupper(static_cast<unsigned char>(reworded[0])) &&
      std::islower(static_cast<unsigned char>(reworded[1]))) {
    reworded[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reworded[0])));
  }
  return reworded;
}

/// The command `args` names, or `app` itself when they name none (or none it
/// knows: then `unknown` is set).
const CLI::App& CommandOf(const CLI::App& app, const std::vector<std::string>& args,
                          bool& unknown) {
  unknown = false;
  if (args.empty() || args[0].empty() || args[0][0] == '-' || app.get_subcommands({}).empty()) {
    return app;
  }
  for (const CLI::App* sub : app.get_subcommands({})) {
    if (sub->check_name(args[0])) return *sub;
  }
  unknown = true;
  return app;
}

/// The command line's first problem that CLI11 would not name, or name only
/// after others: an unknown command, an unknown option, a flag with a value.
std::optional<std::string> ArgumentProblem(const CLI::App& app, const CLI::App& command,
                                           bool unknown, const std::vector<std::string>& args) {
  if (unknown) {
    std::vector<std::string> names;
    for (const CLI::App* sub : app.get_subcommands({})) names.push_back(sub->get_name());
    return "unknown command '" + args[0] + "'" + Suggestion(args[0], names);
  }
  return OptionProblem(command, args, &command == &app ? 0 : 1);
}

/// Prints "PROGRAM: PROBLEM" and where to look for help; the usage status.
int ReportUsage(const CLI::App& app, const CLI::App& command, const std::string& problem) {
  std::string where = app.get_name();
  if (&command != &app) where += " " + command.get_name();
  std::cerr << app.get_name() << ": " << problem << "\nTry '" << where
            << " --help' for more information." << std::endl;
  return 2;
}

}  // namespace

std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  bool unknown = false;
  const CLI::App& command = CommandOf(app, args, unknown);
  if (auto problem = ArgumentProblem(app, command, unknown, args)) {
    return ReportUsage(app, command, *problem);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help and --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return ReportUsage(app, command, Reword(e.what()));
  }
  return std::nullopt;
}

}  // namespace korvel::cli
