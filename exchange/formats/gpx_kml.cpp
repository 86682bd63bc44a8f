// GPX waypoints and KML Placemark points, with the fields our exports write:
// GPX <extensions> children, KML ExtendedData (SimpleData or Data/value) by
// the column names.

#include "exchange/formats/gpx_kml.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "camdb/parser.h"
#include "exchange/formats/field_map.h"
#include "exchange/formats/fields.h"
#include "exchange/formats/xml_reader.h"
#include "exchange/formats/zip_entry.h"

namespace korvel {
namespace {

/// Text kept for one element at most; no field comes near it.
constexpr std::size_t kMaxText = 1 << 20;
/// Deeper documents are not GPX or KML as any program writes them.
constexpr std::size_t kMaxDepth = 256;
/// The creator our GPX export names.
constexpr std::string_view kOurCreator = "korvel-cli";

class CameraXml : public XmlHandler {
 public:
  CameraXml(bool kml, std::uint32_t input, CameraSink& sink)
      : kml_(kml), input_(input), sink_(sink), field_map_(sink.Fields(), false) {}

  void Start(std::string_view name, const XmlAttributes& attributes, std::uint64_t line) override {
    text_.clear();
    if (stack_.size() == kMaxDepth) {
      too_deep_ = true;
      return;
    }
    stack_.emplace_back(name);
    leaf_ = true;
    if (stack_.size() == 1) {
      ours_ = !kml_ && Attribute(attributes, "creator") == kOurCreator;
    } else if (kml_ && name == "Schema" && Parent() == "Document") {
      // Our KML export declares its fields in a Schema named "camera".
      if (Attribute(attributes, "id") == "camera" && !ours_) {
        ours_ = true;
        if (!title_.empty()) TakeVersion(title_);
      }
    }
    in_extensions_ += name == "extensions";
    if (name == (kml_ ? "Placemark" : "wpt")) {
      in_camera_ = true;
      camera_ = SourceCamera();
      left_out_ = false;
      taken_ = 0;
      camera_.place = Place{input_, PlaceKind::kLine, static_cast<std::int64_t>(line)};
      positions_.clear();
      named_ = NamedPosition();
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
    const std::string_view parent = Parent();
    if (name == "name" && (parent == "metadata" || parent == "Document") && !in_camera_) {
      // A document's title is the version line only in our own exports.
      if (!kml_ && ours_) {
        TakeVersion(text_);
      } else if (kml_ && title_.empty()) {
        title_ = text_;
        if (ours_) TakeVersion(title_);
      }
    } else if (in_camera_) {
      InCamera(name, parent);
    }
    in_extensions_ -= name == "extensions";
    if (!stack_.empty()) stack_.pop_back();
    text_.clear();
  }

  void Text(std::string_view text) override {
    if (text_.size() + text.size() <= kMaxText) text_.append(text);
  }

  bool Wants(std::string_view attribute) const override {
    return attribute == "lat" || attribute == "lon" || attribute == "name" || attribute == "id" ||
           attribute == "creator";
  }

  bool Stopped() const override { return too_deep_; }

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
  std::string_view Parent() const {
    return stack_.size() >= 2 ? std::string_view(stack_[stack_.size() - 2]) : std::string_view();
  }

  /// A version line from the document, unless it holds a control character.
  void TakeVersion(const std::string& line) {
    if (const std::string problem = VersionControlProblem("version line", line); !problem.empty()) {
      Fail(sink_, Place{input_, PlaceKind::kFile, 0}, problem + "; not taken");
    } else if (VersionFault(line) == ParseFault::kNone) {
      sink_.Version(line);
    }
  }

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
    if (text.size() > kMaxAttributeValue) return std::numeric_limits<double>::quiet_NaN();
    return ReadDecimal(text).value_or(std::numeric_limits<double>::quiet_NaN());
  }

