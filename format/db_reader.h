#pragma once
// Reads a device database or a K93 package back. The kind of a file is told by
// its content alone: a package's header lengths must fit the fixed layout and
// the file must end right after the database; a database must start with the
// magic 200 and its counts must fit the file. Every count and offset is
// checked against the length before it is used, and every structural fault is
// collected, so a damaged file still shows what it holds.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "camdb/gps_point.h"
#include "format/db_layout.h"
#include "format/package_layout.h"
#include "platform/bytes.h"

namespace korvel {

/// Shown for a file that is neither of the two kinds.
inline constexpr char kNotCameraFile[] = "not a camera database or K93 package";

/// Inputs longer than this are refused before they are read.
inline constexpr std::uint64_t kMaxCameraFileLength = std::uint64_t{512} << 20;

struct DecodedDb {
  std::uint32_t headerCount = 0;
  std::uint32_t bodyCount = 0;
  std::string version;  ///< the 11 version bytes
  std::vector<GPS_HEADER> cells;
  std::vector<GPS_POINT> points;
};

enum class FileKind { kUnknown, kDatabase, kPackage };

/// A faults list that keeps the first few in words and counts all of them,
/// so a badly damaged file cannot fill memory with messages.
class Faults {
 public:
  static constexpr std::size_t kKept = 50;
  void Add(std::string text);
  const std::vector<std::string>& kept() const { return kept_; }
  std::uint64_t total() const { return total_; }

 private:
  std::vector<std::string> kept_;
  std::uint64_t total_ = 0;
};

struct CameraFile {
  FileKind kind = FileKind::kUnknown;
  std::uint64_t size = 0;
  PackageParts package;  ///< for a package
  /// Whether `db` holds the tables: false when the database (or a package's
  /// database part) is too damaged for its counts to be trusted.
  bool decoded = false;
  DecodedDb db;
  Faults faults;
  /// For kUnknown: the kind whose header the file starts with when it ends
  /// too early for it (cut short in a copy or a download), and the bytes that
  /// header needs at least.
  FileKind cut_kind = FileKind::kUnknown;
  std::uint64_t expected_size = 0;
};

/// Tells the kind of `bytes` and decodes it, collecting every fault.
CameraFile ReadCameraFile(std::span<const std::uint8_t> bytes);

/// Why a kUnknown file cannot be read: "truncated: N bytes, at least M
/// expected" when it starts like one of ours, else kNotCameraFile.
std::string UnknownFileText(const CameraFile& file);

/// Decodes a bare database; nullopt on any fault, the first one in `error`.
std::optional<DecodedDb> DecodeDb(const Bytes& bytes, std::string* error);

/// The version field with bytes outside printable ASCII written as \xNN, so
/// it can go to a terminal, JSON or XML as it stands.
std::string PrintableVersion(std::string_view version);

}  // namespace korvel
