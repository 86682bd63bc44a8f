#include "app/cli/text_check.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "app/cli/cli_command.h"
#include "app/cli/standard_input.h"
#include "platform/real_file_system.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace korvel::cli {

bool CheckTextFile(const std::string& path, bool dash_is_input, const CheckLimits& limits,
                   const CheckSink& sink, CheckSummary& summary, Problem& failure) {
  std::unique_ptr<BinaryFile> file;
  BinaryFile* input = nullptr;
  if (dash_is_input && path == "-") {
    file = StandardInputFile();
    input = file.get();
  } else {
    RealFileSystem disk;
    FileError error;
    error.path = path;
    file = disk.Open(path, OpenMode::kReadShared, &error);
    if (!file) {
      failure = FileProblem(error.path, error.description, Fault::kSystem);
      return false;
    }
  }
  TextReader reader(std::move(file));
  summary = CheckDbText(reader, limits, sink);
  if (!reader.failed()) return true;
  failure =
      SystemProblem(path, input != nullptr && input->error_code() != 0 ? input->error_code() : EIO);
  return false;
}

std::string ProblemLine(const std::string& path, const CheckProblem& problem) {
  std::string line = path;
  if (problem.line != 0) line.append(":").append(std::to_string(problem.line));
  line += problem.kind == CheckKind::kError ? ": error: " : ": warning: ";
  return line + problem.message;
}

}  // namespace korvel::cli
