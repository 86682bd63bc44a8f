// GeoJSON: Point and MultiPoint features, read one feature at a time so
// that memory holds one feature, not the file. Properties by the column
// names, by the names our export writes, or as OpenStreetMap tags. Overpass
// API answers too: their relations, then, read again, their nodes.

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <string>

#include "camdb/parser.h"
#include "exchange/import/field_map.h"
#include "exchange/import/fields.h"
#include "exchange/import/file_stream.h"
#include "exchange/import/osm_json.h"
#include "exchange/import/readers.h"

namespace korvel {
namespace {

using nlohmann::json;

/// What a GeoJSON crs member says the coordinates are.
enum class Crs { kDegrees, kMercator, kOther };

/// The crs of a member `{"type":"name","properties":{"name":...}}` (or the
/// old `{"type":"EPSG","properties":{"code":N}}`); its name in `name`.
Crs CrsOf(const json& crs, std::string& name) {
  const auto properties = crs.find("properties");
  if (!crs.is_object() || properties == crs.end() || !properties->is_object()) return Crs::kDegrees;
  std::string code;
  if (const auto text = properties->find("name"); text != properties->end() && text->is_string()) {
    name = text->get<std::string>();
    const std::size_t colon = name.find_last_of(':');
    code = colon == std::string::npos ? name : name.substr(colon + 1);
    const bool numbered = name.find("EPSG") != std::string::npos ||
                          name.find("epsg") != std::string::npos ||
                          name.find("ESRI") != std::string::npos;
    if (!numbered && code != "CRS84") {
      return Crs::kOther;
    }
  } else if (const auto number = properties->find("code");
             number != properties->end() && number->is_number_integer()) {
    code = number->dump();
    name = "EPSG:" + code;
  } else {
    return Crs::kDegrees;
  }
  for (const char* degrees : {"CRS84", "4326"}) {
    if (code == degrees) return Crs::kDegrees;
  }
  // Web Mercator and the names it had before EPSG gave it 3857.
  for (const char* mercator : {"3857", "900913", "3785", "102100", "102113"}) {
    if (code == mercator) return Crs::kMercator;
  }
  return Crs::kOther;
}

/// Degrees of a Web Mercator position in metres.
OsmLocation FromMercator(double x, double y) {
  constexpr double kRadius = 6378137, kDegrees = 180 / std::numbers::pi;
  return {x / kRadius * kDegrees, std::atan(std::sinh(y / kRadius)) * kDegrees};
}

class GeoJsonSource : public CameraSource {
 public:
  explicit GeoJsonSource(int type) : type_(type) {}

  SourceOutcome Read(const std::string& path, std::uint32_t input, CameraSink& sink,
                     std::string& failure) override {
    input_ = input;
    sink_ = &sink;
    field_map_.emplace(sink.Fields(), false);
    records_.emplace(sink.Fields(), true);
    osm_.emplace(input, type_, sink, *field_map_);
    std::string key;
    bool in_features = false, in_elements = false, elements = false, records = false;
    json root;
    const SourceOutcome read = Parse(
        path,
        [&](int depth, json::parse_event_t event, json& parsed) {
          if (depth == 0 && event == json::parse_event_t::array_start) records = true;
          if (records && depth == 1 && event == json::parse_event_t::object_end) {
            Record(parsed);
            return false;
          }
          if (depth == 1 && event == json::parse_event_t::key) key = parsed.get<std::string>();
          if (depth == 1 && event == json::parse_event_t::value && key == "version" &&
              parsed.is_string() &&
              VersionFault(parsed.get_ref<const std::string&>()) == ParseFault::kNone) {
            sink.Version(parsed.get<std::string>());
          }
          if (depth == 1 && event == json::parse_event_t::object_end && key == "crs") {
            crs_ = CrsOf(parsed, crs_name_);
          }
          if (depth == 1 && event == json::parse_event_t::array_start) {
            in_features = key == "features";
            in_elements = key == "elements";
            elements = elements || in_elements;
          }
          if (depth == 1 && event == json::parse_event_t::array_end)
            in_features = in_elements = false;
          if (in_features && depth == 2 && event == json::parse_event_t::object_end) {
            Feature(parsed);
            return false;  // read: no need to keep it
          }
          if (in_elements && depth == 2 && event == json::parse_event_t::object_end) {
            osm_->Element(parsed, false);
            return false;
          }
          return true;
        },
        root, failure);
    if (read != SourceOutcome::kRead) return read;
    if (crs_ == Crs::kOther) {
      failure = path + ": the crs \"" + crs_name_.substr(0, 80) +
                "\" is neither WGS84 degrees nor EPSG:3857 (ogr2ogr -t_srs EPSG:4326 converts it)";
      return SourceOutcome::kMalformed;
    }
    if (elements) return OverpassNodes(path, failure);
    if (records) {
      records_->Note(sink, Place{input, PlaceKind::kFile, 0});
      return SourceOutcome::kRead;
    }
    const json* type = root.is_object() && root.contains("type") ? &root["type"] : nullptr;
    if (type != nullptr && *type == "Feature") {
      Feature(root);
    } else if (type == nullptr || *type != "FeatureCollection") {
      failure = path + ": not GeoJSON: a FeatureCollection or a Feature expected";
      return SourceOutcome::kMalformed;
    }
    osm_->Finish();
    const Place file{input, PlaceKind::kFile, 0};
    field_map_->Note(sink, file);
    if (shapes_ != 0) {
      sink.Problem({file, ProblemKind::kNote,
                    std::to_string(shapes_) +
                        (shapes_ == 1 ? " feature is a line or polygon"
                                      : " features are lines or polygons") +
                        ", not a camera: left out"});
    }
    return SourceOutcome::kRead;
  }

