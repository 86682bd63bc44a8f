#pragma once
// One way to report a problem: where it is, how grave, and for a failure
// whose fault it is. Readers, writers and the checker hand problems over;
// the command line turns them into text and exit statuses in one place.

#include <cstdint>
#include <string>
#include <string_view>

namespace korvel {

enum class ProblemKind : std::uint8_t { kError, kWarning, kNote };

/// "error", "warning" or "note".
std::string_view ProblemKindText(ProblemKind kind);

/// How a place in a file is counted.
enum class PlaceKind : std::uint8_t {
  kFile,     ///< the file as a whole
  kLine,     ///< one-based line: text, CSV, GPX, KML
  kFeature,  ///< one-based GeoJSON feature
  kNode,     ///< OpenStreetMap node id
};

/// Whose fault a failure is, which decides the exit status.
enum class Fault : std::uint8_t {
  kInput = 1,   ///< the input is not what it should be
  kSystem = 2,  ///< the system could not do it, or the user asked for what cannot be
};

/// A problem at a place in a file.
struct Problem {
  std::string path;  ///< empty: the run as a whole
  PlaceKind place = PlaceKind::kFile;
  std::int64_t number = 0;  ///< the line, feature or node
  ProblemKind kind = ProblemKind::kError;
  Fault fault = Fault::kInput;
  std::string message;
};

/// A problem about the file at `path` as a whole.
Problem FileProblem(std::string path, std::string message, Fault fault = Fault::kInput);
/// A problem at a one-based line of the file at `path`.
Problem LineProblem(std::string path, std::uint64_t line, std::string message,
                    Fault fault = Fault::kInput);

/// "PATH", "PATH:LINE", "PATH: feature N" or "PATH: node ID".
std::string PlaceText(std::string_view path, PlaceKind place, std::int64_t number);

/// "PLACE: MESSAGE", as a failure that ends the run reads, on one line.
std::string FailureText(const Problem& problem);

/// "PLACE: KIND: MESSAGE", as one problem among many reads, on one line.
std::string ProblemLine(const Problem& problem);

/// `text` on one line: a control character as \n, \r, \t or \xNN, every
/// other byte as it is, so that a path or the system's reason keeps the
/// system's own encoding.
std::string OneLine(std::string_view text);

/// Source text as a message shows it: UTF-8 kept, a control character as
/// \n, \r, \t or \xNN, a byte that is not UTF-8 as \xNN, so that one
/// message stays one line of valid UTF-8.
std::string EscapeText(std::string_view text);

/// Source text as a message shows it when it may be CP949: UTF-8 as it is,
/// else converted from CP949 when it is CP949, escaped as EscapeText does.
std::string ShownText(std::string_view text);

/// A value from a file as a message quotes it: in double quotes, UTF-8 as it
/// is, else converted from CP949 when it is CP949, escaped as EscapeText
/// does; past `limit` bytes of what is shown, cut before a character and
/// ended with "...".
std::string QuotedText(std::string_view text, std::size_t limit = std::string_view::npos);

}  // namespace korvel
