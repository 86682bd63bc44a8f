#include "app/cli/command_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <memory>
#include <span>
#include <streambuf>

#include "app/cli/cli_command.h"
#include "app/cli/standard_input.h"
#include "app/cli/text_check.h"
#include "camdb/parser.h"
#include "exchange/camera_input.h"
#include "platform/memory_file.h"
#include "platform/path.h"
#include "platform/real_file_system.h"
#include "platform/system.h"

namespace korvel::cli {
namespace {

/// "N MiB is over the 512 MiB a database can hold".
std::string TooLarge(std::uint64_t length) {
  return std::to_string(length >> 20) + " MiB is over the " +
         std::to_string(kMaxCameraFileLength >> 20) + " MiB a database can hold";
}

/// Reads `file` to its end, never past the limit: /dev/zero has no end.
bool ReadBounded(const std::string& path, BinaryFile& file, Bytes& bytes, Problem& failure,
                 std::uint64_t expected = 0) {
  bytes.clear();
  // Room for the whole file, and for the sample rows a camera text gets
  // appended in place: growing by doubling would hold it twice.
  if (expected != 0) bytes.reserve(static_cast<std::size_t>(expected) + 4096);
  constexpr std::size_t kChunk = 1 << 20;
  const auto chunk = std::make_unique_for_overwrite<std::uint8_t[]>(kChunk);
  for (;;) {
    const std::size_t got = file.Read(chunk.get(), kChunk);
    bytes.insert(bytes.end(), chunk.get(), chunk.get() + got);
    if (bytes.size() > kMaxCameraFileLength) {
      failure = FileProblem(
          path,
          "over the " + std::to_string(kMaxCameraFileLength >> 20) + " MiB a database can hold",
          Fault::kSystem);
      return false;
    }
    if (got < kChunk) break;
  }
  if (file.failed()) {
    failure = SystemProblem(path, file.error_code() != 0 ? file.error_code() : EIO);
    return false;
  }
  return true;
}

/// The first line of a text without its line end, when it holds no control
/// character (which no line of an export may carry); else empty.
std::string FirstLine(const Bytes& bytes) {
  const auto last = bytes.begin() +
                    static_cast<std::ptrdiff_t>(std::min(bytes.size(), TextReader::kMaxLineLength));
  const auto end = std::find(bytes.begin(), last, std::uint8_t{'\n'});
  if (end == last) return {};
  std::string line(bytes.begin(), end);
  if (line.ends_with('\r')) line.pop_back();
  const bool control = std::any_of(line.begin(), line.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
  return control ? std::string() : line;
}

/// An output stream's buffer that hands its bytes to a BinaryFile.
class FileBuffer : public std::streambuf {
 public:
  explicit FileBuffer(BinaryFile& file) : file_(file) { setp(buffer_, buffer_ + sizeof buffer_); }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return Drain() ? 0 : -1; }

 private:
  bool Drain() {
    const std::size_t length = static_cast<std::size_t>(pptr() - pbase());
    setp(buffer_, buffer_ + sizeof buffer_);
    return length == 0 || file_.Write(buffer_, length);
  }

  BinaryFile& file_;
  char buffer_[1 << 16];
};

}  // namespace

bool ReadInput(const std::string& path, Bytes& bytes, Problem& failure) {
  if (path == "-") return ReadBounded(path, *StandardInputFile(), bytes, failure);
  RealFileSystem fs;
  FileError error;
  auto file = fs.Open(path, OpenMode::kReadShared, &error);
  if (!file) {
    failure = FileProblem(path, error.description, Fault::kSystem);
    return false;
  }
  // A file's length is known before a byte is read; devices and pipes say
  // 0 and are read up to the limit.
  if (const auto length = file->GetLength(); length && *length > kMaxCameraFileLength) {
    failure = FileProblem(path, TooLarge(*length), Fault::kSystem);
    return false;
  }
  return ReadBounded(path, *file, bytes, failure, file->GetLength().value_or(0));
}

std::string TextFaultText(const std::string& path, const std::string& status) {
  return "generate stops on this camera text with \"" + status + "\" ('korvel-cli check " + path +
         "' lists every problem)";
}

std::optional<DecodedDb> ReadCameras(const std::string& path, Problem& failure,
                                     CameraDetails* details, std::string* version_line) {
  Bytes bytes;
  if (!ReadInput(path, bytes, failure)) return std::nullopt;
  const std::string first_line = LooksLikeCameraText(bytes) ? FirstLine(bytes) : std::string();
  CameraInput input;
  std::string status;
  const bool with_lines =
      details != nullptr && static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(),
                                                                  '\n')) <= details->lines_up_to;
  // The map lists a failed text's errors from the same bytes: it keeps them.
  const bool decoded =
      details != nullptr
          ? DecodeCameraInput(std::span<const std::uint8_t>(bytes), input, status, with_lines)
          : DecodeCameraInput(std::move(bytes), input, status, with_lines);
  if (!decoded) {
    failure = FileProblem(path, TextFaultText(path, status));
    if (details != nullptr) {
      details->text_faults = true;
      // The bytes are checked as they were read: standard input is gone.
      TextReader reader(std::make_unique<MemoryFile>(bytes));
      CheckDbText(reader, GenerateLimits(), [&](const CheckProblem& found) {
        if (found.kind == CheckKind::kError)
          details->check_errors.push_back(ProblemLine(path, found));
      });
    }
    return std::nullopt;
  }
  if (details != nullptr) details->lines = std::move(input.lines);
  CameraFile& file = input.file;
  if (file.kind == FileKind::kUnknown) {
    failure = FileProblem(path, UnknownFileText(file));
    return std::nullopt;
  }
  if (!file.decoded) {
    failure = FileProblem(path, file.faults.kept().back());
    return std::nullopt;
  }
  if (version_line != nullptr) {
    const std::string stored = K93Exchange(file.db.version);
    const bool more = first_line.size() > stored.size() && first_line.starts_with(stored);
    *version_line = more ? first_line : std::string();
  }
  if (file.faults.total() != 0) {
    std::cerr << "korvel-cli: warning: " << path << ": " << file.faults.total()
              << " faults (korvel-cli inspect lists them); the first: "
              << file.faults.kept().front() << std::endl;
  }
  return std::move(file.db);
}

