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

#include "exchange/import/osm_tags.h"

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

// The `from` node of the enforcement relation that names a camera as its device.
struct FromNode {
  std::int64_t relation = 0;
  std::int64_t node = 0;
};

// A camera whose bearing waits for its `from` node, and everything after it,
// kept so that callers still get them in node order.
struct Held {
  std::optional<OsmCamera> camera;
  std::vector<OsmProblem> problems;
  const FromNode* from = nullptr;
};

class CameraReader {
 public:
  CameraReader(const std::function<void(const OsmCamera&)>& camera,
               const std::function<void(const OsmProblem&)>& problem)
      : camera_(camera), problem_(problem) {}

  void Read(const osmium::io::File& file) {
    EachBuffer(file, osmium::osm_entity_bits::relation, [&](const osmium::memory::Buffer& buffer) {
      for (const osmium::Relation& relation : buffer.select<osmium::Relation>()) {
        NoteEnforcement(relation);
      }
    });
    EachBuffer(file, osmium::osm_entity_bits::node, [&](const osmium::memory::Buffer& buffer) {
      for (const osmium::Node& node : buffer.select<osmium::Node>()) Node(node);
    });
    for (Held& held : held_) Release(held);
  }

 private:
  void NoteEnforcement(const osmium::Relation& relation) {
    const char* type = relation.tags()["type"];
    if (!type || std::strcmp(type, "enforcement") != 0) return;
    std::optional<std::int64_t> from;
    for (const osmium::RelationMember& member : relation.members()) {
      if (member.type() == osmium::item_type::node && std::strcmp(member.role(), "from") == 0) {
        from = member.ref();
        break;
      }
    }
    if (!from) return;
    for (const osmium::RelationMember& member : relation.members()) {
      if (member.type() == osmium::item_type::node && std::strcmp(member.role(), "device") == 0) {
        devices_.try_emplace(member.ref(), FromNode{relation.id(), *from});
        from_locations_.try_emplace(*from);
      }
    }
  }

  void Node(const osmium::Node& node) {
    if (!from_locations_.empty()) {
      const auto from = from_locations_.find(node.id());
      if (from != from_locations_.end()) from->second = node.location();
    }
    const char* highway = node.tags()["highway"];
    if (!highway || std::strcmp(highway, "speed_camera") != 0 || !node.visible()) return;

    Held held;
    const auto problem = [&](bool error, std::string message) {
      held.problems.push_back(OsmProblem{node.id(), error, std::move(message)});
    };
    const auto tag = [&](const char* key) -> std::optional<std::string_view> {
      const char* value = node.tags()[key];
      return value ? std::optional<std::string_view>(value) : std::nullopt;
    };
    const std::optional<std::string_view> direction = tag("direction");
    const OsmCameraTags tags = ReadOsmCameraTags(tag("maxspeed"), direction);
    for (const std::string& warning : tags.warnings) problem(false, warning);
    const osmium::Location location = node.location();
    if (!location.is_defined()) {
      problem(true, "the node has no location: left out");
    } else {
      OsmCamera& camera = held.camera.emplace();
      camera.node_id = node.id();
      camera.lon = location.lon_without_check();
      camera.lat = location.lat_without_check();
      camera.speed = tags.speed;
      camera.dirtype = tags.dirtype;
      camera.direction = tags.direction;
      if (!direction) {
        const auto device = devices_.find(node.id());
        if (device != devices_.end()) held.from = &device->second;
      }
    }
    if (held_.empty() && !held.from) {
      Release(held);
    } else {
      held_.push_back(std::move(held));
    }
  }

  // Hands a camera and its problems over, with the bearing from its `from`
  // node when it waited for one.
  void Release(Held& held) {
    if (held.from) {
      OsmCamera& camera = *held.camera;
      const auto from = from_locations_.find(held.from->node);
      // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict for
      // a literal plus a temporary string.
      std::string place("enforcement relation ");
      place.append(std::to_string(held.from->relation))
          .append(": from node ")
          .append(std::to_string(held.from->node));
      std::optional<int> bearing;
      if (from == from_locations_.end() || !from->second.is_defined()) {
        held.problems.push_back(
            {camera.node_id, false, place.append(" is not in the file: DIRTYPE 0")});
      } else if (!(bearing =
                       InitialBearing(from->second.lon_without_check(),
                                      from->second.lat_without_check(), camera.lon, camera.lat))) {
        held.problems.push_back(
            {camera.node_id, false, place.append(" lies on the camera: DIRTYPE 0")});
      } else {
        camera.dirtype = 1;
        camera.direction = *bearing;
      }
    }
    for (const OsmProblem& problem : held.problems) problem_(problem);
    if (held.camera) camera_(*held.camera);
  }

  const std::function<void(const OsmCamera&)>& camera_;
  const std::function<void(const OsmProblem&)>& problem_;
  std::unordered_map<std::int64_t, FromNode> devices_;
  std::unordered_map<std::int64_t, osmium::Location> from_locations_;
  std::vector<Held> held_;
};

}  // namespace

bool ReadOsmCameras(const std::string& path, const std::function<void(const OsmCamera&)>& camera,
                    const std::function<void(const OsmProblem&)>& problem, std::string& failure) {
  try {
    const std::optional<std::string> format = FormatOf(path, failure);
    if (!format) return false;
    // libosmium reads "-" as standard input and fetches names starting
    // "http://" with curl; a relative path made explicit is always a file.
    const std::string name = path.starts_with('/') ? path : "./" + path;
    CameraReader(camera, problem).Read(osmium::io::File(name, *format));
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
