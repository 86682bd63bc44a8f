// The OpenStreetMap reader on libosmium's objects. A file is read in two
// streaming passes: the enforcement relations first, since they come after the
// nodes they name, then the nodes, keeping only the cameras and the `from` nodes.

#include "exchange/formats/osm_reader.h"

#include <optional>
#include <string_view>
#include <vector>

#include <osmium/osm/node.hpp>
#include <osmium/osm/relation.hpp>

#include "exchange/formats/osm_pbf.h"
#include "exchange/formats/osm_tags.h"
#include "exchange/formats/osm_xml.h"

namespace korvel {
namespace {

// libosmium's format name for the file's first bytes, or nullopt. The
// extension is never asked: a .osm may hold PBF.
std::optional<std::string> FormatOf(std::string_view bytes) {
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
  return std::nullopt;
}

/// The tags of an OSM object, by key.
OsmTagLookup Tags(const osmium::TagList& tags) {
  return [&tags](std::string_view key) -> std::optional<std::string_view> {
    const char* value = tags[std::string(key).c_str()];
    return value ? std::optional<std::string_view>(value) : std::nullopt;
  };
}

// One pass of the file in `format`.
void EachBuffer(SourceFile& source, std::string_view head, const std::string& format,
                osmium::osm_entity_bits::type which, const OsmBufferHandler& handle) {
  if (format == "pbf") {
    ReadPbfPass(source, head, which, handle);
  } else {
    ReadOsmXmlPass(source, head, format, which, handle);
  }
}

/// Hands the relations, then the nodes, to the assembler.
void ReadCameras(SourceFile& source, std::string_view head, const std::string& format,
                 OsmCameraAssembler& cameras) {
  std::vector<OsmMember> members;
  EachBuffer(source, head, format, osmium::osm_entity_bits::relation,
             [&](const osmium::memory::Buffer& buffer) {
               for (const osmium::Relation& relation : buffer.select<osmium::Relation>()) {
                 members.clear();
                 for (const osmium::RelationMember& member : relation.members()) {
                   members.push_back(
                       {member.type() == osmium::item_type::node, member.ref(), member.role()});
                 }
                 cameras.Relation(relation.id(), Tags(relation.tags()), members);
               }
             });
  EachBuffer(source, head, format, osmium::osm_entity_bits::node,
             [&](const osmium::memory::Buffer& buffer) {
               for (const osmium::Node& node : buffer.select<osmium::Node>()) {
                 const osmium::Location location = node.location();
                 cameras.Node(node.id(), node.visible(),
                              location.is_defined()
                                  ? std::optional<OsmLocation>(OsmLocation{
                                        location.lon_without_check(), location.lat_without_check()})
                                  : std::nullopt,
                              Tags(node.tags()));
               }
             });
  cameras.Finish();
}

}  // namespace

bool ReadOsmCameras(SourceFile& source, const std::function<void(const OsmCamera&)>& camera,
                    const std::function<void(const OsmProblem&)>& problem, Problem& failure,
                    const FieldRules& rules) {
  const auto fail = [&](std::string why) {
    failure = FileProblem(source.path(), std::move(why));
    return false;
  };
  std::string_view peeked;
  if (!source.Peek(peeked, failure)) return false;
  // A copy: the peeked bytes go to the first pass's file.
  const std::string head(peeked);
  const std::optional<std::string> format = FormatOf(head);
  if (!format) return fail(std::string(kNotOsmFile));
  try {
    OsmCameraAssembler cameras(rules, camera, problem);
    ReadCameras(source, head, *format, cameras);
    return true;
  } catch (const OsmSourceFailure& error) {
    failure = error.problem;
    return false;
  } catch (const std::exception& error) {
    return fail(error.what());
  } catch (...) {
    return fail("the OpenStreetMap reader failed");
  }
}

}  // namespace korvel
