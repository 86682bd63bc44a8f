// CSV as spreadsheets and open-data portals write it: comma, semicolon or
// TAB separated, RFC 4180 quoting, UTF-8 (with or without a byte-order mark)
// or CP949, a header line naming the columns.

#include "exchange/formats/csv.h"

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "exchange/formats/field_map.h"
#include "exchange/formats/fields.h"
#include "platform/c_number.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace korvel {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
/// A quoted field may run over lines; a record never needs more than this.
constexpr std::size_t kMaxRecord = TextReader::kMaxLineLength;
/// A record over more line breaks than this gets a warning: a quoted address
/// or note takes two or three, a quote left open takes every line after it.
constexpr std::uint64_t kQuotedLineBreaks = 4;
/// Bytes of a typical row ("126.866190,37.666784,1,80,0,86" and its line
/// end: 32), a little under, to guess the rows from the file's length.
constexpr std::uint64_t kRowBytes = 28;

/// The separator the header line uses most, outside quotes: TAB, then
/// semicolon, then comma on a tie. 0 when it holds none.
char DetectSeparator(std::string_view header) {
  std::size_t counts[3] = {};
  static constexpr char kSeparators[3] = {'\t', ';', ','};
  bool quoted = false;
  for (char c : header) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    for (int i = 0; i < 3; ++i) counts[i] += c == kSeparators[i];
  }
  int best = 0;
  for (int i = 1; i < 3; ++i) {
    if (counts[i] > counts[best]) best = i;
  }
  return counts[best] == 0 ? '\0' : kSeparators[best];
}

