// CSV as spreadsheets and open-data portals write it: comma, semicolon or
// TAB separated, RFC 4180 quoting, UTF-8 (with or without a byte-order mark)
// or CP949, a header line naming the columns.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "exchange/import/field_map.h"
#include "exchange/import/fields.h"
#include "exchange/import/readers.h"
#include "platform/c_number.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace korvel {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
/// A quoted field may run over lines; a record never needs more than this.
constexpr std::size_t kMaxRecord = TextReader::kMaxLineLength;
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

bool OpenQuote(std::string_view text) {
  std::size_t quotes = 0;
  for (std::size_t at = text.find('"'); at != std::string_view::npos; at = text.find('"', at + 1)) {
    ++quotes;
  }
  return quotes % 2 != 0;
}

class CsvSource : public CameraSource {
 public:
  SourceOutcome Read(const std::string& path, std::uint32_t input, CameraSink& sink,
                     std::string& failure) override {
    auto file = OpenSource(path, failure);
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
      if (record.size() > kMaxRecord) {
        failure = path + ":" + std::to_string(first_line) + ": a record longer than " +
                  std::to_string(kMaxRecord) + " bytes (an unclosed quote?)";
        return SourceOutcome::kMalformed;
      }
      if (header) {
        header = false;
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
      failure =
          path + ":" + std::to_string(first_line + 1) + ": the file cannot be read from here on";
      return SourceOutcome::kUnreadable;
    }
    if (header) {
      failure = path + ": the file is empty; a CSV file needs a header line";
      return SourceOutcome::kMalformed;
    }
    return SourceOutcome::kRead;
  }

 private:
  /// The next record, over as many lines as an open quote takes: a view of
  /// the reader's buffer when it is one whole line, else of record_, valid
  /// until the next call. A line over the reader's limit makes the record too
  /// long as well.
  bool NextRecord(TextReader& reader, std::string_view& record, std::uint64_t& first_line) {
    std::string_view line;
    if (!reader.ReadLine(line)) return false;
    first_line = ++line_;
    if (!reader.too_long() && !OpenQuote(line)) {
      record = line;
      return true;
    }
    record_.assign(line);
    if (reader.too_long()) record_.resize(kMaxRecord + 1);
    while (OpenQuote(record_) && record_.size() <= kMaxRecord && reader.ReadString(more_)) {
      ++line_;
      record_ += '\n';
      record_ += reader.too_long() ? std::string(kMaxRecord, ' ') : more_;
    }
    record = record_;
    return true;
  }

  bool ReadHeader(const std::string& path, std::string& record, char& separator,
                  std::array<int, kColumnCount>& column, std::string& failure) {
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
      failure = path + ":1: no " + MissingAxis(axis, sink_fields_) + " in the header line";
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
    for (const std::string& name : given) names += (names.empty() ? "\"" : ", \"") + name + "\"";
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
             "WKT \"" + std::string(wkt.substr(0, 40)) + "\" is not a POINT (lon lat); skipped");
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
                      : " \"" + std::string(text.substr(0, 40)) + "\" is not a number") +
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

}  // namespace korvel