bool WriteOutput(const std::string& path, const std::function<bool(std::ostream&)>& write,
                 Problem& failure) {
  failure = Problem();
  if (path.empty() || path == "-") {
    std::cout.flush();
    SetBinaryMode(stdout);
    // What went wrong writing standard output is for the end of the command.
    if (write(std::cout)) return true;
    if (failure.message.empty()) {
      failure = FileProblem("standard output", "the output could not be made", Fault::kSystem);
    }
    return false;
  }
  RealFileSystem fs;
  StagedFile staged(fs, path);
  // The folder's lock, as generate takes it: no other run of ours writes or
  // reads a file there meanwhile. A device is written in place, in no folder
  // of ours.
  std::unique_ptr<FolderLock> lock;
  FileError error;
  if (!staged.direct() && LockFoldersWaiting(fs, {FolderOf(staged.target())}, lock, &error, [&] {
                            std::cerr
                                << "korvel-cli: waiting for another run to let go of the folder of "
                                << path << std::endl;
                          }) != LockResult::kLocked) {
    failure = LockProblem(error);
    return false;
  }
  auto file = staged.Create(&error);
  if (!file) {
    failure = FileProblem(path, error.description, Fault::kSystem);
    return false;
  }
  bool ok = false, sent = false;
  {
    FileBuffer buffer(*file);
    std::ostream out(&buffer);
    ok = write(out);
    sent = static_cast<bool>(out.flush());
  }
  const bool closed = file->Close();
  if (!sent || !closed || file->failed()) {
    const int code = file->error_code() != 0 ? file->error_code() : EIO;
    failure = FileProblem(path, SystemErrorText(code), Fault::kSystem);
    return false;
  }
  file.reset();
  if (!ok) {
    if (failure.message.empty()) {
      failure = FileProblem(path, "the output could not be made; nothing written", Fault::kSystem);
    }
    return false;
  }
  if (!staged.Commit(&error)) {
    failure = FileProblem(path, error.description, Fault::kSystem);
    return false;
  }
  return true;
}

}  // namespace korvel::cli
