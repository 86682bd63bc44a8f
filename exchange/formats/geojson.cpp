// GeoJSON: Point and MultiPoint features, read one feature at a time so
// that memory holds one feature, not the file. Properties by the column
// names, by the names our export writes, or as OpenStreetMap tags.

#include <nlohmann/json.hpp>

#include <array>
#include <string>

#include "camdb/parser.h"
#include "exchange/formats/fields.h"
#include "exchange/formats/file_stream.h"
#include "exchange/formats/readers.h"

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

class GeoJsonSource : public CameraSource {
 public:
  explicit GeoJsonSource(int type) : type_(type) {}

  SourceOutcome Read(SourceFile& source, std::uint32_t input, CameraSink& sink,
                     Problem& failure) override {
    const std::string& path = source.path();
    auto file = source.Open(failure);
    if (!file) return SourceOutcome::kUnreadable;
    BoundedBuffer buffer(*file);
    std::istream in(&buffer);
    input_ = input;
    sink_ = &sink;
    buffer_ = &buffer;
    json root;
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
    const json* type = root.is_object() && root.contains("type") ? &root["type"] : nullptr;
    if (type != nullptr && *type == "Feature") {
      Feature(root);
    } else if (type == nullptr || *type != "FeatureCollection") {
      failure = FileProblem(path, "not GeoJSON: a FeatureCollection or a Feature expected");
      return SourceOutcome::kMalformed;
    }
    return SourceOutcome::kRead;
  }

 private:
  /// What the parser keeps of each value: the root's type and version, each
  /// feature's geometry type and coordinates (points' only, when the type
  /// comes first), and the properties a field is read from, those holding
  /// an object or array kept empty. The rest is read past, never stored, so
  /// memory holds one feature's fields, whatever else the file holds.
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
      return true;
    }
    // Inside a root that is no object: neither GeoJSON nor worth keeping.
    if (!root_object_) return false;
    if (event == Event::key) {
      if (depth == 1) {
        in_features_ = false;
        geometry_ = Geometry::kUnknown;
        return parsed == "type" || parsed == "version" || parsed == "features" ||
               parsed == "geometry" || parsed == "properties";
      }
    }
    if (depth == 1 && event == Event::array_start) in_features_ = keys_[1] == "features";
    if (depth == 1 && event == Event::array_end) in_features_ = false;
    if (depth == 1 && event == Event::value && keys_[1] == "version" && parsed.is_string()) {
      TakeVersion(parsed.get_ref<const std::string&>());
    }
    // The feature's own depth: 2 in a FeatureCollection, 0 for a Feature alone.
    int base = 0;
    if (in_features_) {
      if (depth == 2) {
        if (event == Event::object_end) {
          Feature(parsed);
          geometry_ = Geometry::kUnknown;
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
    if (member == "properties" && relative == 2) {
      if (event != Event::key) return true;
      const std::string& name = parsed.get_ref<const std::string&>();
      return name == "highway" || ColumnOf(name) != Column::kNone;
    }
    return false;
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

  void Feature(const json& feature) {
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
    if (const auto properties = feature.find("properties");
        properties != feature.end() && properties->is_object()) {
      Properties(*properties, camera);
    }
    if (point) {
      Position(*coordinates, camera);
    } else {
      for (const json& position : *coordinates) Position(position, camera);
    }
  }

  void Properties(const json& properties, SourceCamera& camera) {
    bool osm = false;
    for (const auto& [name, value] : properties.items()) {
      if (name == "highway") osm = true;
      const Column column = ColumnOf(name);
      if (column == Column::kSample) {
        camera.sample = value.is_boolean() ? value.get<bool>() : false;
        continue;
      }
      if (column == Column::kNone || column == Column::kX || column == Column::kY) continue;
      const auto field =
          static_cast<Field>(static_cast<int>(column) - static_cast<int>(Column::kType));
      if (value.is_number()) {
        SetFieldNumber(camera, field, value.get<double>(), *sink_);
      } else if (value.is_string()) {
        SetFieldText(camera, field, value.get_ref<const std::string&>(), *sink_);
      } else if (!value.is_null()) {
        Warn(*sink_, camera.place,
             std::string(FieldName(field)) + " is " + value.type_name() +
                 ", not a number: read as 0");
        camera.fields[field] = 0;
      }
    }
    if (osm) {
      // As OpenStreetMap nodes are read: TYPE from --type, DIRTYPE 1 when
      // the direction is known.
      if (!camera.fields[kType]) camera.fields[kType] = type_;
      if (!camera.fields[kDirType]) camera.fields[kDirType] = camera.fields[kDirection] ? 1 : 0;
    }
  }

  void Position(const json& position, SourceCamera camera) {
    if (!position.is_array() || position.size() < 2 || !position[0].is_number() ||
        !position[1].is_number()) {
      Fail(*sink_, camera.place, "a position is not [longitude, latitude]; skipped");
      return;
    }
    camera.x = position[0].get<double>();
    camera.y = position[1].get<double>();
    sink_->Camera(camera);
  }

  enum class Geometry { kUnknown, kPoints, kOther };

  int type_;
  BoundedBuffer* buffer_ = nullptr;
  std::array<std::string, 5> keys_;  ///< the last key at each depth, as far as Keep looks
  bool root_object_ = false;
  bool in_features_ = false;                ///< inside the root's "features"
  Geometry geometry_ = Geometry::kUnknown;  ///< the present feature's, once its type is read
  bool too_deep_ = false;
  std::uint32_t input_ = 0;
  CameraSink* sink_ = nullptr;
  std::int64_t feature_ = 0;
};

}  // namespace

std::unique_ptr<CameraSource> MakeGeoJsonSource(int default_type) {
  return std::make_unique<GeoJsonSource>(default_type);
}

}  // namespace korvel
