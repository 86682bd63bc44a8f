// Our camera text (and the tsv export, which is one), read by the parser's
// own rules: TAB-separated fields, atof and atoi, single-precision units.

#include "exchange/formats/text.h"

#include <span>
#include <string>

#include "camdb/parser.h"
#include "camdb/row_reader.h"
#include "exchange/formats/fields.h"
#include "platform/c_number.h"
#include "platform/text_file.h"

namespace korvel {
namespace {

class TextSource : public CameraSource {
 public:
  SourceOutcome Read(SourceFile& source, std::uint32_t input, CameraSink& sink,
                     Problem& failure) override {
    const std::string& path = source.path();
    auto file = source.Open(failure);
    if (!file) return SourceOutcome::kUnreadable;
    TextReader reader(std::move(file));
    // The parser's own classification of each line.
    RowReader rows(reader);
    std::uint64_t number = 0;
    while (rows.Next()) {
      number = rows.line();
      const Place place{input, PlaceKind::kLine, static_cast<std::int64_t>(number)};
      const RowFields& fields = rows.row().fields;
      switch (rows.kind()) {
        case LineKind::kTooLong:
          Fail(
              sink, place,
              "line longer than " + std::to_string(TextReader::kMaxLineLength) + " bytes; skipped");
          break;
        case LineKind::kVersion:
          if (!VersionLine(path, rows.text(), reader.nul_at() != std::string::npos, sink, place,
                           failure)) {
            return SourceOutcome::kMalformed;
          }
          break;
        case LineKind::kHeader:
          if (MissingHeaderField(std::span(fields.field.data(), fields.kept())) !=
              std::string_view::npos) {
            failure = LineProblem(path, 2, "not a camera text: the header must start X, Y, TYPE");
            return SourceOutcome::kMalformed;
          }
          break;
        case LineKind::kEmpty:  // an empty line holds no camera
          break;
        case LineKind::kFieldCount:
          Fail(sink, place,
               std::to_string(fields.count) + " fields, 6 TAB-separated fields expected; skipped");
          break;
        case LineKind::kPlainRow:
        case LineKind::kCRow:
          sink.Camera(RowCamera(place, rows.row(), sink));
          break;
      }
    }
    if (reader.failed()) {
      failure = LineProblem(path, number + 1, "the file cannot be read from here on");
      return SourceOutcome::kUnreadable;
    }
    if (number < 2) {
      failure = FileProblem(path, "not a camera text: it ends before the header line");
      return SourceOutcome::kMalformed;
    }
    return SourceOutcome::kRead;
  }

 private:
  /// Takes the first line as the version line, unless it holds a control
  /// character (an error) or is not one generate takes (a warning). False,
  /// with the failure, when it is no version line at all. `nul` says the line
  /// was cut at a NUL.
  static bool VersionLine(const std::string& path, std::string_view text, bool nul,
                          CameraSink& sink, const Place& place, Problem& failure) {
    if (text.empty() || text[0] != 'V') {
      failure = LineProblem(path, 1, "not a camera text: the first line must be the version line");
      return false;
    }
    std::string line(text);
    if (nul) line += '\0';
    if (const std::string problem = VersionControlProblem("version line", line); !problem.empty()) {
      Fail(sink, place, problem + "; not taken");
    } else if (VersionFault(line) == ParseFault::kNone) {
      sink.Version(line);
    } else {
      Warn(sink, place,
           "version line " + QuotedText(line) +
               " is not one generate takes; it is not carried over");
    }
    return true;
  }

  /// The row's values as generate stores them; a field whose text says more
  /// or other than that gets a warning.
  static SourceCamera RowCamera(const Place& place, const DataRow& row, CameraSink& sink) {
    SourceCamera camera;
    camera.place = place;
    if (row.kind == LineKind::kPlainRow) {
      const PlainRow& plain = row.plain;
      camera.x = plain.x;
      camera.y = plain.y;
      camera.stored_x = DegreesToUnits(plain.x);
      camera.stored_y = DegreesToUnits(plain.y);
      for (int i = 0; i < kFieldCount; ++i) camera.fields[i] = plain.values[i];
      return camera;
    }
    const auto& fields = row.fields.field;
    static constexpr const char* kNames[] = {"X", "Y"};
    double* degrees[] = {&camera.x, &camera.y};
    for (int i = 0; i < 2; ++i) {
      *degrees[i] = CAtof(fields[i]);
      (i == 0 ? camera.stored_x : camera.stored_y) = ConvertCoordinate(fields[i]);
      const auto strict = ReadDecimal(fields[i]);
      if (!strict || *strict != *degrees[i]) {
        Warn(sink, place,
             std::string(kNames[i]) + " " + QuotedText(fields[i]) + " is read as " +
                 std::to_string(*degrees[i]) + ", as generate reads it");
      }
    }
    for (int i = 0; i < kFieldCount; ++i) {
      const std::string_view text = fields[2 + i];
      const int value = CAtoi(text);
      const auto strict = ReadDecimal(text);
      if (!strict || *strict != value) {
        Warn(sink, place,
             std::string(FieldName(static_cast<Field>(i))) + " " + QuotedText(text) +
                 " is read as " + std::to_string(value) + ", as generate reads it");
      }
      camera.fields[i] = value;
    }
    return camera;
  }
};

}  // namespace

std::unique_ptr<CameraSource> MakeTextSource() {
  return std::make_unique<TextSource>();
}

SignatureMatch TextSignature(const FileStart& start) {
  if (!start.text.starts_with("V")) return SignatureMatch::kNo;
  const std::size_t end = start.text.find('\n');
  return end != std::string_view::npos && start.text.substr(end + 1).starts_with("X\tY\tTYPE")
             ? SignatureMatch::kText
             : SignatureMatch::kNo;
}

constinit const FormatEntry kTextFormat = {ImportFormat::kText,
                                           "text",
                                           "tsv",
                                           "txt tsv",
                                           ExportFormat::kTsv,
                                           WriteTextCameras,
                                           [](int) { return MakeTextSource(); },
                                           TextSignature};

}  // namespace korvel
