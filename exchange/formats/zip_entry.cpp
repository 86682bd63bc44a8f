#include "exchange/formats/zip_entry.h"

#include <zlib.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "camdb/problem.h"

namespace korvel {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50, kEntrySignature = 0x02014b50,
                        kLocalSignature = 0x04034b50;
/// The end record and the longest comment after it.
constexpr std::size_t kEndSearch = 22 + 0xFFFF;
/// A KMZ's directory names a few files; this is far beyond any.
constexpr std::uint32_t kMaxDirectory = 1 << 20;
constexpr std::size_t kChunk = 1 << 16;

std::uint32_t Get16(const unsigned char* p) {
  return p[0] | std::uint32_t{p[1]} << 8;
}
std::uint32_t Get32(const unsigned char* p) {
  return Get16(p) | Get16(p + 2) << 16;
}

bool ReadAt(BinaryFile& file, std::uint64_t offset, std::vector<unsigned char>& bytes,
            std::size_t size) {
  bytes.resize(size);
  return file.Seek(offset) && file.Read(bytes.data(), size) == size;
}

bool EndsWithLower(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() &&
         std::equal(suffix.begin(), suffix.end(), name.end() - suffix.size(), [](char a, char b) {
           return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
         });
}

/// What the central directory says of one entry.
struct Entry {
  std::string name;
  std::uint32_t method = 0, flags = 0, crc = 0, packed = 0, size = 0, local = 0;
};

/// Inflates (or copies, when stored) one entry's bytes from the archive.
class EntryFile : public BinaryFile {
 public:
  EntryFile(std::unique_ptr<BinaryFile> zip, const Entry& entry, std::uint64_t data)
      : zip_(std::move(zip)), entry_(entry), next_(data), in_(kChunk) {
    if (entry_.method == 8 && inflateInit2(&stream_, -MAX_WBITS) != Z_OK) failed_ = true;
    started_ = entry_.method == 8 && !failed_;
  }
  ~EntryFile() override {
    if (started_) inflateEnd(&stream_);
  }

  std::optional<std::uint64_t> GetLength() override { return entry_.size; }
  bool Seek(std::uint64_t) override { return false; }
  bool Write(const void*, std::size_t) override { return false; }
  bool Close() override { return true; }
  bool failed() const override { return failed_; }
  int error_code() const override { return 0; }

  std::size_t Read(void* data, std::size_t size) override {
    if (failed_ || done_) return 0;
    const std::size_t got = entry_.method == 8 ? Inflate(data, size) : Copy(data, size);
    out_ += got;
    crc_ = crc32(crc_, static_cast<const Bytef*>(data), static_cast<uInt>(got));
    if (out_ > entry_.size || out_ > kMaxZipEntry) failed_ = true;
    if (got == 0 && !failed_) {
      done_ = true;
      failed_ = out_ != entry_.size || crc_ != entry_.crc;
    }
    return failed_ ? 0 : got;
  }

 private:
  /// The next compressed bytes into in_; false at their end.
  bool Fill() {
    const std::uint64_t left = entry_.packed - read_;
    if (left == 0) return false;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
    if (!zip_->Seek(next_ + read_) || zip_->Read(in_.data(), want) != want) {
      failed_ = true;
      return false;
    }
    read_ += want;
    stream_.next_in = in_.data();
    stream_.avail_in = static_cast<uInt>(want);
    return true;
  }

  std::size_t Copy(void* data, std::size_t size) {
    const std::uint64_t left = entry_.packed - read_;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, size));
    if (want == 0) return 0;
    if (!zip_->Seek(next_ + read_) || zip_->Read(data, want) != want) {
      failed_ = true;
      return 0;
    }
    read_ += want;
    return want;
  }

  std::size_t Inflate(void* data, std::size_t size) {
    stream_.next_out = static_cast<Bytef*>(data);
    stream_.avail_out = static_cast<uInt>(std::min<std::size_t>(size, kChunk));
    const uInt wanted = stream_.avail_out;
    while (stream_.avail_out == wanted && !ended_) {
      if (stream_.avail_in == 0 && !Fill()) break;
      const int result = inflate(&stream_, Z_NO_FLUSH);
      if (result == Z_STREAM_END) {
        ended_ = true;
      } else if (result != Z_OK && result != Z_BUF_ERROR) {
        failed_ = true;
        return 0;
      }
    }
    return wanted - stream_.avail_out;
  }

  std::unique_ptr<BinaryFile> zip_;
  Entry entry_;
  std::uint64_t next_;      ///< where the entry's bytes start
  std::uint64_t read_ = 0;  ///< compressed bytes taken
  std::uint64_t out_ = 0;   ///< bytes handed out
  std::vector<unsigned char> in_;
  z_stream stream_{};
  uLong crc_ = crc32(0, Z_NULL, 0);
  bool started_ = false, ended_ = false, done_ = false, failed_ = false;
};

