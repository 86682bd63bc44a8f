#pragma once
// OpenStreetMap objects in JSON: GeoJSON features with OSM tags (osmium
// export, overpass turbo, GDAL's other_tags) and Overpass API elements
// (`{"elements":[...]}`), read as every OSM path reads them.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>

#include "exchange/formats/field_map.h"
#include "exchange/formats/osm_cameras.h"
#include "exchange/formats/source.h"

namespace korvel {

class OsmJson {
 public:
  /// Cameras and problems of input `input` go to `sink`; TYPE from
  /// `default_type` or the tag --field TYPE names.
  OsmJson(std::uint32_t input, int default_type, CameraSink& sink, const FieldMap& fields);

  /// Whether a GeoJSON feature's properties are OpenStreetMap tags.
  static bool IsOsm(const nlohmann::json& properties);
  /// GeoJSON feature number `feature`, a point with OSM tags.
  void Feature(const nlohmann::json& properties, OsmLocation location, std::int64_t feature);
  /// One Overpass element: the relations when not `nodes`, then, read
  /// again, the nodes.
  void Element(const nlohmann::json& element, bool nodes);
  /// After the last feature or element.
  void Finish();

 private:
  std::uint32_t input_;
  int default_type_;
  CameraSink& sink_;
  const FieldMap& fields_;
  PlaceKind kind_ = PlaceKind::kFeature;
  std::uint64_t others_ = 0;   ///< features that are no camera
  std::uint64_t cameras_ = 0;  ///< cameras the assembler handed over
  OsmCameraAssembler assembler_;
};

}  // namespace korvel
