#pragma once
// The camera database text: a version line, a header line, then one row of
// six TAB-separated fields per camera.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

#include "camdb/db_state.h"
#include "camdb/row_reader.h"
#include "platform/text_file.h"

namespace korvel {

/// The dialog's status line, as the parser sees it.
class StatusLine {
 public:
  virtual ~StatusLine() = default;
  virtual void SetStatus(const std::string& text) = 0;
};

/// Characters a version line must have: positions 5 to 10 are the database
/// version that goes into file names and the device header.
inline constexpr std::size_t kMinVersionLength = 11;

/// Parser status texts, shown exactly as they stand.
namespace parse_status {
inline constexpr char kVersionMissing[] = "Version is not exist!";
inline constexpr char kVersionTooShort[] = "Version is too short!";
inline constexpr char kVersionBadChar[] = "Version has a bad character!";
inline constexpr char kXMissing[] = "X is not exist!";
inline constexpr char kYMissing[] = "Y is not exist!";
inline constexpr char kTypeMissing[] = "TYPE is not exist!";
inline constexpr char kEmptyLine[] = "Error : EmptyLine %d";  ///< one-based line
inline constexpr char kBadLine[] = "Error : Line %d";         ///< one-based line
inline constexpr char kReadFailed[] = "Error : ReadLine %d";  ///< one-based line
}  // namespace parse_status

/// Why a parse stopped.
enum class ParseFault : std::uint8_t {
  kNone,
  kVersionMissing,   ///< the first line does not start with V
  kVersionTooShort,  ///< shorter than kMinVersionLength
  kVersionBadChar,   ///< a version character no file name may hold
  kXMissing,         ///< the header's first three fields are not X, Y, TYPE
  kYMissing,
  kTypeMissing,
  kEmptyLine,   ///< a data row without fields where no line end was appended
  kBadLine,     ///< a row without six fields, or a line too long
  kReadFailed,  ///< the file could not be read from this line on
};

/// Where a parse stopped: the fault and its one-based line (the line that
/// could not be read, for kReadFailed); line 0 with kNone.
struct ParseResult {
  ParseFault fault = ParseFault::kNone;
  std::uint64_t line = 0;
  bool operator==(const ParseResult&) const = default;
};

/// The dialog's status text for a fault: one of parse_status, the line
/// number in place of its "%d". Empty for kNone.
std::string ParseStatusText(const ParseResult& result);

/// The header line's first three fields, in order, and the fault for each
/// one that is missing.
inline constexpr const char* kHeaderNames[] = {"X", "Y", "TYPE"};
inline constexpr ParseFault kHeaderMissing[] = {ParseFault::kXMissing, ParseFault::kYMissing,
                                                ParseFault::kTypeMissing};

/// The fault a version line (after the K93 exchange) is refused with, or
/// kNone when the parser takes it.
ParseFault VersionFault(std::string_view version);

/// Index into kHeaderNames of the first name the header's fields lack, or
/// npos when the header is good.
std::size_t MissingHeaderField(std::span<const std::string_view> fields);

/// Characters 5 to 10 of the version line name the output files. Returns the
/// position of the first of them that no file name may hold (a path
/// separator, a drive colon, a wildcard, a quote, a redirection, a control
/// character), or npos when they are all fine or the line is too short.
std::size_t FindBadVersionChar(std::string_view version);

/// K93 devices keep the version characters in another order: 5 and 6 trade
/// places with 9 and 10. The exchange undoes itself, so it also gives the
/// line as written back from the stored one. Shorter lines stay as they are.
std::string K93Exchange(std::string_view line);

/// Reads the file from its current line to the end into state.GPS_DB and
/// state.DB_VERSION, and stops at the first fault. Does not clear GPS_DB.
/// With `trace`, prints the two trace lines per point ("GPS_DB.size() = N",
/// "id =N").
ParseResult ParseDb(TextReader& file, DbState& state, std::ostream* trace);

/// ParseDb as the dialog runs it: 1 at the end of the file, 0 after showing
/// the first fault's text on `status`.
int ParseDbText(TextReader& file, DbState& state, StatusLine& status, std::ostream* trace);

}  // namespace korvel
