#include "exchange/inspect.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "camdb/parser.h"
#include "exchange/export.h"
#include "format/db_layout.h"
#include "format/package_layout.h"
#include "platform/path.h"

namespace korvel {
namespace {

using Json = nlohmann::ordered_json;

const char* KindName(FileKind kind) {
  switch (kind) {
    case FileKind::kDatabase:
      return "database";
    case FileKind::kPackage:
      return "K93 package";
    case FileKind::kUnknown:
      break;
  }
  return "unknown";
}

std::string HexOffset(std::uint32_t offset) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", offset);
  return text;
}

/// F, V from the file's name when it has the package form, D from the
/// database's version field.
PackageNameTags NameTags(const InspectEntry& entry) {
  PackageNameTags tags{"????", "????", "????"};
  if (auto named = ParsePackageName(NameOf(entry.path))) tags = *named;
  if (entry.file->decoded) tags.db = PrintableVersion(DbTagOf(entry.file->db.version));
  return tags;
}

std::uint64_t DbSize(const CameraFile& file) {
  return file.kind == FileKind::kPackage ? file.package.length[kDatabasePart] : file.size;
}

Json JsonOf(const InspectEntry& entry) {
  Json out;
  out["path"] = entry.path;
  if (!entry.file) {
    out["problem"] = entry.problem;
    out["valid"] = false;
    return out;
  }
  const CameraFile& file = *entry.file;
  out["kind"] = file.kind == FileKind::kPackage ? "package" : KindName(file.kind);
  if (entry.text_size != 0) {
    out["kind"] = "text";
    out["text_size"] = entry.text_size;
  }
  out["size"] = file.size;
  if (file.kind == FileKind::kPackage) {
    Json parts = Json::array();
    for (std::size_t i = 0; i < kPackageParts.size(); ++i) {
      parts.push_back({{"name", kPackageParts[i].name},
                       {"offset", kPackageParts[i].offset},
                       {"length", file.package.length[i]}});
    }
    out["parts"] = parts;
    const PackageNameTags tags = NameTags(entry);
    out["tags"] = {{"F", tags.fw}, {"V", tags.voice}, {"D", tags.db}};
  }
  if (file.decoded) {
    const DbSummary s = Summarize(file.db);
    Json db;
    db["version"] = PrintableVersion(file.db.version);
    db["version_line"] = PrintableVersion(K93Exchange(file.db.version));
    db["cells"] = s.cells;
    db["points"] = s.points;
    if (s.points > 0) {
      db["bbox"] = {{"min_lon", s.min_x / 1e4},
                    {"min_lat", s.min_y / 1e4},
                    {"max_lon", s.max_x / 1e4},
                    {"max_lat", s.max_y / 1e4}};
    }
    db["fullest_cell"] = {
        {"id", s.fullest_id}, {"count", s.fullest_count}, {"limit", kMaxPointsPerCell}};
    Json types = Json::object();
    for (const auto& [type, count] : s.per_type) types[std::to_string(type)] = count;
    db["types"] = types;
    db["size"] = DbSize(file);
    db["size_limit"] = kImageBufferSize;
    out["database"] = db;
  }
  Json faults = Json::array();
  if (file.kind == FileKind::kUnknown) faults.push_back(UnknownFileText(file));
  for (const std::string& fault : file.faults.kept()) faults.push_back(fault);
  out["faults"] = faults;
  out["fault_count"] = file.faults.total() + (file.kind == FileKind::kUnknown ? 1 : 0);
  out["valid"] = InspectValid(entry);
  return out;
}

}  // namespace

DbSummary Summarize(const DecodedDb& db) {
  DbSummary s;
  s.cells = db.cells.size();
  s.points = db.points.size();
  if (!db.points.empty()) {
    s.min_x = s.max_x = db.points[0].x;
    s.min_y = s.max_y = db.points[0].y;
  }
  for (const GPS_POINT& p : db.points) {
    s.min_x = std::min(s.min_x, p.x);
    s.max_x = std::max(s.max_x, p.x);
    s.min_y = std::min(s.min_y, p.y);
    s.max_y = std::max(s.max_y, p.y);
    ++s.per_type[p.type];
  }
  for (const GPS_HEADER& cell : db.cells) {
    if (cell.count > s.fullest_count) {
      s.fullest_count = cell.count;
      s.fullest_id = cell.id;
    }
  }
  return s;
}

