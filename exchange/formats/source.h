#pragma once
// What every import format hands on: camera rows with the place they come
// from, and problems at such places. One reader per format turns its file
// into these; merging, de-duplication and the messages are written once, in
// import.cpp.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "camdb/camera_rules.h"
#include "camdb/problem.h"
#include "exchange/formats/field_rules.h"
#include "platform/file_system.h"

namespace korvel {

/// Where a camera or a problem is: which input (an index the caller gives
/// meaning to) and where in it. Small, since every kept camera carries one.
struct Place {
  std::uint32_t input = 0;
  PlaceKind kind = PlaceKind::kFile;
  std::int64_t number = 0;
};

/// One camera as its source says it, before any check.
struct SourceCamera {
  Place place;
  /// Degrees as the source gives them; NaN when missing or unreadable.
  double x = 0, y = 0;
  /// A camera text's coordinates as the parser stores them, which can be one
  /// unit below the nearest: kept, so the same database comes back.
  std::optional<std::uint32_t> stored_x, stored_y;
  /// Missing fields stay empty; TYPE then comes from --type, the others are 0.
  std::optional<std::int64_t> fields[kFieldCount];
  /// Marked as one of the two sample rows every database carries.
  bool sample = false;
};

struct SourceProblem {
  Place place;
  ProblemKind kind = ProblemKind::kError;
  std::string message;
};

/// Receives what a reader finds, in source order.
class CameraSink {
 public:
  virtual ~CameraSink() = default;
  virtual void Camera(const SourceCamera& camera) = 0;
  virtual void Problem(const SourceProblem& problem) = 0;
  /// The version line the source carries (a camera text, our own exports).
  virtual void Version(const std::string& line) = 0;
  /// About how many rows the source holds, told before the first: a hint
  /// for reserving room, never a promise.
  virtual void Expect(std::uint64_t rows) { (void)rows; }
  /// The cameras come from OpenStreetMap data (under its licence), told by
  /// readers of formats that may hold other data too.
  virtual void FromOpenStreetMap() {}
  /// An option the input cannot honour (a --values map for a field it has no
  /// source for, --field X on OpenStreetMap data): the import stops with the
  /// usage error "OPTION: PATH WHY" once the input is read.
  virtual void Refuse(const Place& place, std::string option, std::string why) {
    (void)place, (void)option, (void)why;
  }
  /// The user's --field and --values, for every reader.
  virtual const FieldRules& Fields() const {
    static const FieldRules kBuiltIn;
    return kBuiltIn;
  }
};

/// How reading a source ended.
enum class SourceOutcome {
  kRead,        ///< to its end; its rows' own problems went to the sink
  kUnreadable,  ///< the system could not open or read it
  kMalformed,   ///< it is not what its format says: broken JSON, no header...
};

/// One input of an import, opened once: through the file system, or
/// standard input for "-" when the caller gives it. Its first bytes can be
/// peeked to tell its format; the reader then gets them again.
class SourceFile {
 public:
  using Opener = std::function<std::unique_ptr<BinaryFile>()>;
  /// `standard_input` (may be empty) opens what "-" reads.
  SourceFile(FileSystem& fs, std::string path, Opener standard_input = {});

  const std::string& path() const { return path_; }

  /// Up to the first 4096 bytes. False with `failure` set when the file
  /// cannot be opened or read.
  bool Peek(std::string_view& head, Problem& failure);

  /// The file from its first byte. A second call opens it again, which
  /// standard input cannot. Null with `failure` set.
  std::unique_ptr<BinaryFile> Open(Problem& failure);

 private:
  bool OpenOnce(Problem& failure);

  FileSystem& fs_;
  std::string path_;
  Opener standard_input_;
  std::unique_ptr<BinaryFile> file_;
  std::string head_;
  bool peeked_ = false;
  bool opened_ = false;
};

/// One source format's reader.
class CameraSource {
 public:
  virtual ~CameraSource() = default;
  /// Streams `file` (input number `input`) into `sink`. Unless kRead,
  /// `failure` says why and where.
  virtual SourceOutcome Read(SourceFile& file, std::uint32_t input, CameraSink& sink,
                             Problem& failure) = 0;
};

/// Where `text` holds its first control character (a byte below 0x20, or
/// 0x7F), or npos. A version line holding one would break the text it heads.
std::size_t FindControlChar(std::string_view text);

/// `text` in double quotes, its control characters written as \r, \n, \t,
/// \0 or \xNN so that a message stays one line.
std::string QuotedLine(std::string_view text);

/// The error for a version line holding a control character, empty when it
/// holds none: "WHAT \"LINE\" holds a control character at character N".
std::string VersionControlProblem(std::string_view what, std::string_view line);

}  // namespace korvel
