// GPX waypoints and KML Placemark points, with the fields our exports write:
// GPX <extensions> children, KML ExtendedData (SimpleData or Data/value) by
// the column names.

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "camdb/parser.h"
#include "exchange/import/field_map.h"
#include "exchange/import/fields.h"
#include "exchange/import/readers.h"
#include "exchange/import/xml_reader.h"
#include "exchange/import/zip_entry.h"

namespace korvel {
namespace {

/// Text kept for one element at most; no field comes near it.
constexpr std::size_t kMaxText = 1 << 20;
/// Deeper documents are not GPX or KML as any program writes them.
constexpr std::size_t kMaxDepth = 256;

class CameraXml : public XmlHandler {
 public:
  CameraXml(bool kml, std::uint32_t input, CameraSink& sink)
      : kml_(kml), input_(input), sink_(sink), field_map_(sink.Fields(), false) {}

  void Start(std::string_view name, const XmlAttributes& attributes, std::uint64_t line) override {
    stack_.emplace_back(name);
    text_.clear();
    leaf_ = true;
    if (stack_.size() > kMaxDepth) too_deep_ = true;
    if (name == (kml_ ? "Placemark" : "wpt")) {
      in_camera_ = true;
      camera_ = SourceCamera();
      left_out_ = false;
      taken_ = 0;
      camera_.place = Place{input_, PlaceKind::kLine, static_cast<std::int64_t>(line)};
      positions_.clear();
      shape_ = false;
      if (!kml_) {
        camera_.x = Coordinate(Attribute(attributes, "lon"));
        camera_.y = Coordinate(Attribute(attributes, "lat"));
        positions_.push_back({camera_.x, camera_.y});
      }
    }
    if (name == "SimpleData" || name == "Data") data_name_ = Attribute(attributes, "name");
    if (kml_ && in_camera_ && IsShape(name)) shape_ = true;
    if (!kml_) {
      waypoints_ += name == "wpt";
      route_points_ += name == "rtept";
      track_points_ += name == "trkpt";
    }
  }

  void End(std::string_view name) override {
    ended_leaf_ = leaf_;
    leaf_ = false;
    const std::string_view parent =
        stack_.size() >= 2 ? std::string_view(stack_[stack_.size() - 2]) : std::string_view();
    if (name == "name" && (parent == "metadata" || parent == "Document") && !in_camera_) {
      if (VersionFault(text_) == ParseFault::kNone) sink_.Version(text_);
    } else if (in_camera_) {
      InCamera(name, parent);
    }
    if (!stack_.empty()) stack_.pop_back();
    text_.clear();
  }

  void Text(std::string_view text) override {
    if (text_.size() + text.size() <= kMaxText) text_.append(text);
  }

  bool too_deep() const { return too_deep_; }
  /// Reports which names fed which fields, and what was no camera.
  void Note(const Place& place) const {
    field_map_.Note(sink_, place);
    if (shapes_ != 0) {
      sink_.Problem({place, ProblemKind::kNote,
                     std::to_string(shapes_) +
                         (shapes_ == 1 ? " Placemark is a line, polygon or track"
                                       : " Placemarks are lines, polygons or tracks") +
                         ", not a camera: left out"});
    }
    if (waypoints_ == 0 && route_points_ + track_points_ != 0) {
      sink_.Problem({place, ProblemKind::kWarning,
                     "no waypoints (wpt); its " + std::to_string(route_points_) +
                         " route points (rtept) and " + std::to_string(track_points_) +
                         " track points (trkpt) are a way, not cameras"});
    }
  }

 private:
  static std::string Attribute(const XmlAttributes& attributes, std::string_view name) {
    for (const auto& [key, value] : attributes) {
      if (key == name) return value;
    }
    return {};
  }

  /// KML geometries that hold no camera.
  static bool IsShape(std::string_view name) {
    return name == "LineString" || name == "Polygon" || name == "LinearRing" || name == "Track" ||
           name == "MultiTrack" || name == "Model";
  }

  static double Coordinate(std::string_view text) {
    return ReadDecimal(text).value_or(std::numeric_limits<double>::quiet_NaN());
  }

