#pragma once
// Text-mode files as the Windows runtime makes them: lines end with LF, a CR
// right before the LF belongs to the line end, and LF is stored as CR LF.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace korvel {

/// Reads a text file one line at a time.
class TextReader {
 public:
  /// No camera row or version line comes near this; a longer line is a fault,
  /// and the reader never holds more of it than this.
  static constexpr std::size_t kMaxLineLength = std::size_t{1} << 20;

  explicit TextReader(std::unique_ptr<BinaryFile> file);

  /// The next line without its line end, cut at its first NUL: the bytes after
  /// a NUL are never kept. An empty line gives true and empty text; an
  /// unterminated last line is a line. False only at the end with nothing
  /// read, or when the file could not be read (then failed() is true).
  bool ReadString(std::string& line);
  /// The same line as ReadString gives, as a view that stays valid until the
  /// next read. Lines that lie whole in the buffer are not copied.
  bool ReadLine(std::string_view& line);
  bool failed() const { return failed_; }
  /// True when the line ReadString just gave was longer than kMaxLineLength
  /// (NULs and what follows them counted); its text is then incomplete, and
  /// the rest of it is read past only by the next ReadString.
  bool too_long() const { return too_long_; }
  /// Where in the line just given its first NUL stood (the line is cut
  /// there), or npos when it held none.
  std::size_t nul_at() const { return nul_at_; }

 private:
  bool Fill();

  std::unique_ptr<BinaryFile> file_;
  std::vector<char> buffer_;
  std::string line_;  ///< the last line ReadLine had to assemble
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
  bool failed_ = false;
  bool too_long_ = false;
  bool skipping_ = false;  ///< the rest of a too long line is still to be skipped
  bool has_nul_ = false;   ///< the buffer holds a NUL somewhere
  std::size_t nul_at_ = std::string::npos;
};

/// Writes text in text mode: every LF is stored as CR LF.
class TextWriter {
 public:
  explicit TextWriter(std::unique_ptr<BinaryFile> file) : file_(std::move(file)) {}

  /// Moves to the end of the file, where the next WriteString appends.
  bool SeekToEnd();
  bool WriteString(std::string_view text);
  /// Flushes and releases the file; false when anything was not written.
  bool Close();

 private:
  std::unique_ptr<BinaryFile> file_;
  bool ok_ = true;
};

/// Counts lines the way TextReader reads them; nullopt when `path` cannot be
/// opened or read.
std::optional<std::uint32_t> CountLines(FileSystem& fs, const std::string& path);

/// The same for an open file, from where it stands.
std::optional<std::uint32_t> CountLines(BinaryFile& file);

}  // namespace korvel