 private:
  /// Parses the file at `path` with `callback` into `root`.
  static SourceOutcome Parse(const std::string& path, const json::parser_callback_t& callback,
                             json& root, std::string& failure) {
    auto file = OpenSource(path, failure);
    if (!file) return SourceOutcome::kUnreadable;
    FileStreamBuffer buffer(*file);
    std::istream in(&buffer);
    try {
      root = json::parse(in, callback);
    } catch (const json::exception& e) {
      if (file->failed()) {
        failure = path + ": the file cannot be read";
        return SourceOutcome::kUnreadable;
      }
      // "[json.exception.parse_error.101] parse error at line 3, column 1: ..."
      std::string what = e.what();
      if (const std::size_t end = what.find("] ");
          what.starts_with("[json") && end != std::string::npos) {
        what.erase(0, end + 2);
      }
      failure = path + ": not GeoJSON: " + what;
      return SourceOutcome::kMalformed;
    }
    return SourceOutcome::kRead;
  }

  /// An Overpass answer's nodes, read again after its relations.
  SourceOutcome OverpassNodes(const std::string& path, std::string& failure) {
    json root;
    std::string key;
    bool in_elements = false;
    const SourceOutcome read = Parse(
        path,
        [&](int depth, json::parse_event_t event, json& parsed) {
          if (depth == 1 && event == json::parse_event_t::key) key = parsed.get<std::string>();
          if (depth == 1 && event == json::parse_event_t::array_start) {
            in_elements = key == "elements";
          }
          if (depth == 1 && event == json::parse_event_t::array_end) in_elements = false;
          if (in_elements && depth == 2 && event == json::parse_event_t::object_end) {
            osm_->Element(parsed, true);
            return false;
          }
          return true;
        },
        root, failure);
    osm_->Finish();
    return read;
  }

  /// One record of a JSON array of records, by the CSV column names.
  void Record(const json& record) {
    SourceCamera camera;
    camera.place = Place{input_, PlaceKind::kFeature, ++feature_};
    camera.x = camera.y = std::numeric_limits<double>::quiet_NaN();
    unsigned taken = 0;
    for (const auto& [name, value] : record.items()) {
      const Column column = records_->Meet(name, taken);
      if (column == Column::kX || column == Column::kY) {
        const std::optional<double> degrees =
            value.is_number()   ? std::optional<double>(value.get<double>())
            : value.is_string() ? ReadDecimal(value.get_ref<const std::string&>())
                                : std::nullopt;
        (column == Column::kX ? camera.x : camera.y) =
            degrees.value_or(std::numeric_limits<double>::quiet_NaN());
      } else if (column == Column::kSample) {
        camera.sample = SampleOf(value);
      } else if (!Value(*records_, column, value, camera)) {
        return;
      }
    }
    sink_->Camera(camera);
  }

  static bool SampleOf(const json& value) {
    return value.is_boolean()  ? value.get<bool>()
           : value.is_number() ? value == 1
           : value.is_string() ? ReadSample(value.get_ref<const std::string&>())
                               : false;
  }

