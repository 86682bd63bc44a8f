#include "camdb/parser.h"

#include <algorithm>
#include <ostream>
#include <utility>

namespace korvel {
namespace {

/// Reserving for more points than this waits until they are really there: a
/// text of empty lines must not claim memory for rows it will never give.
constexpr std::size_t kMaxReserve = std::size_t{1} << 21;

/// `pattern` with its "%d" replaced by the one-based line number.
std::string LineMessage(std::string_view pattern, std::uint64_t line_number) {
  std::string text(pattern);
  const std::size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(line_number));
  return text;
}

}  // namespace

std::string ParseStatusText(const ParseResult& result) {
  switch (result.fault) {
    case ParseFault::kNone:
      return {};
    case ParseFault::kVersionMissing:
      return parse_status::kVersionMissing;
    case ParseFault::kVersionTooShort:
      return parse_status::kVersionTooShort;
    case ParseFault::kVersionBadChar:
      return parse_status::kVersionBadChar;
    case ParseFault::kXMissing:
      return parse_status::kXMissing;
    case ParseFault::kYMissing:
      return parse_status::kYMissing;
    case ParseFault::kTypeMissing:
      return parse_status::kTypeMissing;
    case ParseFault::kEmptyLine:
      return LineMessage(parse_status::kEmptyLine, result.line);
    case ParseFault::kBadLine:
      return LineMessage(parse_status::kBadLine, result.line);
    case ParseFault::kReadFailed:
      return LineMessage(parse_status::kReadFailed, result.line);
  }
  return {};
}

ParseFault VersionFault(std::string_view version) {
  if (version.empty() || version[0] != 'V') return ParseFault::kVersionMissing;
  // Characters 5 to 10 name every output file and fill the device header; a
  // shorter line would leave them undefined.
  if (version.size() < kMinVersionLength) return ParseFault::kVersionTooShort;
  if (FindBadVersionChar(version) != std::string_view::npos) return ParseFault::kVersionBadChar;
  return ParseFault::kNone;
}

std::size_t MissingHeaderField(std::span<const std::string_view> fields) {
  for (std::size_t i = 0; i < std::size(kHeaderNames); ++i) {
    if (fields.size() <= i || fields[i] != kHeaderNames[i]) return i;
  }
  return std::string_view::npos;
}

std::size_t FindBadVersionChar(std::string_view version) {
  for (std::size_t i = 5; i < kMinVersionLength && i < version.size(); ++i) {
    const auto c = static_cast<unsigned char>(version[i]);
    if (c < 0x20 || c == 0x7F ||
        std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) {
      return i;
    }
  }
  return std::string_view::npos;
}

std::string K93Exchange(std::string_view line) {
  std::string swapped(line);
  if (swapped.size() >= kMinVersionLength) {
    std::swap(swapped[5], swapped[9]);
    std::swap(swapped[6], swapped[10]);
  }
  return swapped;
}

namespace {

/// Any line but a row: the version line, the header, and the faults.
ParseResult OtherLine(const RowReader& rows, DbState& state) {
  const std::uint64_t line = rows.line();
  switch (rows.kind()) {
    case LineKind::kVersion: {
      state.DB_VERSION = state.K93_MODE == 1 ? K93Exchange(rows.text()) : std::string(rows.text());
      if (const ParseFault fault = VersionFault(state.DB_VERSION); fault != ParseFault::kNone) {
        return {fault, line};
      }
      break;
    }
    case LineKind::kHeader: {
      const RowFields& fields = rows.row().fields;
      if (const std::size_t missing =
              MissingHeaderField(std::span(fields.field.data(), fields.kept()));
          missing != std::string_view::npos) {
        return {kHeaderMissing[missing], line};
      }
      break;
    }
    case LineKind::kEmpty:
      // The line end the generator appends after a file that already ends
      // with one (zero-based, that line's index is the chosen file's line
      // count): the only empty row that is not a fault.
      if (line - 1 != state.DB_LINE_COUNT) return {ParseFault::kEmptyLine, line};
      break;
    case LineKind::kFieldCount:
    case LineKind::kTooLong:
      return {ParseFault::kBadLine, line};
    case LineKind::kPlainRow:
    case LineKind::kCRow:
      break;
  }
  return {};
}

}  // namespace

ParseResult ParseDb(TextReader& file, DbState& state, std::ostream* trace) {
  // The copy holds at most as many rows as the chosen text has lines.
  state.GPS_DB.reserve(state.GPS_DB.size() +
                       std::min<std::size_t>(state.DB_LINE_COUNT, kMaxReserve));
  RowReader rows(file);
  while (rows.Next()) {
    // Rows first, without a jump through a table: nearly every line is one.
    if (rows.kind() != LineKind::kPlainRow && rows.kind() != LineKind::kCRow) {
      if (const ParseResult result = OtherLine(rows, state); result.fault != ParseFault::kNone) {
        return result;
      }
      continue;
    }
    GPS_POINT& point = state.GPS_DB.emplace_back();
    RowPoint(rows.row(), point);
    if (trace != nullptr) {
      *trace << "GPS_DB.size() = " << state.GPS_DB.size() << '\n' << std::flush;
      *trace << "id =" << point.id << '\n' << std::flush;
    }
  }
  if (rows.failed()) return {ParseFault::kReadFailed, rows.line() + 1};
  return {};
}

int ParseDbText(TextReader& file, DbState& state, StatusLine& status, std::ostream* trace) {
  const ParseResult result = ParseDb(file, state, trace);
  if (result.fault == ParseFault::kNone) return 1;
  status.SetStatus(ParseStatusText(result));
  return 0;
}

}  // namespace korvel