bool InspectValid(const InspectEntry& entry) {
  return entry.file && entry.file->kind != FileKind::kUnknown && entry.file->decoded &&
         entry.file->faults.total() == 0;
}

std::string InspectText(const InspectEntry& entry) {
  if (!entry.file) return entry.path + ": " + entry.problem + "\n";
  const CameraFile& file = *entry.file;
  if (file.kind == FileKind::kUnknown) return entry.path + ": " + UnknownFileText(file) + "\n";
  std::string out = entry.path + ": ";
  if (entry.text_size != 0) {
    out +=
        "camera text, " + std::to_string(entry.text_size) + " bytes, which generate encodes as a ";
  }
  out += KindName(file.kind) + std::string(", ") + std::to_string(file.size) + " bytes\n";
  if (file.kind == FileKind::kPackage) {
    for (std::size_t i = 0; i < kPackageParts.size(); ++i) {
      out += "  " + std::string(kPackageParts[i].name) + ": " +
             std::to_string(file.package.length[i]) + " bytes at " +
             HexOffset(kPackageParts[i].offset) + "\n";
    }
    const PackageNameTags tags = NameTags(entry);
    out += "  name tags: F" + tags.fw + " V" + tags.voice + " D" + tags.db + "\n";
  }
  if (file.decoded) {
    const DbSummary s = Summarize(file.db);
    out += "  version: " + VersionText(file.db.version) + "\n";
    out += "  cells: " + std::to_string(s.cells) + ", points: " + std::to_string(s.points) + "\n";
    if (s.points > 0) {
      out += "  bounding box: longitude " + Degrees(s.min_x) + " to " + Degrees(s.max_x) +
             ", latitude " + Degrees(s.min_y) + " to " + Degrees(s.max_y) + "\n";
      out += "  fullest cell: " + std::to_string(s.fullest_id) + " with " +
             std::to_string(s.fullest_count) + " of " + std::to_string(kMaxPointsPerCell) +
             " points\n";
    }
    out += "  points per type:";
    if (s.per_type.empty()) out += " none";
    const char* separator = " ";
    for (const auto& [type, count] : s.per_type) {
      out += separator + std::to_string(type) + ": " + std::to_string(count);
      separator = ", ";
    }
    out += "\n  size: " + std::to_string(DbSize(file)) + " of " + std::to_string(kImageBufferSize) +
           " bytes" + (DbSize(file) > kImageBufferSize ? ", too large for a package\n" : "\n");
  }
  for (const std::string& fault : file.faults.kept()) out += "  fault: " + fault + "\n";
  const std::uint64_t total = file.faults.total();
  if (total > file.faults.kept().size()) {
    out += "  ... and " + std::to_string(total - file.faults.kept().size()) + " more faults\n";
  }
  out += total == 0 ? std::string("  valid\n") : "  " + std::to_string(total) + " faults\n";
  return out;
}

std::string InspectJsonEntry(const InspectEntry& entry, bool first) {
  // Laid out as a dump of the whole object would lay it out, where each
  // entry sits two levels deep: four more blanks on every line.
  const std::string text = JsonOf(entry).dump(2, ' ', false, Json::error_handler_t::replace);
  std::string out = first ? "{\n  \"files\": [\n    " : ",\n    ";
  out.reserve(out.size() + text.size() + text.size() / 8);
  for (char c : text) {
    out += c;
    if (c == '\n') out += "    ";
  }
  return out;
}

std::string InspectJsonEnd(bool any) {
  return any ? "\n  ]\n}\n" : "{\n  \"files\": []\n}\n";
}

std::string InspectJson(const std::vector<InspectEntry>& entries) {
  std::string out;
  for (const InspectEntry& entry : entries) out += InspectJsonEntry(entry, out.empty());
  return out + InspectJsonEnd(!entries.empty());
}

}  // namespace korvel