/// Cuts one record into fields, taking RFC 4180 quotes off. The fields view
/// `record`, or `unquoted` when the record has quotes.
void SplitRecord(std::string_view record, char separator, std::vector<std::string_view>& fields,
                 std::vector<std::string>& unquoted) {
  fields.clear();
  // Nearly every record: short and without quotes, cut in one pass, since a
  // library search per field costs more than its few bytes.
  std::size_t start = 0;
  std::size_t i = 0;
  for (; i < record.size() && record[i] != '"'; ++i) {
    if (record[i] == separator) {
      fields.push_back(record.substr(start, i - start));
      start = i + 1;
    }
  }
  if (i == record.size()) {
    fields.push_back(record.substr(start));
    return;
  }
  fields.clear();
  unquoted.clear();
  unquoted.emplace_back();
  bool quoted = false;
  for (std::size_t i = 0; i < record.size(); ++i) {
    const char c = record[i];
    if (quoted) {
      if (c != '"') {
        unquoted.back() += c;
      } else if (i + 1 < record.size() && record[i + 1] == '"') {
        unquoted.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == separator) {
      unquoted.emplace_back();
    } else {
      unquoted.back() += c;
    }
  }
  fields.assign(unquoted.begin(), unquoted.end());
}

/// Whether `text` holds an odd number of quotes: a line that leaves a quote
/// open, or closes one left open before.
bool OddQuotes(std::string_view text) {
  bool odd = false;
  for (const char *at = text.data(), *end = at + text.size();
       (at = static_cast<const char*>(std::memchr(at, '"', static_cast<std::size_t>(end - at))));
       ++at) {
    odd = !odd;
  }
  return odd;
}

/// The one-based column that byte `offset` of `record` lies in.
std::size_t ColumnAt(std::string_view record, std::size_t offset, char separator) {
  std::size_t column = 1;
  bool quoted = false;
  for (std::size_t i = 0; i < offset && i < record.size(); ++i) {
    if (record[i] == '"') quoted = !quoted;
    column += !quoted && record[i] == separator;
  }
  return column;
}

class CsvSource : public CameraSource {
 public:
  SourceOutcome Read(SourceFile& source, std::uint32_t input, CameraSink& sink,
                     Problem& failure) override {
    const std::string& path = source.path();
    auto file = source.Open(failure);
    if (!file) return SourceOutcome::kUnreadable;
    if (const auto length = file->GetLength()) sink.Expect(*length / kRowBytes);
    TextReader reader(std::move(file));
    std::string_view record;
    std::uint64_t first_line = 0;
    std::vector<std::string_view> fields;
    std::array<int, kColumnCount> column{};  // index by Column; -1 when absent
    column.fill(-1);
    char separator = 0;
    bool header = true;
    while (NextRecord(reader, record, first_line)) {
      const Place place{input, PlaceKind::kLine, static_cast<std::int64_t>(first_line)};
      if (!WholeRecord(path, record, first_line, failure)) return SourceOutcome::kMalformed;
      if (line_ - first_line > kQuotedLineBreaks) {
        Warn(sink, place,
             "quoted text runs over " + std::to_string(line_ - first_line + 1) +
                 " lines, to line " + std::to_string(line_) + " (a quote left open?)");
      }
      if (header) {
        header = false;
        if (nul_line_ != 0) {
          failure = LineProblem(
              path, nul_line_,
              "a NUL byte in the header line, column " +
                  std::to_string(ColumnAt(record, nul_offset_, DetectSeparator(record))));
          return SourceOutcome::kMalformed;
        }
        std::string names(record);
        sink_fields_ = &sink.Fields();
        field_map_.emplace(*sink_fields_, true);
        if (!ReadHeader(path, names, separator, column, failure)) return SourceOutcome::kMalformed;
        field_map_->Note(sink, Place{input, PlaceKind::kFile, 0});
        // --values asks for every row to be read by Row.
        plain_ = !field_map_->MapsValues();
        roles_.clear();
        for (int which = 0; which < static_cast<int>(column.size()); ++which) {
          const int at = column[which];
          if (at < 0) continue;
          if (roles_.size() <= static_cast<std::size_t>(at)) roles_.resize(at + 1, Column::kNone);
          roles_[at] = static_cast<Column>(which);
        }
        continue;
      }
      if (nul_line_ != 0) {
        Fail(sink, Place{input, PlaceKind::kLine, static_cast<std::int64_t>(nul_line_)},
             "a NUL byte in column " + std::to_string(ColumnAt(record, nul_offset_, separator)) +
                 "; skipped");
        continue;
      }
      if (record.find_first_not_of(" \t") == std::string_view::npos) continue;
      SourceCamera camera;
      camera.place = place;
      if (plain_ && PlainRow(record, separator, roles_, camera)) {
        sink.Camera(camera);
        continue;
      }
      SplitRecord(record, separator, fields, unquoted_);
      Row(place, fields, separator != ',', column, sink);
    }
    if (reader.failed()) {
      failure = LineProblem(path, first_line + 1, "the file cannot be read from here on");
      return SourceOutcome::kUnreadable;
    }
    if (header) {
      failure = FileProblem(path, "the file is empty; a CSV file needs a header line");
      return SourceOutcome::kMalformed;
    }
    return SourceOutcome::kRead;
  }

 private:
  /// The next record, over as many lines as an open quote takes: a view of
  /// the reader's buffer when it is one whole line, else of record_, valid
  /// until the next call. A line over the reader's limit makes the record too
  /// long as well. Notes the record's NUL and a quote the file leaves
  /// open. Each byte is looked at once, however many lines the record takes.
  bool NextRecord(TextReader& reader, std::string_view& record, std::uint64_t& first_line) {
    std::string_view line;
    if (!reader.ReadLine(line)) return false;
    first_line = ++line_;
    nul_line_ = 0;
    unclosed_ = false;
    if (reader.nul_at() != std::string::npos) {
      nul_line_ = line_;
      nul_offset_ = reader.nul_at();
    }
    // The bytes after a NUL are gone, and their quotes with them: the record
    // (skipped for its NUL) ends with the line.
    bool open = nul_line_ == 0 && OddQuotes(line);
    if (!reader.too_long() && !open) {
      record = line;
      return true;
    }
    record_.assign(line);
    if (reader.too_long()) record_.resize(kMaxRecord + 1);
    while (open && record_.size() <= kMaxRecord) {
      if (!reader.ReadString(more_)) {
        unclosed_ = !reader.failed();
        break;
      }
      ++line_;
      if (reader.nul_at() != std::string::npos) {
        nul_line_ = line_;
        nul_offset_ = record_.size() + 1 + reader.nul_at();
      }
      open = nul_line_ == 0 && open != OddQuotes(more_);
      record_ += '\n';
      record_ += reader.too_long() ? std::string(kMaxRecord, ' ') : more_;
    }
    record = record_;
    return true;
  }

  /// False, with the failure, for a record too long or still open at the end.
  bool WholeRecord(const std::string& path, std::string_view record, std::uint64_t first_line,
                   Problem& failure) const {
    if (record.size() > kMaxRecord) {
      failure = LineProblem(
          path, first_line,
          "a record longer than " + std::to_string(kMaxRecord) + " bytes (an unclosed quote?)");
    } else if (unclosed_) {
      failure = LineProblem(path, first_line,
                            "the quote opened on this line is still open at the end of the file");
    } else {
      return true;
    }
    return false;
  }

  bool ReadHeader(const std::string& path, std::string& record, char& separator,
                  std::array<int, kColumnCount>& column, Problem& failure) {
    if (std::string_view(record).starts_with(kUtf8Bom)) record.erase(0, kUtf8Bom.size());
    std::string utf8;
    if (!IsUtf8(record) && Cp949ToUtf8(record, utf8)) record = utf8;
    separator = DetectSeparator(record);
    std::vector<std::string_view> names;
    std::vector<std::string> unquoted;
    SplitRecord(record, separator, names, unquoted);
    unsigned taken = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const Column known = field_map_->Meet(names[i], taken);
      if (known != Column::kNone) column[static_cast<int>(known)] = static_cast<int>(i);
    }
    // A WKT column stands in for the two.
    const bool wkt = column[static_cast<int>(Column::kWkt)] >= 0;
    for (const Column axis : {Column::kX, Column::kY}) {
      if (column[static_cast<int>(axis)] >= 0 || wkt) continue;
      failure =
          LineProblem(path, 1, "no " + MissingAxis(axis, sink_fields_) + " in the header line");
      return false;
    }
    return true;
  }

  /// What a header without the column of `axis` lacks.
  static std::string MissingAxis(Column axis, const FieldRules* rules) {
    const auto& given = rules->names[static_cast<int>(axis)];
    const std::string what = axis == Column::kX ? "longitude column" : "latitude column";
    if (given.empty()) {
      return what + (axis == Column::kX
                         ? " (x, lon, lng, long, longitude or \xEA\xB2\xBD\xEB\x8F\x84)"
                         : " (y, lat, latitude or \xEC\x9C\x84\xEB\x8F\x84)");
    }
    std::string names;
    for (const std::string& name : given) names += (names.empty() ? "" : ", ") + QuotedLine(name);
    return what + " (" + names + " given by --field " + std::string(ColumnName(axis)) + ")";
  }

  // PlainRow stores the columns from TYPE to DIRECTION as the fields in turn.
  static_assert(static_cast<int>(Column::kDirection) - static_cast<int>(Column::kType) ==
                    kDirection - kType &&
                kType == 0);

  /// Nearly every row: no quotes, coordinates that ReadPlainDecimal takes
  /// whole, the other numbers at most nine digits, no blanks. Fills `camera`
  /// in one pass over `record`, as Row would, and returns true; any other row
  /// returns false with nothing reported, for Row to read. Such a row gives
  /// Row no problem to report, so the two agree on every row taken here.
  /// `roles` holds each column's field (kNone for those not read).
  static bool PlainRow(std::string_view record, char separator, const std::vector<Column>& roles,
                       SourceCamera& camera) {
    const char* p = record.data();
    const char* const end = p + record.size();
    bool x = false, y = false;
    for (std::size_t i = 0;; ++i) {
      const char* stop = p;
      while (stop != end && *stop != separator) {
        if (*stop == '"') return false;
        ++stop;
      }
      // The coordinates are read up to the record's end, not the field's: the
      // reader ends at the separator all the same, and with eight bytes ahead
      // it takes its digits eight at a time. Its value depends only on the
      // digits, so it is Row's value when it stops at the separator.
      switch (i < roles.size() ? roles[i] : Column::kNone) {
        case Column::kX:
          if (p == stop || ReadPlainDecimal(p, end, camera.x) != stop) return false;
          x = true;
          break;
        case Column::kY:
          if (p == stop || ReadPlainDecimal(p, end, camera.y) != stop) return false;
          y = true;
          break;
        case Column::kType:
        case Column::kSpeed:
        case Column::kDirType:
        case Column::kDirection: {
          // An empty field leaves the field missing, as in Row.
          if (p == stop) break;
          if (stop - p > 9) return false;
          std::int64_t value = 0;
          for (const char* c = p; c != stop; ++c) {
            if (!IsDigit(*c)) return false;
            value = value * 10 + (*c - '0');
          }
          camera.fields[static_cast<int>(roles[i]) - static_cast<int>(Column::kType)] = value;
          break;
        }
        case Column::kSample:
          camera.sample = ReadSample(std::string_view(p, static_cast<std::size_t>(stop - p)));
          break;
        case Column::kWkt:
          return false;
        case Column::kNone:
          break;
      }
      if (stop == end) break;
      p = stop + 1;
    }
    return x && y;
  }

  /// The row's position, from X and Y or else a WKT point; false after its
  /// error.
  template <typename Text>
  static bool Coordinates(const Text& field, bool decimal_comma, SourceCamera& camera,
                          CameraSink& sink) {
    if (const std::string_view wkt = field(Column::kWkt); !wkt.empty()) {
      const auto point = ReadWktPoint(wkt);
      if (!point) {
        Fail(sink, camera.place,
             "WKT " + QuotedText(wkt, 40) + " is not a POINT (lon lat); skipped");
        return false;
      }
      camera.x = point->first;
      camera.y = point->second;
      return true;
    }
    static constexpr const char* kNames[2] = {"longitude", "latitude"};
    const Column axes[2] = {Column::kX, Column::kY};
    double* degrees[2] = {&camera.x, &camera.y};
    for (int i = 0; i < 2; ++i) {
      const std::string_view text = field(axes[i]);
      const auto value = ReadDecimal(text, decimal_comma);
      if (!value) {
        Fail(sink, camera.place,
             std::string(kNames[i]) +
                 (text.find_first_not_of(" ") == std::string_view::npos
                      ? std::string(" missing")
                      : std::string(" ").append(QuotedText(text, 40)).append(" is not a number")) +
                 "; skipped");
        return false;
      }
      *degrees[i] = *value;
    }
    return true;
  }

  void Row(const Place& place, const std::vector<std::string_view>& fields, bool decimal_comma,
           const std::array<int, kColumnCount>& column, CameraSink& sink) const {
    const auto field = [&](Column which) -> std::string_view {
      const int at = column[static_cast<int>(which)];
      return at >= 0 && static_cast<std::size_t>(at) < fields.size() ? fields[at]
                                                                     : std::string_view();
    };
    SourceCamera camera;
    camera.place = place;
    if (!Coordinates(field, decimal_comma, camera, sink)) return;
    for (const Column which :
         {Column::kType, Column::kSpeed, Column::kDirType, Column::kDirection}) {
      if (!field_map_->SetText(camera, which, field(which), sink, decimal_comma)) return;
    }
    camera.sample = ReadSample(field(Column::kSample));
    sink.Camera(camera);
  }

  std::uint64_t line_ = 0;
  std::uint64_t nul_line_ = 0;         ///< the line of the record's first NUL; 0 for none
  std::size_t nul_offset_ = 0;         ///< and where it stands in the record
  bool unclosed_ = false;              ///< the record ends with the file, its quote open
  std::string record_, more_;          ///< a record over several lines, and its next line
  std::vector<std::string> unquoted_;  ///< the fields of a record with quotes
  std::vector<Column> roles_;          ///< what each column holds, for PlainRow
  std::optional<FieldMap> field_map_;  ///< the header's names
  const FieldRules* sink_fields_ = nullptr;
  bool plain_ = true;  ///< rows may be read by PlainRow
};

}  // namespace

std::unique_ptr<CameraSource> MakeCsvSource() {
  return std::make_unique<CsvSource>();
}

SignatureMatch CsvSignature(const FileStart& start) {
  return start.bytes.find('\0') != std::string_view::npos && NameExtension(start.path) == "csv"
             ? SignatureMatch::kBinary
             : SignatureMatch::kNo;
}

constinit const FormatEntry kCsvFormat = {ImportFormat::kCsv,
                                          "csv",
                                          "",
                                          "csv",
                                          ExportFormat::kCsv,
                                          WriteCsvCameras,
                                          [](int) { return MakeCsvSource(); },
                                          CsvSignature};

}  // namespace korvel
