#pragma once
// Speed cameras out of OpenStreetMap objects, however they were read: the
// enforcement relations first, then the nodes. Every OSM path (XML and PBF,
// Overpass JSON, GeoJSON with OSM tags) hands its objects here, so that the
// same data gives the same cameras. Portable: no libosmium.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "exchange/formats/field_rules.h"
#include "exchange/formats/osm_tags.h"

namespace korvel {

/// One speed camera as read from OpenStreetMap.
struct OsmCamera {
  std::int64_t node_id = 0;
  double lon = 0, lat = 0;          ///< degrees as the file gives them
  int speed = 0;                    ///< km/h, rounded; 0 when unknown or not numeric
  int dirtype = 0;                  ///< 1 when a direction is known
  int direction = 0;                ///< degrees, 0..359
  std::optional<std::string> type;  ///< the text of the tag --field TYPE names
};

/// A remark about one node: a non-numeric maxspeed, an unreadable direction.
struct OsmProblem {
  std::int64_t node_id = 0;
  bool error = false;   ///< false: a warning
  std::string message;  ///< without the "PATH: node ID: " place
};

/// A relation's member.
struct OsmMember {
  bool node = false;  ///< else a way or a relation
  std::int64_t ref = 0;
  std::string_view role;
};

struct OsmLocation {
  double lon = 0, lat = 0;
};

/// Cameras are nodes tagged highway=speed_camera and the `device` nodes of
/// type=enforcement relations; a device without a direction takes the
/// bearing from the relation's `from` node, and without maxspeed the
/// relation's. Cameras and problems are handed over in node order.
class OsmCameraAssembler {
 public:
  OsmCameraAssembler(const FieldRules& rules, std::function<void(const OsmCamera&)> camera,
                     std::function<void(const OsmProblem&)> problem);

  /// Every relation comes before the first node.
  void Relation(std::int64_t id, const OsmTagLookup& tags, const std::vector<OsmMember>& members);
  /// A node: `visible` false for a deleted one, which is never a camera.
  void Node(std::int64_t id, bool visible, std::optional<OsmLocation> location,
            const OsmTagLookup& tags);
  /// Hands over the cameras that waited for a `from` node.
  void Finish();

  /// Whether a relation named a `from` node (a second look at the nodes may
  /// be needed for its location).
  bool WantsFromNodes() const { return !from_locations_.empty(); }

 private:
  /// What an enforcement relation says about its device.
  struct Device {
    std::int64_t relation = 0;
    std::optional<std::int64_t> from;
    std::string maxspeed;  ///< empty when the relation has none
  };
  /// A camera whose bearing waits for its `from` node, and everything after
  /// it, kept so that callers still get them in node order.
  struct Held {
    std::optional<OsmCamera> camera;
    std::vector<OsmProblem> problems;
    const Device* device = nullptr;
  };
  void Release(Held& held);

  const FieldRules& rules_;
  std::function<void(const OsmCamera&)> camera_;
  std::function<void(const OsmProblem&)> problem_;
  std::unordered_map<std::int64_t, Device> devices_;
  std::unordered_map<std::int64_t, std::optional<OsmLocation>> from_locations_;
  std::vector<Held> held_;
};

}  // namespace korvel
