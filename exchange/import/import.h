#pragma once
// korvel-cli import: cameras from other camera texts, CSV, GeoJSON, GPX, KML
// and OpenStreetMap, checked once, merged after an optional base text and
// de-duplicated, written as a camera text that generate reads.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camdb/problem.h"
#include "exchange/formats/field_rules.h"
#include "exchange/formats/format_table.h"
#include "exchange/formats/source.h"
#include "exchange/import/device_check.h"
#include "platform/file_system.h"
#include "platform/memory.h"

namespace korvel {

enum class Dedupe { kNone, kExact, kNear };

/// The distances --near takes, in metres.
inline constexpr double kMinNearMetres = 0.1, kMaxNearMetres = 10000;

/// Empty when `text` is a distance --near takes: a finite number from
/// kMinNearMetres to kMaxNearMetres; else why not.
std::string NearProblem(const std::string& text);

struct ImportOptions {
  std::vector<std::string> inputs;
  std::optional<ImportFormat> from;  ///< the format of every input; else told per file
  std::string version_line;          ///< empty: from --base or an input
  std::string base;                  ///< a camera text whose rows come first, unchanged
  Dedupe dedupe = Dedupe::kExact;
  /// --near, which NearProblem passed; else 30 m, 15 m beside a DIRTYPE 0.
  std::optional<double> near_metres;
  std::optional<int> type;  ///< --type: TYPE of rows without one (else 1)
  bool strict = false;
  /// Opens what "-" reads; when empty, "-" is a file's name.
  SourceFile::Opener standard_input;
  FieldRules fields;  ///< --field and --values
  /// Problems of one kind shown per input before the rest are counted; 0: all.
  std::uint64_t shown_per_kind = 3;
};

/// How an import ended.
enum class ImportOutcome {
  kDone,           ///< every camera taken; warnings and notes allowed
  kRowsSkipped,    ///< rows with errors left out, the rest to be written
  kStrictRefused,  ///< --strict with errors or warnings: nothing to write
  kMalformed,      ///< an input is not what its format says: nothing to write
  kUnreadable,     ///< an input could not be read: nothing to write
  kNoVersion,      ///< no version line given or found
  kNoCameras,      ///< no camera left to write: nothing written
  kUsage,          ///< an option an input cannot honour: nothing written
};

/// One sentence on the outcome, for the end of the report.
std::string_view ImportOutcomeText(ImportOutcome outcome);

struct ImportResult {
  ImportOutcome outcome = ImportOutcome::kDone;
  Problem failure;      ///< for kMalformed, kUnreadable, kNoVersion, kNoCameras and kUsage
  std::string version;  ///< the version line to write
  /// Where it came from: "--version-line", "--base PATH" or an input's path.
  std::string version_from;
  ImportedCameras cameras;
  std::uint64_t errors = 0, warnings = 0, notes = 0;
  bool used_osm = false;  ///< a camera kept comes from OpenStreetMap data (ODbL)
};

/// Receives each problem as one line: "PATH:LINE: error: MESSAGE",
/// "PATH: feature N: warning: ...", "PATH: node ID: note: ...".
using ImportReport = std::function<void(const std::string& line)>;

/// Reads the base and every input, in order, keeping the cameras in memory
/// (never the inputs) and reporting problems as they are found.
ImportResult RunImport(const ImportOptions& options, FileSystem& fs, const ImportReport& report);

/// Writes the camera text: the version line, the header and one row per
/// camera, CR LF line ends as the tsv export writes them, every coordinate
/// as a text the parser reads back as its units.
void WriteImportText(const ImportResult& result, std::ostream& out);

/// The note printed when OpenStreetMap data is used.
inline constexpr std::string_view kOdblNote =
    "note: cameras from OpenStreetMap are (c) OpenStreetMap contributors under the Open "
    "Database License (ODbL); a database built from them falls under it too";

}  // namespace korvel