  void InCamera(std::string_view name, std::string_view parent) {
    if (name == (kml_ ? "Placemark" : "wpt")) {
      in_camera_ = false;
      if (left_out_) return;
      if (field_map_.NamesPosition()) {
        // The names --field gives hold the position: the geometry is not read.
        if (field_map_.TakePosition(named_, camera_, sink_)) sink_.Camera(camera_);
        return;
      }
      if (positions_.empty() && shape_) {
        ++shapes_;
        return;
      }
      if (positions_.empty()) {
        Fail(sink_, camera_.place, "a Placemark without a Point; skipped");
        return;
      }
      if (!field_map_.TakePosition(named_, camera_, sink_)) return;
      for (const auto& [x, y] : positions_) {
        SourceCamera camera = camera_;
        if (!field_map_.Names(Column::kX)) camera.x = x;
        if (!field_map_.Names(Column::kY)) camera.y = y;
        sink_.Camera(camera);
      }
    } else if (kml_ && name == "coordinates" && parent == "Point") {
      Positions(text_);
    } else if (kml_ && (name == "SimpleData" || (name == "value" && parent == "Data"))) {
      Field(data_name_, text_);
    } else if (!kml_ && ended_leaf_ && in_extensions_ != 0) {
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
    } else if (column == Column::kX || column == Column::kY) {
      const int axis = column == Column::kX ? 0 : 1;
      named_.name[axis] = name;
      named_.text[axis] = text;
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
  std::string title_;      ///< a KML Document's name, until it proves ours
  bool ours_ = false;      ///< written by our export: its title is the version line
  int in_extensions_ = 0;  ///< open <extensions> elements
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
  NamedPosition named_;  ///< the coordinates --field names, as the camera wrote them
};

class XmlSource : public CameraSource {
 public:
  XmlSource(bool kml, bool kmz) : kml_(kml), kmz_(kmz) {}

  SourceOutcome Read(SourceFile& source, std::uint32_t input, CameraSink& sink,
                     Problem& failure) override {
    const std::string& path = source.path();
    CameraXml handler(kml_, input, sink);
    auto file = source.Open(failure);
    if (!file) return SourceOutcome::kUnreadable;
    std::string why;
    std::uint64_t line = 0;
    XmlOutcome outcome;
    std::unique_ptr<BinaryFile> kml;
    if (kmz_) {
      kml = OpenZipEntry(std::move(file), "doc.kml", ".kml", why);
      if (!kml) {
        failure = FileProblem(path, why);
        return SourceOutcome::kMalformed;
      }
      outcome = ParseXmlFile(*kml, handler, why, line);
      // A damaged entry reads as a file that fails.
      if (outcome == XmlOutcome::kUnreadable && kml->failed()) {
        failure =
            FileProblem(path, "the KML in it is damaged (its size or CRC is not the archive's)");
        return SourceOutcome::kMalformed;
      }
    } else {
      outcome = ParseXmlFile(*file, handler, why, line);
    }
    switch (outcome) {
      case XmlOutcome::kRead:
        break;
      case XmlOutcome::kUnreadable:
        failure = FileProblem(path, why);
        return SourceOutcome::kUnreadable;
      case XmlOutcome::kMalformed:
        failure = LineProblem(path, line, why);
        return SourceOutcome::kMalformed;
      case XmlOutcome::kUnsupported:
        failure = FileProblem(path, why);
        return SourceOutcome::kMalformed;
    }
    if (handler.too_deep()) {
      failure = FileProblem(path, "elements nested over " + std::to_string(kMaxDepth) + " deep");
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

namespace {

/// The ASCII characters of UTF-16 text after its byte-order mark, other
/// characters as NUL: enough to find an XML root element.
std::string Utf16Ascii(std::string_view bytes) {
  const bool little = bytes.starts_with("\xFF\xFE");
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const char low = little ? bytes[i] : bytes[i + 1];
    const char high = little ? bytes[i + 1] : bytes[i];
    text.push_back(high == 0 && static_cast<unsigned char>(low) < 0x80 ? low : '\0');
  }
  return text;
}

SignatureMatch MarkupMatch(const FileStart& start, std::string_view root) {
  if ((start.bytes.starts_with("\xFF\xFE") || start.bytes.starts_with("\xFE\xFF")) &&
      Utf16Ascii(start.bytes).find(root) != std::string::npos) {
    return SignatureMatch::kBinary;
  }
  return MarkupHolds(start.text, root) ? SignatureMatch::kText : SignatureMatch::kNo;
}

}  // namespace

SignatureMatch GpxSignature(const FileStart& start) {
  return MarkupMatch(start, "<gpx");
}

SignatureMatch KmlSignature(const FileStart& start) {
  return MarkupMatch(start, "<kml");
}

SignatureMatch KmzSignature(const FileStart& start) {
  return start.bytes.starts_with("PK\x03\x04") ? SignatureMatch::kBinary : SignatureMatch::kNo;
}

constinit const FormatEntry kGpxFormat = {ImportFormat::kGpx,
                                          "gpx",
                                          "",
                                          "gpx",
                                          ExportFormat::kGpx,
                                          WriteGpxCameras,
                                          [](int) { return MakeXmlSource(false); },
                                          GpxSignature};

constinit const FormatEntry kKmlFormat = {ImportFormat::kKml,
                                          "kml",
                                          "",
                                          "kml",
                                          ExportFormat::kKml,
                                          WriteKmlCameras,
                                          [](int) { return MakeXmlSource(true); },
                                          KmlSignature};

constinit const FormatEntry kKmzFormat = {ImportFormat::kKmz,
                                          "kmz",
                                          "",
                                          "kmz",
                                          std::nullopt,
                                          nullptr,
                                          [](int) { return MakeXmlSource(true, true); },
                                          KmzSignature};

}  // namespace korvel
