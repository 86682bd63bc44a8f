// GeoJSON: Point and MultiPoint features, read one feature at a time so
// that memory holds one feature, not the file. Properties by the column
// names, by the names our export writes, or as OpenStreetMap tags. Overpass
// API answers too: their relations, then, read again, their nodes. A JSON
// array of records is read by the CSV column names.

#include "exchange/formats/geojson.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <string>

#include "camdb/parser.h"
#include "exchange/formats/field_map.h"
#include "exchange/formats/fields.h"
#include "exchange/formats/file_stream.h"
#include "exchange/formats/osm_json.h"

namespace korvel {
namespace {

using nlohmann::json;

/// No GeoJSON as programs write it nests deeper, or holds a longer value (or
/// run of blanks) than these.
constexpr std::size_t kMaxDepth = 64;
constexpr std::uint64_t kMaxValue = std::uint64_t{4} << 20;

/// The file for the parser, ended early when one value runs over kMaxValue
/// bytes or the reader stops it: the parser holds a value whole before it
/// says anything about it.
class BoundedBuffer : public FileStreamBuffer {
 public:
  using FileStreamBuffer::FileStreamBuffer;
  /// A value was just read: the next may take kMaxValue again.
  void Reset() { read_ = 0; }
  /// The input ends here, as if the file did.
  void Stop() {
    stopped_ = true;
    setg(eback(), egptr(), egptr());
  }
  bool stopped() const { return stopped_; }

 protected:
  int_type underflow() override {
    if (stopped_ || read_ > kMaxValue) {
      stopped_ = true;
      return traits_type::eof();
    }
    const int_type next = FileStreamBuffer::underflow();
    if (!traits_type::eq_int_type(next, traits_type::eof())) {
      read_ += static_cast<std::uint64_t>(egptr() - eback());
    }
    return next;
  }

 private:
  std::uint64_t read_ = 0;
  bool stopped_ = false;
};

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

