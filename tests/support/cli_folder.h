#pragma once
// A scratch folder where korvel-cli runs as an operator's shell runs it, for
// the command-line tests (POSIX only: the runs go through /bin/sh).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace korvel::testing {

/// The whole file as bytes in a string; empty when it cannot be read.
inline std::string ReadText(const std::filesystem::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

/// A fresh folder under the system's temporary folder, removed with its
/// contents at the end.
struct CliFolder {
  explicit CliFolder(const std::string& prefix) {
    std::string name = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(name.data()) == nullptr) ADD_FAILURE() << "no scratch folder for " << prefix;
    dir = name;
  }
  ~CliFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  CliFolder(const CliFolder&) = delete;
  CliFolder& operator=(const CliFolder&) = delete;

  void Write(const std::string& name, std::string_view bytes) const {
    std::ofstream(dir / name, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  /// Runs `script` in the folder; its exit status, -1 when it did not exit.
  int Shell(const std::string& script) const {
    const int status = std::system(("cd '" + dir.string() + "' || exit 99; " + script).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  /// Runs korvel-cli (`cli`) with `args` in the folder after the shell's
  /// `setup`, keeping what it printed (standard output goes to `out_to`
  /// instead when given).
  int RunCli(const std::string& cli, const std::string& args, std::string& out, std::string& err,
             const std::string& setup = "", const std::string& out_to = "stdout.txt") const {
    const int status = Shell("rm -f stdout.txt; " + setup + "'" + cli + "' " + args + " >" +
                             out_to + " 2>stderr.txt");
    out = ReadText(dir / "stdout.txt");
    err = ReadText(dir / "stderr.txt");
    return status;
  }

  std::filesystem::path dir;
};

}  // namespace korvel::testing
