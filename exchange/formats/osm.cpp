// OpenStreetMap input: the cameras the OSM reader finds, TYPE from --type.

#include "exchange/formats/osm_reader.h"
#include "exchange/formats/readers.h"

namespace korvel {
namespace {

class OsmSource : public CameraSource {
 public:
  explicit OsmSource(int type) : type_(type) {}

  SourceOutcome Read(SourceFile& source, std::uint32_t input, CameraSink& sink,
                     Problem& failure) override {
    const auto place = [input](std::int64_t id) { return Place{input, PlaceKind::kNode, id}; };
    const bool read = ReadOsmCameras(
        source,
        [&](const OsmCamera& osm) {
          SourceCamera camera;
          camera.place = place(osm.node_id);
          camera.x = osm.lon;
          camera.y = osm.lat;
          camera.fields[kType] = type_;
          camera.fields[kSpeed] = osm.speed;
          camera.fields[kDirType] = osm.dirtype;
          camera.fields[kDirection] = osm.direction;
          sink.Camera(camera);
        },
        [&](const OsmProblem& problem) {
          sink.Problem({place(problem.node_id),
                        problem.error ? ProblemKind::kError : ProblemKind::kWarning,
                        problem.message});
        },
        failure);
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

}  // namespace korvel