  SourceOutcome Read(SourceFile& source, std::uint32_t input, CameraSink& sink,
                     Problem& failure) override {
    const std::string& path = source.path();
    input_ = input;
    sink_ = &sink;
    field_map_.emplace(sink.Fields(), false);
    records_.emplace(sink.Fields(), true);
    osm_.emplace(input, type_, sink, *field_map_);
    json root;
    const SourceOutcome read = Parse(source, root, failure);
    if (read != SourceOutcome::kRead) return read;
    if (crs_ == Crs::kOther) {
      failure = FileProblem(path, "the crs " + QuotedLine(crs_name_.substr(0, 80)) +
                                      " is neither WGS84 degrees nor EPSG:3857 (ogr2ogr -t_srs "
                                      "EPSG:4326 converts it)");
      return SourceOutcome::kMalformed;
    }
    if (crs_late_) {
      failure = FileProblem(path, "the crs " + QuotedLine(crs_name_.substr(0, 80)) +
                                      " comes after the features, which it must precede (as "
                                      "ogr2ogr writes it)");
      return SourceOutcome::kMalformed;
    }
    if (elements_) return OverpassNodes(source, failure);
    const Place file{input, PlaceKind::kFile, 0};
    if (records_root_ && !features_in_array_) {
      records_->Note(sink, file);
      return SourceOutcome::kRead;
    }
    const json* type = root.is_object() && root.contains("type") ? &root["type"] : nullptr;
    if (type != nullptr && *type == "Feature") {
      Feature(root);
    } else if (type == nullptr || *type != "FeatureCollection" || features_in_array_) {
      failure = FileProblem(path, "not GeoJSON: a FeatureCollection or a Feature expected");
      return SourceOutcome::kMalformed;
    }
    osm_->Finish();
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
  /// One pass over `source` through Keep; what is left of the root in `root`.
  SourceOutcome Parse(SourceFile& source, json& root, Problem& failure) {
    const std::string& path = source.path();
    auto file = source.Open(failure);
    if (!file) return SourceOutcome::kUnreadable;
    BoundedBuffer buffer(*file);
    std::istream in(&buffer);
    buffer_ = &buffer;
    try {
      root = json::parse(in, [&](int depth, json::parse_event_t event, json& parsed) {
        buffer.Reset();
        return Keep(depth, event, parsed);
      });
    } catch (const json::exception& e) {
      if (file->failed()) {
        failure = FileProblem(path, "the file cannot be read");
        return SourceOutcome::kUnreadable;
      }
      if (buffer.stopped()) {
        failure = FileProblem(path, too_deep_ ? "not GeoJSON: values nested over " +
                                                    std::to_string(kMaxDepth) + " deep"
                                    : too_much_ ? "not GeoJSON: one feature or record holds over " +
                                                      std::to_string(kMaxValue >> 20) + " MiB"
                                                : "not GeoJSON: a value or blank run over " +
                                                      std::to_string(kMaxValue >> 20) + " MiB");
        return SourceOutcome::kMalformed;
      }
      // "[json.exception.parse_error.101] parse error at line 3, column 1: ..."
      std::string what = e.what();
      if (const std::size_t end = what.find("] ");
          what.starts_with("[json") && end != std::string::npos) {
        what.erase(0, end + 2);
      }
      failure = FileProblem(path, "not GeoJSON: " + what);
      return SourceOutcome::kMalformed;
    }
    return SourceOutcome::kRead;
  }

  /// An Overpass answer's nodes, read again after its relations.
  SourceOutcome OverpassNodes(SourceFile& source, Problem& failure) {
    nodes_pass_ = true;
    root_object_ = false;
    json root;
    const SourceOutcome read = Parse(source, root, failure);
    osm_->Finish();
    return read;
  }

  /// Counts what one feature, record or element keeps; false, ending the
  /// parse, once it holds over kMaxValue bytes.
  bool Budget(const json& parsed) {
    held_ += parsed.is_string() ? parsed.get_ref<const std::string&>().size() + 16 : 16;
    if (held_ <= kMaxValue) return true;
    too_much_ = true;
    buffer_->Stop();
    return false;
  }

  /// What the parser keeps of each value: the root's type, version and crs,
  /// each feature's geometry type and coordinates (points' only, when the
  /// type comes first) and its properties, those holding an object or array
  /// kept empty but OpenStreetMap `tags` and `@relations`; a JSON array's
  /// records and an Overpass answer's elements, one at a time. The rest is
  /// read past, never stored, so memory holds one feature, whatever else the
  /// file holds.
  bool Keep(int depth, json::parse_event_t event, json& parsed) {
    using Event = json::parse_event_t;
    if (depth > static_cast<int>(kMaxDepth)) {
      too_deep_ = true;
      buffer_->Stop();
      return false;
    }
    if (event == Event::key && depth < static_cast<int>(keys_.size())) {
      keys_[depth] = parsed.get<std::string>();
    }
    if (depth == 0) {
      if (event == Event::object_start) root_object_ = true;
      if (event == Event::array_start && !nodes_pass_) records_root_ = true;
      return true;
    }
    if (records_root_) return KeepRecord(depth, event, parsed);
    // Inside a root that is no object: neither GeoJSON nor worth keeping.
    if (!root_object_) return false;
    if (event == Event::key && depth == 1) {
      in_features_ = in_elements_ = false;
      geometry_ = Geometry::kUnknown;
      if (nodes_pass_) return parsed == "elements";
      return parsed == "type" || parsed == "version" || parsed == "features" ||
             parsed == "geometry" || parsed == "properties" || parsed == "crs" ||
             parsed == "elements";
    }
    if (depth == 1 && event == Event::array_start) {
      in_features_ = keys_[1] == "features" && !nodes_pass_;
      in_elements_ = keys_[1] == "elements";
      elements_ = elements_ || in_elements_;
    }
    if (depth == 1 && event == Event::array_end) in_features_ = in_elements_ = false;
    if (in_elements_) return KeepElement(depth, event, parsed);
    if (depth == 1 && event == Event::value && keys_[1] == "version" && parsed.is_string()) {
      TakeVersion(parsed.get_ref<const std::string&>());
    }
    if (keys_[1] == "crs") {
      if (depth == 1 && event == Event::object_end) {
        crs_ = CrsOf(parsed, crs_name_);
        // The features read before it were taken as degrees.
        crs_late_ = crs_ == Crs::kMercator && feature_ != 0;
      }
      return Budget(parsed);
    }
    // The feature's own depth: 2 in a FeatureCollection, 0 for a Feature alone.
    int base = 0;
    if (in_features_) {
      if (depth == 2) {
        if (event == Event::object_end) {
          Feature(parsed);
          geometry_ = Geometry::kUnknown;
          held_ = 0;
        }
        // Only objects are features; anything else is read past.
        return event == Event::object_start || event == Event::key;
      }
      if (depth == 1) return true;
      base = 2;
    }
    return KeepInFeature(depth - base, event, parsed, base);
  }

  /// Keep for a value `relative` levels inside its feature.
  bool KeepInFeature(int relative, json::parse_event_t event, json& parsed, int base) {
    using Event = json::parse_event_t;
    if (relative <= 0) return true;
    const std::string& member = keys_[base + 1];
    if (relative == 1) {
      if (event == Event::key) {
        return parsed == "geometry" || parsed == "properties" || parsed == "type";
      }
      return true;
    }
    if (member == "geometry") {
      if (relative == 2 && event == Event::key) return parsed == "type" || parsed == "coordinates";
      if (relative == 2 && event == Event::value && keys_[base + 2] == "type") {
        geometry_ =
            parsed == "Point" || parsed == "MultiPoint" ? Geometry::kPoints : Geometry::kOther;
      }
      // A position is [longitude, latitude]; a MultiPoint's inside one array.
      return relative == 2 ||
             (keys_[base + 2] == "coordinates" && relative <= 4 && geometry_ != Geometry::kOther);
    }
    if (member != "properties") return false;
    // Every property's name is seen, for the note on the names not used;
    // OpenStreetMap tags may sit in an object of their own.
    if (relative == 2) return Budget(parsed);
    const std::string& property = keys_[base + 2];
    return (property == "tags" || property == "@relations") && Budget(parsed);
  }

  /// Keep for a record of a JSON array of records: its members, those
  /// holding an object or array kept empty.
  bool KeepRecord(int depth, json::parse_event_t event, json& parsed) {
    using Event = json::parse_event_t;
    if (depth == 1) {
      if (event == Event::object_end) {
        Record(parsed);
        held_ = 0;
        return false;
      }
      return event == Event::object_start;
    }
    return depth == 2 && Budget(parsed);
  }

  /// Keep for an Overpass element: the whole element, one at a time.
  bool KeepElement(int depth, json::parse_event_t event, json& parsed) {
    using Event = json::parse_event_t;
    if (depth == 1) return true;
    if (depth == 2) {
      if (event == Event::object_end) {
        osm_->Element(parsed, nodes_pass_);
        held_ = 0;
        return false;
      }
      return event == Event::object_start;
    }
    if (depth == 3 && event == Event::key) {
      return (parsed == "type" || parsed == "id" || parsed == "lon" || parsed == "lat" ||
              parsed == "tags" || parsed == "members" || parsed == "visible") &&
             Budget(parsed);
    }
    return Budget(parsed);
  }

  /// The root's "version", a member only our export writes, unless it holds a
  /// control character.
  void TakeVersion(const std::string& line) {
    if (const std::string problem = VersionControlProblem("version line", line); !problem.empty()) {
      Fail(*sink_, Place{input_, PlaceKind::kFile, 0}, problem + "; not taken");
    } else if (VersionFault(line) == ParseFault::kNone) {
      sink_->Version(line);
    }
  }

  /// One record of a JSON array of records, by the CSV column names.
  void Record(const json& record) {
    // GeoJSON features need a FeatureCollection around them.
    if (const auto type = record.find("type");
        type != record.end() && *type == "Feature" && record.contains("geometry")) {
      features_in_array_ = true;
    }
    if (features_in_array_) return;
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
    if (crs_ == Crs::kOther || crs_late_) return;
    SourceCamera camera;
    camera.place = Place{input_, PlaceKind::kFeature, ++feature_};
    const auto properties = feature.find("properties");
    const bool has_properties = properties != feature.end() && properties->is_object();
    const bool osm = has_properties && OsmJson::IsOsm(*properties);
    NamedPosition named;
    if (field_map_->NamesPosition() && !osm) {
      // The properties --field names give the position: the geometry is not read.
      if (has_properties && !Properties(*properties, camera, named)) return;
      if (field_map_->TakePosition(named, camera, *sink_)) sink_->Camera(camera);
      return;
    }
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
               (type != geometry->end() && type->is_string() ? EscapeText(type->get<std::string>())
                                                             : std::string("?")) +
               " is not a Point or MultiPoint; skipped");
      return;
    }
    if (coordinates == geometry->end() || !coordinates->is_array()) {
      Fail(*sink_, camera.place, "the geometry has no coordinates; skipped");
      return;
    }
    if (osm) {
      OsmPositions(*properties, *coordinates, point, camera.place);
      return;
    }
    if (has_properties && !Properties(*properties, camera, named)) return;
    if (!field_map_->TakePosition(named, camera, *sink_)) return;
    if (point) {
      Position(*coordinates, camera);
    } else {
      for (const json& position : *coordinates) Position(position, camera);
    }
  }

