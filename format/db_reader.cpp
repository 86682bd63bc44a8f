#include "format/db_reader.h"

#include <cstdio>

#include "camdb/parser.h"

namespace korvel {
namespace {

using ByteSpan = std::span<const std::uint8_t>;

std::string Hex(std::uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

/// Cells the header announces: one more than headerCount, except that an
/// empty database writes 0 for no cells at all.
std::uint64_t CellCount(std::uint32_t header_count, std::uint32_t body_count) {
  return header_count == 0 && body_count == 0 ? 0 : std::uint64_t{header_count} + 1;
}

/// Whether `bytes` starts like a database whose tables lie within it.
bool LooksLikeDatabase(ByteSpan bytes) {
  if (bytes.size() < kDbHeaderSize || LoadU32(bytes.data() + kDbMagicOffset) != kDbMagic) {
    return false;
  }
  const std::uint32_t points = LoadU32(bytes.data() + kDbPointCountOffset);
  return DatabaseSize(CellCount(LoadU32(bytes.data() + kDbCellCountOffset), points), points) <=
         bytes.size();
}

/// Whether the header's lengths fit the package layout and the file ends
/// right after the database.
bool LooksLikePackage(ByteSpan bytes, PackageParts& parts) {
  if (bytes.size() < kPackageHeaderSize) return false;
  for (std::size_t i = 0; i < kPackageParts.size(); ++i) {
    parts.length[i] = LoadU32(bytes.data() + kPackageParts[i].length_offset);
  }
  // The images must fit their rooms; the database is the rest of the file.
  return parts.length[kFirmwarePart] <= kPackageParts[kFirmwarePart].room &&
         parts.length[kVoicePart] <= kPackageParts[kVoicePart].room &&
         bytes.size() ==
             std::uint64_t{kPackageParts[kDatabasePart].offset} + parts.length[kDatabasePart];
}

/// For a file that is neither kind: whether it starts with a header of ours
/// and ends before what that header describes. A database header is its
/// magic; a package header, whose bytes are mostly lengths, needs both
/// images present, every length within its room and its zero bytes zero.
void NoteCutShort(ByteSpan bytes, CameraFile& file) {
  std::uint64_t expected = 0;
  if (bytes.size() >= 4 && LoadU32(bytes.data() + kDbMagicOffset) == kDbMagic) {
    file.cut_kind = FileKind::kDatabase;
    expected = kDbHeaderSize;
    if (bytes.size() >= kDbHeaderSize) {
      const std::uint32_t points = LoadU32(bytes.data() + kDbPointCountOffset);
      expected =
          DatabaseSize(CellCount(LoadU32(bytes.data() + kDbCellCountOffset), points), points);
    }
  } else if (bytes.size() >= kPackageHeaderSize && bytes[0] == 0 && bytes[13] == 0 &&
             bytes[14] == 0 && bytes[15] == 0) {
    PackageParts parts;
    for (std::size_t i = 0; i < kPackageParts.size(); ++i) {
      parts.length[i] = LoadU32(bytes.data() + kPackageParts[i].length_offset);
      if (parts.length[i] == 0 || parts.length[i] > kPackageParts[i].room) return;
    }
    file.cut_kind = FileKind::kPackage;
    expected = std::uint64_t{kPackageParts[kDatabasePart].offset} + parts.length[kDatabasePart];
  }
  if (expected > bytes.size()) {
    file.expected_size = expected;
  } else {
    file.cut_kind = FileKind::kUnknown;
  }
}

void CheckVersion(const std::string& version, const std::string& prefix, Faults& faults) {
  if (version.empty() || version[0] != 'V')
    faults.Add(prefix + "version field does not start with V");
  for (std::size_t i = 1; i < 5 && i < version.size(); ++i) {
    if (version[i] == '\0' || version[i] == '\n') {
      faults.Add(prefix + "version byte " + std::to_string(i) + " cannot stand in a text line");
    }
  }
  if (const std::size_t bad = FindBadVersionChar(version); bad != std::string_view::npos) {
    faults.Add(prefix + "version character " + std::to_string(bad) +
               " cannot stand in a file name");
  }
}

void CheckTables(const DecodedDb& db, std::uint64_t size, const std::string& prefix,
                 Faults& faults) {
  const std::uint64_t points = db.points.size();
  const std::uint64_t table_start = kDbHeaderSize + kCellEntrySize * db.cells.size();
  const std::uint64_t table_end = table_start + kGpsPointSize * points;
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < db.cells.size(); ++i) {
    const GPS_HEADER& cell = db.cells[i];
    const std::string where = prefix + "cell " + std::to_string(i) + ": ";
    if (i > 0 && cell.id <= db.cells[i - 1].id) faults.Add(where + "id not above the one before");
    if (cell.count == 0) faults.Add(where + "no points");
    const std::uint64_t expected = table_start + kGpsPointSize * sum;
    if (cell.offset < table_start || cell.offset + kGpsPointSize * cell.count > table_end ||
        cell.offset > size) {
      faults.Add(where + "offset " + std::to_string(cell.offset) + " lies outside the points");
    } else if (cell.offset != expected) {
      faults.Add(where + "offset " + std::to_string(cell.offset) + " where its points start at " +
                 std::to_string(expected));
    }
    if (sum + cell.count > points) {
      faults.Add(where + "count runs past the last point");
    }
    for (std::uint64_t p = sum; p < sum + cell.count && p < points; ++p) {
      if (db.points[p].id != cell.id) {
        faults.Add(where + "point " + std::to_string(p) + " has id " +
                   std::to_string(db.points[p].id) + ", not the cell's " + std::to_string(cell.id));
        break;
      }
    }
    sum += cell.count;
  }
  if (sum != points) {
    faults.Add(prefix + "cell counts add up to " + std::to_string(sum) + ", the header says " +
               std::to_string(points) + " points");
  }
  for (std::size_t i = 0; i < db.points.size(); ++i) {
    const GPS_POINT& point = db.points[i];
    const std::string where = prefix + "point " + std::to_string(i) + ": ";
    if (point.reserved != 0) faults.Add(where + "reserved byte is not 0");
    if (point.id != CellId(point.x, point.y)) {
      faults.Add(where + "id " + std::to_string(point.id) + " is not the cell of its position (" +
                 std::to_string(CellId(point.x, point.y)) + ")");
    }
    if (i > 0 && point < db.points[i - 1]) faults.Add(where + "out of order");
  }
}

/// Decodes a database that fills `bytes`; false when its tables cannot be
/// read at all.
bool DecodeInto(ByteSpan bytes, const std::string& prefix, DecodedDb& db, Faults& faults) {
  if (bytes.size() < kDbHeaderSize) {
    faults.Add(prefix + "shorter than the 23-byte header");
    return false;
  }
  const std::uint8_t* data = bytes.data();
  if (const std::uint32_t magic = LoadU32(data + kDbMagicOffset); magic != kDbMagic) {
    faults.Add(prefix + "magic is " + std::to_string(magic) + ", not 200");
  }
  db.headerCount = LoadU32(data + kDbCellCountOffset);
  db.bodyCount = LoadU32(data + kDbPointCountOffset);
  db.version.assign(reinterpret_cast<const char*>(data + kDbVersionOffset), kDbVersionSize);
  CheckVersion(db.version, prefix, faults);

  // The encoder writes a cell count of 0 for an empty database; any other
  // count there has no cells to describe.
  if (db.bodyCount == 0 && db.headerCount != 0) faults.Add(prefix + "cells counted without points");
  const std::uint64_t cells = CellCount(db.headerCount, db.bodyCount);
  const std::uint64_t end = DatabaseSize(cells, db.bodyCount);
  if (end > bytes.size()) {
    faults.Add(prefix + "the counts give " + std::to_string(end) + " bytes, there are " +
               std::to_string(bytes.size()));
    return false;
  }
  if (end < bytes.size()) {
    faults.Add(prefix + std::to_string(bytes.size() - end) + " bytes after the last point");
  }
  db.cells.reserve(cells);
  db.points.reserve(db.bodyCount);
  const std::uint8_t* p = data + kDbHeaderSize;
  for (std::uint64_t i = 0; i < cells; ++i, p += kCellEntrySize) {
    db.cells.push_back(GPS_HEADER{LoadU32(p), LoadU16(p + 4), LoadU32(p + 6)});
  }
  for (std::uint32_t i = 0; i < db.bodyCount; ++i, p += kGpsPointSize) {
    db.points.push_back(DecodeImage(p));
  }
  CheckTables(db, bytes.size(), prefix, faults);
  return true;
}

/// The first non-zero byte in [from, to), or `to`.
std::uint64_t FirstNonZero(ByteSpan bytes, std::uint64_t from, std::uint64_t to) {
  for (std::uint64_t i = from; i < to; ++i) {
    if (bytes[i] != 0) return i;
  }
  return to;
}

void CheckPackage(ByteSpan bytes, CameraFile& file) {
  const PackageParts& parts = file.package;
  for (std::size_t i : {std::size_t{0}, std::size_t{13}, std::size_t{14}, std::size_t{15}}) {
    if (bytes[i] != 0) {
      file.faults.Add("header byte " + std::to_string(i) + " is " + Hex(bytes[i], 2) + ", not 0");
    }
  }
  // The zero fill after each image, up to the next part.
  for (std::size_t i = 0; i + 1 < kPackageParts.size(); ++i) {
    const std::uint64_t from = kPackageParts[i].offset + std::uint64_t{parts.length[i]};
    const std::uint64_t to = kPackageParts[i + 1].offset;
    if (const std::uint64_t at = FirstNonZero(bytes, from, to); at != to) {
      file.faults.Add(std::string("fill after the ") + kPackageParts[i].name + " is not zero at " +
                      Hex(at, 6));
    }
  }
  const PackagePart& db = kPackageParts[kDatabasePart];
  if (parts.length[kDatabasePart] > db.room) {
    file.faults.Add("database is " + std::to_string(parts.length[kDatabasePart]) +
                    " bytes, over the " + std::to_string(db.room) + " a package may carry");
  }
  file.decoded = DecodeInto(bytes.subspan(db.offset), "database: ", file.db, file.faults);
}

}  // namespace

void Faults::Add(std::string text) {
  ++total_;
  if (kept_.size() < kKept) kept_.push_back(std::move(text));
}

CameraFile ReadCameraFile(ByteSpan bytes) {
  CameraFile file;
  file.size = bytes.size();
  if (LooksLikeDatabase(bytes)) {
    file.kind = FileKind::kDatabase;
    file.decoded = DecodeInto(bytes, "", file.db, file.faults);
  } else if (LooksLikePackage(bytes, file.package)) {
    file.kind = FileKind::kPackage;
    CheckPackage(bytes, file);
  } else {
    NoteCutShort(bytes, file);
  }
  return file;
}

std::string UnknownFileText(const CameraFile& file) {
  if (file.cut_kind == FileKind::kUnknown) return kNotCameraFile;
  return "truncated: " + std::to_string(file.size) + " bytes, at least " +
         std::to_string(file.expected_size) + " expected";
}

std::optional<DecodedDb> DecodeDb(const Bytes& bytes, std::string* error) {
  CameraFile file = ReadCameraFile(bytes);
  if (file.kind != FileKind::kDatabase || !file.decoded || file.faults.total() != 0) {
    if (error != nullptr) {
      *error =
          file.kind != FileKind::kDatabase ? UnknownFileText(file) : file.faults.kept().front();
    }
    return std::nullopt;
  }
  return std::move(file.db);
}

std::string PrintableVersion(std::string_view version) {
  std::string text;
  for (char c : version) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '\\') {
      text.push_back(c);
    } else if (c == '\\') {
      text += "\\\\";
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    }
  }
  return text;
}

}  // namespace korvel
