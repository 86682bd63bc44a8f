#include "exchange/formats/osm_json.h"

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

#include "exchange/formats/osm_source.h"
#include "exchange/formats/osm_tags.h"

namespace korvel {
namespace {

using nlohmann::json;
using Tags = std::vector<std::pair<std::string, std::string>>;

/// The string members of `object` (numbers as their text) into `tags`.
void AddTags(const json& object, Tags& tags) {
  if (!object.is_object()) return;
  for (const auto& [key, value] : object.items()) {
    if (value.is_string()) {
      tags.emplace_back(key, value.get<std::string>());
    } else if (value.is_number()) {
      tags.emplace_back(key, value.dump());
    }
  }
}

OsmTagLookup Lookup(const Tags& tags) {
  return [&tags](std::string_view key) -> std::optional<std::string_view> {
    for (const auto& [name, value] : tags) {
      if (name == key) return value;
    }
    return std::nullopt;
  };
}

std::optional<std::int64_t> Integer(const json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_number_integer()) return std::nullopt;
  return found->get<std::int64_t>();
}

}  // namespace

OsmJson::OsmJson(std::uint32_t input, int default_type, CameraSink& sink, const FieldMap& fields)
    : input_(input),
      default_type_(default_type),
      sink_(sink),
      fields_(fields),
      assembler_(
          sink.Fields(),
          [this](const OsmCamera& osm) {
            if (cameras_++ == 0) sink_.FromOpenStreetMap();
            bool left_out = false;
            const SourceCamera camera = OsmSourceCamera(osm, Place{input_, kind_, osm.node_id},
                                                        default_type_, fields_, sink_, left_out);
            if (!left_out) sink_.Camera(camera);
          },
          [this](const OsmProblem& problem) {
            sink_.Problem({Place{input_, kind_, problem.node_id},
                           problem.error ? ProblemKind::kError : ProblemKind::kWarning,
                           problem.message});
          }) {}

bool OsmJson::IsOsm(const json& properties) {
  for (const char* key : {"highway", "other_tags", "osm_id", "@id", "man_made", "surveillance",
                          "surveillance:type", "enforcement"}) {
    if (properties.contains(key)) return true;
  }
  const auto tags = properties.find("tags");
  return tags != properties.end() && tags->is_object();
}

void OsmJson::Feature(const json& properties, OsmLocation location, std::int64_t feature) {
  kind_ = PlaceKind::kFeature;
  Tags tags;
  AddTags(properties, tags);
  if (const auto nested = properties.find("tags"); nested != properties.end()) {
    AddTags(*nested, tags);
  }
  if (const auto other = properties.find("other_tags");
      other != properties.end() && other->is_string()) {
    Tags more;
    if (ParseOtherTags(other->get_ref<const std::string&>(), more)) {
      tags.insert(tags.end(), more.begin(), more.end());
    } else {
      sink_.Problem({Place{input_, kind_, feature}, ProblemKind::kWarning,
                     "other_tags cannot be read: its tags are left out"});
    }
  }
  // overpass turbo names the relations of a node, with their tags.
  if (const auto relations = properties.find("@relations");
      relations != properties.end() && relations->is_array()) {
    for (const json& relation : *relations) {
      const auto role = relation.find("role");
      const auto reltags = relation.find("reltags");
      if (!relation.is_object() || role == relation.end() || *role != "device" ||
          reltags == relation.end()) {
        continue;
      }
      Tags own;
      AddTags(*reltags, own);
      assembler_.Relation(Integer(relation, "rel").value_or(0), Lookup(own),
                          {OsmMember{true, feature, "device"}});
    }
  }
  const std::uint64_t before = cameras_;
  assembler_.Node(feature, true, location, Lookup(tags));
  // A feature is never held: it has no `from` node to wait for.
  if (cameras_ == before) ++others_;
}

void OsmJson::Element(const json& element, bool nodes) {
  kind_ = PlaceKind::kNode;
  const auto type = element.find("type");
  const auto id = Integer(element, "id");
  if (type == element.end() || !id) return;
  Tags tags;
  if (const auto own = element.find("tags"); own != element.end()) AddTags(*own, tags);
  if (!nodes && *type == "relation") {
    std::vector<OsmMember> members;
    std::vector<std::string> roles;
    const auto list = element.find("members");
    if (list == element.end() || !list->is_array()) return;
    roles.reserve(list->size());
    for (const json& member : *list) {
      const auto ref = Integer(member, "ref");
      const auto role = member.find("role");
      if (!ref || role == member.end() || !role->is_string()) continue;
      roles.push_back(role->get<std::string>());
      members.push_back({member.value("type", "") == "node", *ref, roles.back()});
    }
    assembler_.Relation(*id, Lookup(tags), members);
  } else if (nodes && *type == "node") {
    const auto lon = element.find("lon"), lat = element.find("lat");
    std::optional<OsmLocation> location;
    if (lon != element.end() && lat != element.end() && lon->is_number() && lat->is_number()) {
      location = OsmLocation{lon->get<double>(), lat->get<double>()};
    }
    const auto visible = element.find("visible");
    const bool shown = visible == element.end() || *visible != false;
    assembler_.Node(*id, shown, location, Lookup(tags));
  }
}

void OsmJson::Finish() {
  assembler_.Finish();
  if (others_ == 0) return;
  sink_.Problem({Place{input_, PlaceKind::kFile, 0}, ProblemKind::kNote,
                 std::to_string(others_) + (others_ == 1 ? " feature" : " features") +
                     " with OpenStreetMap tags but no highway=speed_camera left out"});
  others_ = 0;
}

}  // namespace korvel