/// The central directory's entries; false when the archive has none readable.
bool ReadDirectory(BinaryFile& zip, std::vector<Entry>& entries, std::string& failure) {
  const std::uint64_t length = zip.GetLength().value_or(0);
  const std::size_t tail = static_cast<std::size_t>(std::min<std::uint64_t>(length, kEndSearch));
  std::vector<unsigned char> bytes;
  if (tail < 22 || !ReadAt(zip, length - tail, bytes, tail)) {
    failure = "not a zip archive: too short";
    return false;
  }
  std::optional<std::size_t> end;
  for (std::size_t at = tail - 22 + 1; at-- > 0;) {
    if (Get32(&bytes[at]) == kEndSignature) {
      end = at;
      break;
    }
  }
  if (!end) {
    failure = "not a zip archive: no end of its directory";
    return false;
  }
  const std::uint32_t size = Get32(&bytes[*end + 12]), offset = Get32(&bytes[*end + 16]);
  if (size > kMaxDirectory || std::uint64_t{offset} + size > length ||
      !ReadAt(zip, offset, bytes, size)) {
    failure = "the zip directory lies outside the archive (a ZIP64 or broken archive)";
    return false;
  }
  for (std::size_t at = 0; at + 46 <= bytes.size() && Get32(&bytes[at]) == kEntrySignature;) {
    const unsigned char* p = &bytes[at];
    const std::size_t name = Get16(p + 28), extra = Get16(p + 30), comment = Get16(p + 32);
    if (at + 46 + name > bytes.size()) break;
    entries.push_back({std::string(reinterpret_cast<const char*>(p + 46), name), Get16(p + 10),
                       Get16(p + 8), Get32(p + 16), Get32(p + 20), Get32(p + 24), Get32(p + 42)});
    at += 46 + name + extra + comment;
  }
  return true;
}

}  // namespace

std::unique_ptr<BinaryFile> OpenZipEntry(std::unique_ptr<BinaryFile> zip,
                                         std::string_view preferred, std::string_view suffix,
                                         std::string& failure) {
  std::vector<Entry> entries;
  if (!ReadDirectory(*zip, entries, failure)) return nullptr;
  const auto named = std::find_if(entries.begin(), entries.end(),
                                  [&](const Entry& e) { return e.name == preferred; });
  const auto found = named != entries.end()
                         ? named
                         : std::find_if(entries.begin(), entries.end(), [&](const Entry& e) {
                             return EndsWithLower(e.name, suffix);
                           });
  if (found == entries.end()) {
    failure = "the zip archive holds no " + std::string(suffix) + " file";
    return nullptr;
  }
  if ((found->flags & 1) != 0 || (found->method != 0 && found->method != 8)) {
    failure = ShownText(found->name) + " in the zip archive is encrypted or packed with method " +
              std::to_string(found->method) + ", which is not read (only stored and deflated)";
    return nullptr;
  }
  std::vector<unsigned char> local;
  if (!ReadAt(*zip, found->local, local, 30) || Get32(local.data()) != kLocalSignature) {
    failure = "the zip entry " + ShownText(found->name) + " cannot be found in the archive";
    return nullptr;
  }
  const std::uint64_t data =
      std::uint64_t{found->local} + 30 + Get16(&local[26]) + Get16(&local[28]);
  return std::make_unique<EntryFile>(std::move(zip), *found, data);
}

}  // namespace korvel
