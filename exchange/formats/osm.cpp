// OpenStreetMap input: the cameras the OSM reader finds, TYPE from --type
// or from the tag --field TYPE names.

#include "exchange/formats/osm.h"

#include "exchange/formats/osm_reader.h"
#include "exchange/formats/osm_source.h"

namespace korvel {

SourceCamera OsmSourceCamera(const OsmCamera& osm, const Place& place, int default_type,
                             const FieldMap& fields, CameraSink& sink, bool& left_out) {
  SourceCamera camera;
  camera.place = place;
  camera.x = osm.lon;
  camera.y = osm.lat;
  camera.fields[kType] = default_type;
  camera.fields[kSpeed] = osm.speed;
  camera.fields[kDirType] = osm.dirtype;
  camera.fields[kDirection] = osm.direction;
  const FieldRules& rules = sink.Fields();
  const auto& type_values = rules.values[static_cast<int>(Column::kType)];
  left_out = true;
  if (RefusesOptions(sink, place)) return camera;
  if (!osm.type && type_values) {
    // No tag gives TYPE: --values gives its default, else it has nothing to map.
    if (type_values->otherwise) {
      camera.fields[kType] = *type_values->otherwise;
    } else if (rules.names[static_cast<int>(Column::kType)].empty()) {
      RefuseUnmapped(sink, place, Column::kType);
      return camera;
    }
  }
  left_out = osm.type && !fields.SetText(camera, Column::kType, *osm.type, sink);
  return camera;
}

bool RefusesOptions(CameraSink& sink, const Place& place) {
  const FieldRules& rules = sink.Fields();
  for (const Column axis : {Column::kX, Column::kY}) {
    if (rules.names[static_cast<int>(axis)].empty()) continue;
    sink.Refuse(place, "--field " + std::string(ColumnName(axis)),
                "holds OpenStreetMap data, whose nodes give the positions: --field X and Y name "
                "no tag");
    return true;
  }
  // The tags of these are read by the OpenStreetMap rules, never mapped.
  for (const Column field : {Column::kSpeed, Column::kDirType, Column::kDirection}) {
    if (!rules.values[static_cast<int>(field)]) continue;
    sink.Refuse(place, "--values " + std::string(ColumnName(field)),
                "holds OpenStreetMap data, whose values --values maps for TYPE only");
    return true;
  }
  return false;
}

namespace {

class OsmSource : public CameraSource {
 public:
  explicit OsmSource(int type) : type_(type) {}

  SourceOutcome Read(SourceFile& source, std::uint32_t input, CameraSink& sink,
                     Problem& failure) override {
    const auto place = [input](std::int64_t id) { return Place{input, PlaceKind::kNode, id}; };
    if (RefusesOptions(sink, Place{input, PlaceKind::kFile, 0})) return SourceOutcome::kRead;
    const FieldMap fields(sink.Fields(), true);
    const bool read = ReadOsmCameras(
        source,
        [&](const OsmCamera& osm) {
          bool left_out = false;
          const SourceCamera camera =
              OsmSourceCamera(osm, place(osm.node_id), type_, fields, sink, left_out);
          if (!left_out) sink.Camera(camera);
        },
        [&](const OsmProblem& problem) {
          sink.Problem({place(problem.node_id),
                        problem.error ? ProblemKind::kError : ProblemKind::kWarning,
                        problem.message});
        },
        failure, sink.Fields());
    return read                              ? SourceOutcome::kRead
           : failure.fault == Fault::kSystem ? SourceOutcome::kUnreadable
                                             : SourceOutcome::kMalformed;
  }

 private:
  int type_;
};

}  // namespace

std::unique_ptr<CameraSource> MakeOsmSource(int default_type) {
  return std::make_unique<OsmSource>(default_type);
}

SignatureMatch OsmSignature(const FileStart& start) {
  // A PBF file starts with the length of its first block's header, which
  // names the block "OSMHeader"; OpenStreetMap XML also comes compressed.
  if (start.bytes.substr(0, 32).find("OSMHeader") != std::string_view::npos ||
      start.bytes.starts_with("\x1F\x8B") || start.bytes.starts_with("BZh")) {
    return SignatureMatch::kBinary;
  }
  return MarkupHolds(start.text, "<osm") ? SignatureMatch::kText : SignatureMatch::kNo;
}

constinit const FormatEntry kOsmFormat = {
    ImportFormat::kOsm, "osm", "", "osm pbf", std::nullopt, nullptr, MakeOsmSource, OsmSignature};

}  // namespace korvel
