#include "platform/text_file.h"

#include <algorithm>
#include <cstring>

namespace korvel {
namespace {

// Large enough that a million-row file takes a few hundred reads.
constexpr std::size_t kChunkSize = 64 * 1024;

/// The LFs in [data, data + size), eight bytes at a time: an LF byte becomes
/// zero, each zero byte (and only those, without carries between bytes) adds
/// one to its byte of `lanes`, and the lanes are summed before any can
/// overflow.
std::size_t CountNewlines(const char* data, std::size_t size) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
  constexpr std::uint64_t kPairs = 0x00FF00FF00FF00FFu;
  std::size_t count = 0;
  std::size_t i = 0;
  while (i + 8 <= size) {
    std::uint64_t lanes = 0;
    for (int words = 0; words < 255 && i + 8 <= size; ++words, i += 8) {
      std::uint64_t word;
      std::memcpy(&word, data + i, 8);  // byte order does not matter to a count
      const std::uint64_t x = word ^ 0x0A0A0A0A0A0A0A0Au;
      lanes += (~(((x & kLow7) + kLow7) | x | kLow7)) >> 7;
    }
    const std::uint64_t pairs = (lanes & kPairs) + ((lanes >> 8) & kPairs);
    count += static_cast<std::size_t>((pairs * 0x0001000100010001u) >> 48);
  }
  for (; i < size; ++i) count += data[i] == '\n';
  return count;
}

}  // namespace

TextReader::TextReader(std::unique_ptr<BinaryFile> file)
    : file_(std::move(file)), buffer_(kChunkSize) {
  if (file_ == nullptr) failed_ = at_end_ = true;
}

bool TextReader::Fill() {
  begin_ = end_ = 0;
  if (at_end_) return false;
  const std::size_t got = file_->Read(buffer_.data(), buffer_.size());
  if (got < buffer_.size() && file_->failed()) {
    failed_ = at_end_ = true;
    return false;
  }
  // A short read without a failure is the end; no need to ask again.
  if (got < buffer_.size()) at_end_ = true;
  end_ = got;
  // One look per block lets ReadLine skip the search for a NUL in each line.
  has_nul_ = std::memchr(buffer_.data(), '\0', got) != nullptr;
  return got > 0;
}

bool TextReader::ReadString(std::string& line) {
  line.clear();
  too_long_ = false;
  nul_at_ = std::string::npos;
  if (failed_) return false;
  // The rest of a line already given as too long is skipped only now, so a
  // caller that stops at that line never reads it.
  while (skipping_) {
    if (begin_ == end_ && !Fill()) return false;
    const char* start = buffer_.data() + begin_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    begin_ = newline != nullptr ? static_cast<std::size_t>(newline + 1 - buffer_.data()) : end_;
    skipping_ = newline == nullptr;
  }
  bool read_any = false;
  bool cut = false;              // a NUL was met: nothing more of this line is kept
  std::uint64_t raw_length = 0;  // the whole line's length, NULs included
  char last = '\0';              // the line's last byte, kept or not
  bool newline_seen = false;
  for (;;) {
    if (begin_ == end_ && !Fill()) {
      if (!read_any || failed_) return false;
      break;
    }
    read_any = true;
    const char* start = buffer_.data() + begin_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    const char* stop = newline != nullptr ? newline : buffer_.data() + end_;
    const auto piece = static_cast<std::size_t>(stop - start);
    raw_length += piece;
    if (piece > 0) last = stop[-1];
    if (!cut) {
      const auto* nul = static_cast<const char*>(std::memchr(start, '\0', piece));
      const char* keep_end = nul != nullptr ? nul : stop;
      if (nul != nullptr) nul_at_ = static_cast<std::size_t>(raw_length - piece) + (nul - start);
      const std::size_t room = kMaxLineLength + 1 - std::min(line.size(), kMaxLineLength + 1);
      line.append(start, std::min(static_cast<std::size_t>(keep_end - start), room));
      cut = nul != nullptr;
    }
    begin_ += piece;
    if (newline != nullptr) {
      ++begin_;
      newline_seen = true;
      break;
    }
    // Two bytes past the limit the line is too long even if a CR LF follows.
    if (raw_length >= kMaxLineLength + 2) {
      too_long_ = skipping_ = true;
      line.resize(std::min(line.size(), kMaxLineLength));
      return true;
    }
  }
  // The CR of a CR LF pair may have come with the previous chunk; it belongs
  // to the line end either way. A CR without an LF after it is text.
  if (newline_seen && last == '\r') {
    if (!cut) line.pop_back();
    --raw_length;
  }
  if (raw_length > kMaxLineLength) {
    too_long_ = true;
    line.resize(std::min(line.size(), kMaxLineLength));
  }
  return true;
}

bool TextReader::ReadLine(std::string_view& line) {
  // A line that ends in the buffer, in a block without NULs, is the buffer's
  // own bytes; anything else takes ReadString's general way.
  if (!skipping_ && !has_nul_ && begin_ != end_) {
    const char* start = buffer_.data() + begin_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    if (newline != nullptr) {
      auto length = static_cast<std::size_t>(newline - start);
      if (length > 0 && newline[-1] == '\r') --length;
      begin_ = static_cast<std::size_t>(newline + 1 - buffer_.data());
      too_long_ = false;
      nul_at_ = std::string::npos;
      line = std::string_view(start, length);
      return true;
    }
  }
  if (!ReadString(line_)) return false;
  line = line_;
  return true;
}

bool TextWriter::SeekToEnd() {
  if (file_ == nullptr) return false;
  const std::optional<std::uint64_t> length = file_->GetLength();
  if (!length || !file_->Seek(*length)) {
    ok_ = false;
    return false;
  }
  return true;
}

bool TextWriter::WriteString(std::string_view text) {
  if (file_ == nullptr) return false;
  // Text mode stores each LF as CR LF and leaves every CR alone, so a CR LF in
  // the text comes out as CR CR LF.
  std::string stored;
  stored.reserve(text.size() + text.size() / 16 + 1);
  for (const char c : text) {
    if (c == '\n') stored.push_back('\r');
    stored.push_back(c);
  }
  if (!file_->Write(stored.data(), stored.size())) {
    ok_ = false;
    return false;
  }
  return true;
}

bool TextWriter::Close() {
  if (file_ == nullptr) return false;
  const bool closed = file_->Close();
  file_.reset();
  return closed && ok_;
}

std::optional<std::uint32_t> CountLines(FileSystem& fs, const std::string& path) {
  std::unique_ptr<BinaryFile> file = fs.Open(path, OpenMode::kReadShared);
  if (file == nullptr) return std::nullopt;
  return CountLines(*file);
}

std::optional<std::uint32_t> CountLines(BinaryFile& file) {
  // The reader's lines are the LFs plus an unterminated last line; nothing
  // else about a line changes the count, so a block at a time will do.
  std::vector<char> buffer(kChunkSize);
  std::uint32_t count = 0;
  char last = '\n';
  for (;;) {
    const std::size_t got = file.Read(buffer.data(), buffer.size());
    if (got < buffer.size() && file.failed()) return std::nullopt;
    count += static_cast<std::uint32_t>(CountNewlines(buffer.data(), got));
    if (got > 0) last = buffer[got - 1];
    if (got < buffer.size()) break;
  }
  if (last != '\n') ++count;
  return count;
}

}  // namespace korvel
