#include "exchange/formats/source.h"

#include <algorithm>
#include <utility>

#include "camdb/problem.h"
#include "platform/system.h"

namespace korvel {
namespace {

/// How many first bytes detection sees.
constexpr std::size_t kPeekBytes = 4096;

/// A file whose first bytes were already read: it gives them again first.
class PeekedFile : public BinaryFile {
 public:
  PeekedFile(std::string head, std::unique_ptr<BinaryFile> rest)
      : head_(std::move(head)), rest_(std::move(rest)) {}

  std::optional<std::uint64_t> GetLength() override { return rest_->GetLength(); }
  bool Seek(std::uint64_t offset) override {
    if (!rest_->Seek(offset)) return false;
    at_ = head_.size();
    return true;
  }
  std::size_t Read(void* data, std::size_t size) override {
    std::size_t given = 0;
    if (at_ < head_.size()) {
      given = std::min(size, head_.size() - at_);
      head_.copy(static_cast<char*>(data), given, at_);
      at_ += given;
    }
    if (given == size) return given;
    return given + rest_->Read(static_cast<char*>(data) + given, size - given);
  }
  bool Write(const void*, std::size_t) override { return false; }
  bool Close() override { return rest_->Close(); }
  bool failed() const override { return rest_->failed(); }
  int error_code() const override { return rest_->error_code(); }

 private:
  std::string head_;
  std::size_t at_ = 0;
  std::unique_ptr<BinaryFile> rest_;
};

}  // namespace

SourceFile::SourceFile(FileSystem& fs, std::string path, Opener standard_input)
    : fs_(fs), path_(std::move(path)), standard_input_(std::move(standard_input)) {}

bool SourceFile::OpenOnce(Problem& failure) {
  if (path_ == "-" && standard_input_) {
    if (opened_) {
      failure =
          FileProblem(path_, "standard input cannot be read twice; give a file", Fault::kSystem);
      return false;
    }
    file_ = standard_input_();
  } else {
    FileError error;
    file_ = fs_.Open(path_, OpenMode::kReadShared, &error);
    if (!file_) {
      failure = FileProblem(
          path_, error.description.empty() ? SystemErrorText(error.code) : error.description,
          Fault::kSystem);
      return false;
    }
  }
  opened_ = true;
  return true;
}

bool SourceFile::Peek(std::string_view& head, Problem& failure) {
  if (!peeked_) {
    if (!file_ && !OpenOnce(failure)) return false;
    head_.resize(kPeekBytes);
    std::size_t size = 0;
    // Pipes hand over what they hold: read until the head is full or ends.
    while (size < head_.size()) {
      const std::size_t got = file_->Read(head_.data() + size, head_.size() - size);
      if (got == 0) break;
      size += got;
    }
    head_.resize(size);
    peeked_ = true;
    if (file_->failed()) {
      failure = FileProblem(path_, "the file cannot be read", Fault::kSystem);
      return false;
    }
  }
  head = head_;
  return true;
}

std::unique_ptr<BinaryFile> SourceFile::Open(Problem& failure) {
  if (!file_ && !OpenOnce(failure)) return nullptr;
  if (!peeked_) return std::move(file_);
  peeked_ = false;
  return std::make_unique<PeekedFile>(std::move(head_), std::move(file_));
}

std::size_t FindControlChar(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return i;
  }
  return std::string_view::npos;
}

std::string QuotedLine(std::string_view text) {
  return QuotedText(text);
}

std::string VersionControlProblem(std::string_view what, std::string_view line) {
  const std::size_t at = FindControlChar(line);
  if (at == std::string_view::npos) return {};
  return std::string(what) + " " + QuotedLine(line.substr(0, 80)) +
         " holds a control character at character " + std::to_string(at + 1);
}

}  // namespace korvel
