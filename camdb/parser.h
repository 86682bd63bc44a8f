#pragma once
// The camera database text: a version line, a header line, then one row of
// six TAB-separated fields per camera.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "camdb/db_state.h"
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

/// `pattern` (one of the texts above) with its "%d" replaced by the one-based
/// line number.
std::string LineMessage(std::string_view pattern, std::uint64_t line_number);

/// Fields are cut at TABs; a camera row has six: X, Y, TYPE, SPEED, DIRTYPE
/// and DIRECTION.
inline constexpr char kFieldDelimiter[] = "\t";
inline constexpr std::size_t kRowFields = 6;

/// The header line's first three fields, in order, and the status text for each
/// one that is missing.
inline constexpr const char* kHeaderNames[] = {"X", "Y", "TYPE"};
inline constexpr const char* kHeaderMissing[] = {parse_status::kXMissing, parse_status::kYMissing,
                                                 parse_status::kTypeMissing};

/// The status text a version line (after the K93 exchange) is refused with,
/// or nullptr when the parser takes it.
const char* VersionFault(std::string_view version);

/// Index into kHeaderNames of the first name the header's fields lack, or
/// npos when the header is good.
std::size_t MissingHeaderField(std::span<const std::string_view> fields);

/// Characters 5 to 10 of the version line name the output files. Returns the
/// position of the first of them that no file name may hold (a path
/// separator, a drive colon, a wildcard, a quote, a redirection, a control
/// character), or npos when they are all fine or the line is too short.
std::size_t FindBadVersionChar(std::string_view version);

/// Coordinate text to 1/10000 degree, in single precision as the devices'
/// tool always did: atof, round to float, times 10000 in float, truncate.
/// -1 or less, 2^32 or more and NaN give 4294967295; (-1, 0) gives 0.
std::uint32_t ConvertCoordinate(std::string_view field);

/// Reads the file from its current line to the end into state.GPS_DB and
/// state.DB_VERSION. Returns 1 at the end of the file, 0 after reporting the
/// first fault on `status`. Does not clear GPS_DB. With `trace`, prints the
/// two trace lines per point ("GPS_DB.size() = N", "id =N").
int ParseDbText(TextReader& file, DbState& state, StatusLine& status, std::ostream* trace);

}  // namespace korvel