  /// Reads the fields, and into `named` the coordinates --field names; false
  /// when the feature is left out for an error.
  bool Properties(const json& properties, SourceCamera& camera, NamedPosition& named) {
    unsigned taken = 0;
    for (const auto& [name, value] : properties.items()) {
      const Column column = field_map_->Meet(name, taken);
      if (column == Column::kSample) {
        camera.sample = SampleOf(value);
        continue;
      }
      if (column == Column::kX || column == Column::kY) {
        const int axis = column == Column::kX ? 0 : 1;
        named.name[axis] = name;
        if (!value.is_null()) {
          named.text[axis] = value.is_string() ? value.get<std::string>() : value.dump();
        }
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
    // An axis --field names came from the properties.
    if (!field_map_->Names(Column::kX)) camera.x = location.lon;
    if (!field_map_->Names(Column::kY)) camera.y = location.lat;
    sink_->Camera(camera);
  }

  enum class Geometry { kUnknown, kPoints, kOther };

  int type_;
  BoundedBuffer* buffer_ = nullptr;
  std::array<std::string, 5> keys_;  ///< the last key at each depth, as far as Keep looks
  bool root_object_ = false;
  bool records_root_ = false;               ///< the root is an array of records
  bool features_in_array_ = false;          ///< its records are GeoJSON features
  bool in_features_ = false;                ///< inside the root's "features"
  bool in_elements_ = false;                ///< inside an Overpass answer's "elements"
  bool elements_ = false;                   ///< the root has "elements"
  bool nodes_pass_ = false;                 ///< the second pass, for an Overpass answer's nodes
  Geometry geometry_ = Geometry::kUnknown;  ///< the present feature's, once its type is read
  bool too_deep_ = false;
  bool too_much_ = false;   ///< one feature, record or element held over kMaxValue
  std::uint64_t held_ = 0;  ///< bytes the present feature, record or element keeps
  std::uint32_t input_ = 0;
  CameraSink* sink_ = nullptr;
  std::int64_t feature_ = 0;
  std::optional<FieldMap> field_map_;
  std::optional<FieldMap> records_;  ///< the names of an array of records
  std::optional<OsmJson> osm_;
  std::uint64_t shapes_ = 0;  ///< features left out as no camera
  Crs crs_ = Crs::kDegrees;
  std::string crs_name_;
  bool crs_late_ = false;  ///< a crs other than degrees after the first feature
};

}  // namespace

std::unique_ptr<CameraSource> MakeGeoJsonSource(int default_type) {
  return std::make_unique<GeoJsonSource>(default_type);
}

SignatureMatch GeoJsonSignature(const FileStart& start) {
  return start.text.starts_with("{") || start.text.starts_with("[") ? SignatureMatch::kText
                                                                    : SignatureMatch::kNo;
}

constinit const FormatEntry kGeoJsonFormat = {ImportFormat::kGeoJson,
                                              "geojson",
                                              "",
                                              "geojson json",
                                              ExportFormat::kGeoJson,
                                              WriteGeoJsonCameras,
                                              MakeGeoJsonSource,
                                              GeoJsonSignature};

}  // namespace korvel
