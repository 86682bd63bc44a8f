// korvel-cli: the dialog's logic and its checks driven from the command line.
// One subcommand per file; this file only builds the command line and turns
// its errors into the usual one-line form.

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>

#include "app/cli/cli_command.h"
#include "app/cli/usage.h"
#include "platform/path.h"

namespace korvel::cli {

int ReportFailure(const Problem& failure, std::string_view input_suffix) {
  std::cerr << "korvel-cli: " << FailureText(failure)
            << (failure.fault == Fault::kInput ? input_suffix : std::string_view()) << std::endl;
  return failure.fault == Fault::kInput ? kExitFailure : kExitUsage;
}

int ReportUsage(std::string_view command, const std::string& message) {
  const int status = ReportFailure(FileProblem("", message, Fault::kSystem));
  std::cerr << "Try 'korvel-cli " << command << " --help' for more information." << std::endl;
  return status;
}

Problem SystemProblem(const std::string& path, int error_number) {
  return FileProblem(path, std::strerror(error_number), Fault::kSystem);
}

Problem LockProblem(const FileError& error) {
  const std::string folder = FolderOf(error.path);
  return FileProblem("",
                     "cannot lock folder " + (folder.empty() ? std::string(".") : folder) + ": " +
                         error.description,
                     Fault::kSystem);
}

namespace {

/// Standard output's buffer: passes everything on and keeps the errno of
/// the first write that failed, which the stream's state alone loses.
class WatchedOutput : public std::streambuf {
 public:
  explicit WatchedOutput(std::streambuf* inner) : inner_(inner) {}
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    errno = 0;
    const int_type put = inner_->sputc(traits_type::to_char_type(c));
    if (traits_type::eq_int_type(put, traits_type::eof())) Note();
    return put;
  }
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    errno = 0;
    const std::streamsize put = inner_->sputn(text, size);
    if (put != size) Note();
    return put;
  }
  int sync() override {
    errno = 0;
    const int synced = inner_->pubsync();
    if (synced != 0) Note();
    return synced;
  }

 private:
  void Note() {
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
  }

  std::streambuf* inner_;
  int error_ = 0;
};

/// The exit status of a command that ended with `status`, once standard
/// output is flushed: a report that did not reach it whole (a full disk, a
/// closed pipe) is trouble, said on standard error with the system's reason.
int FinishOutput(int status, const WatchedOutput& watched) {
  std::cout.flush();
  if (std::cout && watched.error() == 0) return status;
  return ReportFailure(
      SystemProblem("standard output", watched.error() != 0 ? watched.error() : EIO));
}

}  // namespace

}  // namespace korvel::cli

int main(int argc, char** argv) {
  namespace cli = korvel::cli;
  CLI::App app("Korvel on the command line: generate K93 packages and check camera texts.",
               "korvel-cli");
  app.set_version_flag("-V,--version", "korvel-cli " KORVEL_VERSION);
  app.require_subcommand(1);
  app.footer("Run 'korvel-cli COMMAND --help' for a command's options and exit statuses.");
  int exit_status = cli::kExitOk;
  cli::WatchedOutput watched(std::cout.rdbuf());
  // Put back before `watched` goes, for the flush at exit.
  const std::unique_ptr<std::streambuf, void (*)(std::streambuf*)> restore(
      std::cout.rdbuf(&watched), [](std::streambuf* inner) { std::cout.rdbuf(inner); });
  cli::RegisterGenerate(app, exit_status);
  cli::RegisterCheck(app, exit_status);
  cli::RegisterInspect(app, exit_status);
  cli::RegisterExport(app, exit_status);
  cli::RegisterDiff(app, exit_status);
  cli::RegisterUnpack(app, exit_status);
  cli::RegisterImport(app, exit_status);
  cli::RegisterMap(app, exit_status);
  try {
    if (auto status = cli::ParseCommandLine(app, argc, argv)) return *status;
  } catch (const std::exception& e) {
    std::cerr << "korvel-cli: " << e.what() << std::endl;
    return cli::kExitFailure;
  }
  return cli::FinishOutput(exit_status, watched);
}
