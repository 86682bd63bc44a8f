#include "exchange/formats/osm_cameras.h"

namespace korvel {

OsmCameraAssembler::OsmCameraAssembler(const FieldRules& rules,
                                       std::function<void(const OsmCamera&)> camera,
                                       std::function<void(const OsmProblem&)> problem)
    : rules_(rules), camera_(std::move(camera)), problem_(std::move(problem)) {}

void OsmCameraAssembler::Relation(std::int64_t id, const OsmTagLookup& tags,
                                  const std::vector<OsmMember>& members) {
  const auto type = tags("type");
  if (!type || *type != "enforcement") return;
  Device device{id, std::nullopt, std::string(tags("maxspeed").value_or(""))};
  for (const OsmMember& member : members) {
    if (member.node && member.role == "from") {
      device.from = member.ref;
      from_locations_.try_emplace(member.ref);
      break;
    }
  }
  for (const OsmMember& member : members) {
    if (member.node && member.role == "device") devices_.try_emplace(member.ref, device);
  }
}

void OsmCameraAssembler::Node(std::int64_t id, bool visible, std::optional<OsmLocation> location,
                              const OsmTagLookup& tags) {
  if (!visible) return;
  if (!from_locations_.empty()) {
    const auto from = from_locations_.find(id);
    if (from != from_locations_.end()) from->second = location;
  }
  const auto device = devices_.find(id);
  const Device* relation = device == devices_.end() ? nullptr : &device->second;
  if (!relation && !IsOsmSpeedCamera(tags)) return;

  Held held;
  const auto maxspeed = relation && !relation->maxspeed.empty()
                            ? std::optional<std::string_view>(relation->maxspeed)
                            : std::nullopt;
  const OsmCameraTags read = ReadOsmCameraTags(tags, maxspeed, rules_);
  for (const std::string& warning : read.warnings) held.problems.push_back({id, false, warning});
  if (!location) {
    held.problems.push_back({id, true, "the node has no location: left out"});
  } else {
    OsmCamera& camera = held.camera.emplace();
    camera.node_id = id;
    camera.lon = location->lon;
    camera.lat = location->lat;
    camera.speed = read.speed;
    camera.dirtype = read.dirtype;
    camera.direction = read.direction;
    camera.type = read.type;
    if (!read.direction_tagged && relation && relation->from) held.device = relation;
  }
  if (held_.empty() && !held.device) {
    Release(held);
  } else {
    held_.push_back(std::move(held));
  }
}

void OsmCameraAssembler::Finish() {
  for (Held& held : held_) Release(held);
  held_.clear();
}

// Hands a camera and its problems over, with the bearing from its `from` node
// when it waited for one.
void OsmCameraAssembler::Release(Held& held) {
  if (held.device) {
    OsmCamera& camera = *held.camera;
    const auto from = from_locations_.find(*held.device->from);
    // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict for
    // a literal plus a temporary string.
    std::string place("enforcement relation ");
    place.append(std::to_string(held.device->relation))
        .append(": from node ")
        .append(std::to_string(*held.device->from));
    std::optional<int> bearing;
    if (from == from_locations_.end() || !from->second) {
      held.problems.push_back(
          {camera.node_id, false, place.append(" is not in the file: DIRTYPE 0")});
    } else if (!(bearing = InitialBearing(from->second->lon, from->second->lat, camera.lon,
                                          camera.lat))) {
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

}  // namespace korvel