  void Feature(const json& feature) {
    if (crs_ == Crs::kOther) return;
    SourceCamera camera;
    camera.place = Place{input_, PlaceKind::kFeature, ++feature_};
    const auto geometry = feature.find("geometry");
    if (geometry == feature.end() || !geometry->is_object()) {
      Fail(*sink_, camera.place, "no geometry; skipped");
      return;
    }
    const auto type = geometry->find("type");
    const auto coordinates = geometry->find("coordinates");
    const bool point = type != geometry->end() && *type == "Point";
    const bool multi = type != geometry->end() && *type == "MultiPoint";
    if (!point && !multi && type != geometry->end() && IsShape(*type)) {
      ++shapes_;
      return;
    }
    if (!point && !multi) {
      Fail(*sink_, camera.place,
           "geometry " +
               (type != geometry->end() && type->is_string() ? type->get<std::string>()
                                                             : std::string("?")) +
               " is not a Point or MultiPoint; skipped");
      return;
    }
    if (coordinates == geometry->end() || !coordinates->is_array()) {
      Fail(*sink_, camera.place, "the geometry has no coordinates; skipped");
      return;
    }
    const auto properties = feature.find("properties");
    const bool has_properties = properties != feature.end() && properties->is_object();
    if (has_properties && OsmJson::IsOsm(*properties)) {
      OsmPositions(*properties, *coordinates, point, camera.place);
      return;
    }
    if (has_properties && !Properties(*properties, camera)) return;
    if (point) {
      Position(*coordinates, camera);
    } else {
      for (const json& position : *coordinates) Position(position, camera);
    }
  }

  /// Reads the fields; false when the feature is left out for an error.
  bool Properties(const json& properties, SourceCamera& camera) {
    unsigned taken = 0;
    for (const auto& [name, value] : properties.items()) {
      const Column column = field_map_->Meet(name, taken);
      if (column == Column::kSample) {
        camera.sample = SampleOf(value);
        continue;
      }
      if (!Value(*field_map_, column, value, camera)) return false;
    }
    return true;
  }

  /// One property's value into the field of `column`.
  bool Value(const FieldMap& fields, Column column, const json& value, SourceCamera& camera) {
    if (column < Column::kType || column > Column::kDirection) return true;
    if (value.is_number()) {
      return fields.SetNumber(camera, column, value.get<double>(), value.dump(), *sink_);
    }
    if (value.is_string()) {
      return fields.SetText(camera, column, value.get_ref<const std::string&>(), *sink_);
    }
    if (!value.is_null()) {
      const auto field =
          static_cast<Field>(static_cast<int>(column) - static_cast<int>(Column::kType));
      Warn(
          *sink_, camera.place,
          std::string(FieldName(field)) + " is " + value.type_name() + ", not a number: read as 0");
      camera.fields[field] = 0;
    }
    return true;
  }

  /// The positions of a feature with OpenStreetMap tags.
  void OsmPositions(const json& properties, const json& coordinates, bool point,
                    const Place& place) {
    const auto one = [&](const json& position) {
      if (!IsPosition(position)) {
        Fail(*sink_, place, "a position is not [longitude, latitude]; skipped");
        return;
      }
      osm_->Feature(properties, Location(position), place.number);
    };
    if (point) {
      one(coordinates);
    } else {
      for (const json& position : coordinates) one(position);
    }
  }

  /// Geometries that hold no camera.
  static bool IsShape(const json& type) {
    for (const char* shape :
         {"LineString", "MultiLineString", "Polygon", "MultiPolygon", "GeometryCollection"}) {
      if (type == shape) return true;
    }
    return false;
  }

  /// A position's degrees.
  OsmLocation Location(const json& position) const {
    const double x = position[0].get<double>(), y = position[1].get<double>();
    return crs_ == Crs::kMercator ? FromMercator(x, y) : OsmLocation{x, y};
  }

  static bool IsPosition(const json& position) {
    return position.is_array() && position.size() >= 2 && position[0].is_number() &&
           position[1].is_number();
  }

  void Position(const json& position, SourceCamera camera) {
    if (!IsPosition(position)) {
      Fail(*sink_, camera.place, "a position is not [longitude, latitude]; skipped");
      return;
    }
    const OsmLocation location = Location(position);
    camera.x = location.lon;
    camera.y = location.lat;
    sink_->Camera(camera);
  }

  int type_;
  std::uint32_t input_ = 0;
  CameraSink* sink_ = nullptr;
  std::int64_t feature_ = 0;
  std::optional<FieldMap> field_map_;
  std::optional<FieldMap> records_;  ///< the names of an array of records
  std::optional<OsmJson> osm_;
  std::uint64_t shapes_ = 0;  ///< features left out as no camera
  Crs crs_ = Crs::kDegrees;
  std::string crs_name_;
};

}  // namespace

std::unique_ptr<CameraSource> MakeGeoJsonSource(int default_type) {
  return std::make_unique<GeoJsonSource>(default_type);
}

}  // namespace korvel
