// The OpenStreetMap reader on libosmium. A file is read in up to two streaming
// passes: the enforcement relations first, since they come after the nodes they
// name, then the nodes, keeping only the cameras and the `from` nodes.

#include "exchange/import/osm_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <osmium/io/bzip2_compression.hpp>
#include <osmium/io/gzip_compression.hpp>
#include <osmium/io/pbf_input.hpp>
#include <osmium/io/reader.hpp>
#include <osmium/io/xml_input.hpp>
#include <osmium/osm/node.hpp>
#include <osmium/osm/relation.hpp>

namespace korvel {
namespace {

constexpr std::string_view kNotOsm = "not an OpenStreetMap file";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// libosmium's format name for the file's first bytes, or nullopt with
// `failure` set. The extension is never asked: a .osm may hold PBF.
std::optional<std::string> FormatOf(const std::string& path, std::string& failure) {
  errno = 0;
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    failure = std::strerror(errno);
    return std::nullopt;
  }
  unsigned char head[64];
  const std::size_t size = std::fread(head, 1, sizeof head, file.get());
  if (std::ferror(file.get())) {
    failure = std::strerror(errno);
    return std::nullopt;
  }
  const std::string_view bytes(reinterpret_cast<const char*>(head), size);
  // A PBF file starts with the 4-byte length of a blob header whose first
  // field is the type "OSMHeader".
  if (bytes.size() >= 15 && bytes.substr(4, 11) == std::string_view("\x0a\x09OSMHeader", 11)) {
    return "pbf";
  }
  if (bytes.starts_with("\x1f\x8b")) return "osm.gz";
  if (bytes.starts_with("BZh")) return "osm.bz2";
  std::string_view text = bytes;
  if (text.starts_with("\xef\xbb\xbf")) text.remove_prefix(3);
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start != std::string_view::npos && text[start] == '<') return "osm";
  failure = kNotOsm;
  return std::nullopt;
}

template <typename Handle>
void EachBuffer(const osmium::io::File& file, osmium::osm_entity_bits::type which, Handle handle) {
  osmium::io::Reader reader(file, which, osmium::io::read_meta::no);
  while (osmium::memory::Buffer buffer = reader.read()) handle(buffer);
  reader.close();
}

/// The tags of an OSM object, by key.
OsmTagLookup Tags(const osmium::TagList& tags) {
  return [&tags](std::string_view key) -> std::optional<std::string_view> {
    const char* value = tags[std::string(key).c_str()];
    return value ? std::optional<std::string_view>(value) : std::nullopt;
  };
}

/// Hands the relations, then the nodes, to the assembler.
void ReadCameras(const osmium::io::File& file, OsmCameraAssembler& cameras) {
  std::vector<OsmMember> members;
  EachBuffer(file, osmium::osm_entity_bits::relation, [&](const osmium::memory::Buffer& buffer) {
    for (const osmium::Relation& relation : buffer.select<osmium::Relation>()) {
      members.clear();
      for (const osmium::RelationMember& member : relation.members()) {
        members.push_back({member.type() == osmium::item_type::node, member.ref(), member.role()});
      }
      cameras.Relation(relation.id(), Tags(relation.tags()), members);
    }
  });
  EachBuffer(file, osmium::osm_entity_bits::node, [&](const osmium::memory::Buffer& buffer) {
    for (const osmium::Node& node : buffer.select<osmium::Node>()) {
      const osmium::Location location = node.location();
      cameras.Node(node.id(), node.visible(),
                   location.is_defined()
                       ? std::optional<OsmLocation>(OsmLocation{location.lon_without_check(),
                                                                location.lat_without_check()})
                       : std::nullopt,
                   Tags(node.tags()));
    }
  });
  cameras.Finish();
}

}  // namespace

bool ReadOsmCameras(const std::string& path, const std::function<void(const OsmCamera&)>& camera,
                    const std::function<void(const OsmProblem&)>& problem, std::string& failure,
                    const FieldRules& rules) {
  try {
    const std::optional<std::string> format = FormatOf(path, failure);
    if (!format) return false;
    // libosmium reads "-" as standard input and fetches names starting
    // "http://" with curl; a relative path made explicit is always a file.
    const std::string name = path.starts_with('/') ? path : "./" + path;
    OsmCameraAssembler cameras(rules, camera, problem);
    ReadCameras(osmium::io::File(name, *format), cameras);
    return true;
  } catch (const osmium::xml_error& error) {
    const bool other_xml =
        std::string_view(error.what()).find("Unknown top-level element") != std::string_view::npos;
    failure = other_xml ? std::string(kNotOsm) : error.what();
  } catch (const std::exception& error) {
    failure = error.what();
  } catch (...) {
    failure = "the OpenStreetMap reader failed";
  }
  return false;
}

}  // namespace korvel
