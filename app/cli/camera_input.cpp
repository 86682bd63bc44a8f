#include "app/cli/camera_input.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "app/cli/cli_command.h"
#include "platform/real_file_system.h"
#include "platform/system.h"

namespace korvel::cli {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool ReadInput(const std::string& path, Bytes& bytes, std::string& problem) {
  std::unique_ptr<std::FILE, FileCloser> owned;
  std::FILE* file = stdin;
  if (path == "-") {
    SetBinaryMode(stdin);
  } else {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      problem = FileProblem(path, EISDIR);
      return false;
    }
    owned.reset(std::fopen(path.c_str(), "rb"));
    if (!owned) {
      problem = FileProblem(path, errno);
      return false;
    }
    file = owned.get();
  }
  bytes.clear();
  std::uint8_t chunk[1 << 16];
  while (true) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
    if (bytes.size() + got > kMaxCameraFileLength) {
      problem = path + ": larger than " + std::to_string(kMaxCameraFileLength >> 20) + " MiB, " +
                kNotCameraFile;
      return false;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < sizeof chunk) break;
  }
  if (std::ferror(file)) {
    problem = FileProblem(path, errno != 0 ? errno : EIO);
    return false;
  }
  return true;
}

std::optional<DecodedDb> ReadCameras(const std::string& path, std::string& problem) {
  Bytes bytes;
  if (!ReadInput(path, bytes, problem)) return std::nullopt;
  CameraFile file = ReadCameraFile(bytes);
  if (file.kind == FileKind::kUnknown) {
    problem = path + ": " + kNotCameraFile;
    return std::nullopt;
  }
  if (!file.decoded) {
    problem = path + ": " + file.faults.kept().back();
    return std::nullopt;
  }
  if (file.faults.total() != 0) {
    std::cerr << "korvel-cli: warning: " << path << ": " << file.faults.total()
              << " faults (korvel-cli inspect lists them); the first: "
              << file.faults.kept().front() << std::endl;
  }
  return std::move(file.db);
}

bool WriteOutput(const std::string& path, const std::function<bool(std::ostream&)>& write,
                 std::string& problem) {
  if (path.empty() || path == "-") {
    std::cout.flush();
    SetBinaryMode(stdout);
    const bool ok = write(std::cout);
    std::cout.flush();
    if (ok && !std::cout) problem = "standard output: write failed";
    return ok && std::cout;
  }
  const std::string temporary = RealFileSystem().TemporaryName(path);
  bool ok = false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      problem = FileProblem(path, errno);
      return false;
    }
    ok = write(out);
    out.close();
    if (ok && !out) problem = FileProblem(path, errno != 0 ? errno : EIO);
    ok = ok && out;
  }
  std::error_code error;
  if (ok) {
    std::filesystem::rename(temporary, path, error);
    if (!error) return true;
    problem = path + ": " + error.message();
  }
  std::filesystem::remove(temporary, error);
  return false;
}

}  // namespace korvel::cli
