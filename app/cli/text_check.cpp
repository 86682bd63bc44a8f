#include "app/cli/text_check.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "app/cli/cli_command.h"
#include "platform/real_file_system.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace korvel::cli {
namespace {

/// Standard input as a file that can only be read from its start.
class StandardInput : public BinaryFile {
 public:
  StandardInput() {
    // The reader takes line ends apart itself; the runtime must not.
    SetBinaryMode(stdin);
  }
  std::optional<std::uint64_t> GetLength() override {
    return std::nullopt;
  }
  bool Seek(std::uint64_t) override {
    return false;
  }
  std::size_t Read(void* data, std::size_t size) override {
    const std::size_t got = std::fread(data, 1, size, stdin);
    if (got < size && std::ferror(stdin)) {
      error_ = errno;
      failed_ = true;
    }
    return got;
  }
  bool Write(const void*, std::size_t) override {
    return false;
  }
  bool Close() override {
    return true;
  }
  bool failed() const override {
    return failed_;
  }
  int error() const {
    return error_;
  }

 private:
  bool failed_ = false;
  int error_ = 0;
};

}  // namespace

bool CheckTextFile(const std::string& path, bool dash_is_input, const CheckLimits& limits,
                   const CheckSink& sink, CheckSummary& summary, std::string& problem) {
  std::unique_ptr<BinaryFile> file;
  StandardInput* input = nullptr;
  if (dash_is_input && path == "-") {
    auto stdin_file = std::make_unique<StandardInput>();
    input = stdin_file.get();
    file = std::move(stdin_file);
  } else {
    RealFileSystem disk;
    FileError error;
    error.path = path;
    file = disk.Open(path, OpenMode::kReadShared, &error);
    if (!file) {
      problem = error.path + ": " + error.description;
      return false;
    }
  }
  TextReader reader(std::move(file));
  summary = CheckDbText(reader, limits, sink);
  if (!reader.failed()) return true;
  problem = input != nullptr && input->error() != 0 ? FileProblem(path, input->error())
                                                    : FileProblem(path, EIO);
  return false;
}

std::string ProblemLine(const std::string& path, const CheckProblem& problem) {
  std::string line = path;
  if (problem.line != 0) line.append(":").append(std::to_string(problem.line));
  line += problem.kind == CheckKind::kError ? ": error: " : ": warning: ";
  return line + problem.message;
}

}  // namespace korvel::cli