  void InCamera(std::string_view name, std::string_view parent) {
    if (name == (kml_ ? "Placemark" : "wpt")) {
      in_camera_ = false;
      if (left_out_) return;
      if (positions_.empty() && shape_) {
        ++shapes_;
        return;
      }
      if (positions_.empty()) {
        Fail(sink_, camera_.place, "a Placemark without a Point; skipped");
        return;
      }
      for (const auto& [x, y] : positions_) {
        SourceCamera camera = camera_;
        camera.x = x;
        camera.y = y;
        sink_.Camera(camera);
      }
    } else if (kml_ && name == "coordinates" && parent == "Point") {
      Positions(text_);
    } else if (kml_ && (name == "SimpleData" || (name == "value" && parent == "Data"))) {
      Field(data_name_, text_);
    } else if (!kml_ && ended_leaf_ &&
               std::find(stack_.begin(), stack_.end(), "extensions") != stack_.end()) {
      Field(name, text_);
    }
  }

  /// KML tuples "lon,lat[,alt]", separated by blanks.
  void Positions(std::string_view text) {
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t\r\n", at)) != std::string_view::npos) {
      const std::size_t end = std::min(text.find_first_of(" \t\r\n", at), text.size());
      const std::string_view tuple = text.substr(at, end - at);
      const std::size_t comma = tuple.find(',');
      const std::size_t second = tuple.find(',', comma + 1);
      if (comma == std::string_view::npos) {
        positions_.push_back({Coordinate(tuple), std::numeric_limits<double>::quiet_NaN()});
      } else {
        positions_.push_back({Coordinate(tuple.substr(0, comma)),
                              Coordinate(tuple.substr(comma + 1, second - comma - 1))});
      }
      at = end;
    }
  }

  void Field(std::string_view name, std::string_view text) {
    const Column column = field_map_.Meet(name, taken_);
    if (column == Column::kSample) {
      camera_.sample = ReadSample(text);
    } else if (!left_out_ && !field_map_.SetText(camera_, column, text, sink_)) {
      left_out_ = true;
    }
  }

  bool kml_;
  std::uint32_t input_;
  CameraSink& sink_;
  std::vector<std::string> stack_;
  std::string text_;
  std::string data_name_;
  bool in_camera_ = false;
  bool too_deep_ = false;
  bool leaf_ = false;        ///< no element started since the last one
  bool ended_leaf_ = false;  ///< the element ending held no element
  bool left_out_ = false;    ///< the camera had an error: not handed on
  FieldMap field_map_;
  unsigned taken_ = 0;        ///< the columns the camera's names fed
  bool shape_ = false;        ///< the Placemark holds a line, polygon or track
  std::uint64_t shapes_ = 0;  ///< Placemarks left out as no camera
  std::uint64_t waypoints_ = 0, route_points_ = 0, track_points_ = 0;
  SourceCamera camera_;
  std::vector<std::pair<double, double>> positions_;
};

class XmlSource : public CameraSource {
 public:
  XmlSource(bool kml, bool kmz) : kml_(kml), kmz_(kmz) {}

  SourceOutcome Read(const std::string& path, std::uint32_t input, CameraSink& sink,
                     std::string& failure) override {
    CameraXml handler(kml_, input, sink);
    std::string why;
    XmlOutcome outcome;
    if (kmz_) {
      auto zip = OpenSource(path, failure);
      if (!zip) return SourceOutcome::kUnreadable;
      auto kml = OpenZipEntry(std::move(zip), "doc.kml", ".kml", why);
      if (!kml) {
        failure = path + ": " + why;
        return SourceOutcome::kMalformed;
      }
      outcome = ParseXmlStream(*kml, handler, why);
      // A damaged entry reads as a file that fails.
      if (outcome == XmlOutcome::kUnreadable && kml->failed()) {
        failure = path + ": the KML in it is damaged (its size or CRC is not the archive's)";
        return SourceOutcome::kMalformed;
      }
    } else {
      outcome = ParseXmlFile(path, handler, why);
    }
    switch (outcome) {
      case XmlOutcome::kRead:
        break;
      case XmlOutcome::kUnreadable:
        failure = path + ": " + why;
        return SourceOutcome::kUnreadable;
      case XmlOutcome::kMalformed:
        failure = path + ":" + why;
        return SourceOutcome::kMalformed;
      case XmlOutcome::kUnsupported:
        failure = path + ": " + why;
        return SourceOutcome::kMalformed;
    }
    if (handler.too_deep()) {
      failure = path + ": elements nested over " + std::to_string(kMaxDepth) + " deep";
      return SourceOutcome::kMalformed;
    }
    handler.Note(Place{input, PlaceKind::kFile, 0});
    return SourceOutcome::kRead;
  }

 private:
  bool kml_, kmz_;
};

}  // namespace

std::unique_ptr<CameraSource> MakeXmlSource(bool kml, bool kmz) {
  return std::make_unique<XmlSource>(kml, kmz);
}

}  // namespace korvel
