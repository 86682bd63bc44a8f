// korvel-cli export: the cameras of a database or package as a camera text
// that generate reads back, or for map software.

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>

#include "app/cli/cli_command.h"
#include "app/cli/command_files.h"
#include "exchange/export.h"
#include "exchange/formats/format_table.h"

namespace korvel::cli {
namespace {

struct Options {
  std::string file;
  std::string format = "text";
  std::string out;
};

int Run(const Options& options) {
  Problem failure;
  std::string version_line;
  const auto db = ReadCameras(options.file, failure, nullptr, &version_line);
  if (!db) return ReportFailure(failure);
  const ExportFormat format = *ParseExportFormat(options.format);
  ExportResult result;
  const bool written = WriteOutput(
      options.out,
      [&](std::ostream& out) {
        result = ExportCameras(*db, format, out, version_line);
        if (!result.ok) failure = FileProblem(options.file, result.error);
        return result.ok;
      },
      failure);
  if (!written) return ReportFailure(failure);
  for (const std::string& line : result.left_out) {
    std::cerr << options.file << ": warning: " << line << '\n';
  }
  if (result.left_out_count > result.left_out.size()) {
    std::cerr << options.file << ": " << result.left_out_count - result.left_out.size()
              << " more cameras without a map position left out\n";
  }
  std::cerr << std::flush;
  if (result.missing_samples != 0) {
    std::cerr << "korvel-cli: warning: " << options.file << " lacks " << result.missing_samples
              << " of the two sample points; generate adds them to the text" << std::endl;
  }
  return kExitOk;
}

}  // namespace

void RegisterExport(CLI::App& app, int& exit_status) {
  CLI::App* sub = app.add_subcommand(
      "export", "Write the cameras of a database or package as text or for map software");
  auto options = std::make_shared<Options>();
  sub->add_option("FILE", options->file, "database or K93 package; - reads standard input")
      ->required();
  sub->add_option("--format", options->format,
                  FormatNameList(true) + " (text, also called tsv, is the default)")
      ->check(CLI::IsMember(FormatNames(true)));
  sub->add_option("-o,--output", options->out, "output file; - or none: standard output");
  sub->footer(
      "tsv: a camera database text that generate accepts, CR LF lines: the version\n"
      "line as the operator wrote it, the header, one row per point, the two sample\n"
      "rows left out once each since generate appends them again. Generating from it\n"
      "gives the same database byte for byte.\n"
      "csv (RFC 4180, comma separated, CR LF lines): the header\n"
      "x,y,type,speed,dirtype,direction,sample and one row per point, no version\n"
      "line (give import --version-line or --base).\n"
      "csv, geojson (RFC 7946), gpx (1.1), kml (2.2): every point with its type, speed,\n"
      "dirtype and direction, and the text's version line, so that 'korvel-cli\n"
      "import' reads them back; the two sample rows generate appended are marked\n"
      "(\"sample\": true). From a camera text, every format but csv carries its\n"
      "whole first line; a database or package stores only the line's first 11\n"
      "characters, and its export carries those.\n"
      "A point stored beyond 180 degrees of\n"
      "longitude or 90 of latitude (a negative coordinate is stored as 4294967295)\n"
      "is left out, with a warning on standard error.\n"
      "An output file appears only when complete, written while its folder is\n"
      "locked; a device or FIFO is written into, a link's file replaced.\n"
      "Exit status: 0 when written, 1 when the input is not a camera database or\n"
      "K93 package or a camera cannot be written as text, 2 for a usage error or a\n"
      "file that cannot be read or written.");
  sub->callback([options, &exit_status] { exit_status = Run(*options); });
}

}  // namespace korvel::cli
