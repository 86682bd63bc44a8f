// The import readers over any bytes: fuzz_import_csv feeds the CSV reader,
// fuzz_import_doc the GeoJSON, GPX and KML readers, fuzz_import_kmz the zip
// reader under the KML reader.
//
// Input: fuzz_import_csv takes the file as it is; fuzz_import_doc takes
// byte 0's low seven bits modulo 3 as the format (GeoJSON, GPX, KML), its top
// bit set as "no --version-line" (the line must then come from the file),
// then the file.
//
// Checks: nothing escapes the import; a written text passes the strict
// check, its version line is one line of printable text, and importing it
// again as a camera text gives the same text.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "camdb/checker.h"
#include "exchange/formats/format_table.h"
#include "exchange/import/import.h"
#include "fuzz/fuzz_check.h"
#include "generate/pipeline.h"
#include "platform/memory_file.h"
#include "platform/real_file_system.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace korvel::fuzz {
namespace {

/// A file of this process's own for the readers, which read paths.
std::string Scratch(const std::string& extension) {
  return (std::filesystem::temp_directory_path() /
          ("korvel-fuzz-import-" + std::to_string(ProcessId()) + extension))
      .string();
}

std::string WriteFile(const std::string& extension, const std::uint8_t* data, std::size_t size) {
  const std::string path = Scratch(extension);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

/// Imports `path` as `format`, with --version-line unless `from_file`; the
/// text written, or empty when none is.
std::string ImportText(const std::string& path, ImportFormat format, bool from_file = false) {
  ImportOptions options;
  options.inputs = {path};
  options.from = format;
  if (!from_file) options.version_line = "V1.0 123456 fuzz";
  options.type = 1;
  ImportResult result;
  try {
    RealFileSystem fs;
    result = RunImport(options, fs, [](const std::string&) {});
  } catch (const std::exception& e) {
    Fail(std::string("the import threw: ") + e.what());
  }
  if (result.outcome != ImportOutcome::kDone && result.outcome != ImportOutcome::kRowsSkipped) {
    return {};
  }
  std::ostringstream out;
  WriteImportText(result, out);
  return out.str();
}

void CheckWritten(const std::string& text) {
  if (text.empty()) return;
  Bytes bytes(text.begin(), text.end());
  TextReader reader(std::make_unique<MemoryFile>(bytes));
  std::string problems;
  CheckDbText(reader, GenerateLimits(true), [&](const CheckProblem& problem) {
    problems += std::to_string(problem.line) + ": " + problem.message + "\n";
  });
  Require(problems.empty(), "the written text fails the strict check:\n" + problems);
  const std::string_view version = std::string_view(text).substr(0, text.find("\r\n"));
  Require(FindControlChar(version) == std::string_view::npos,
          "the version line holds a control character");
  const std::string path = Scratch(".txt");
  std::ofstream(path, std::ios::binary) << text;
  Require(ImportText(path, ImportFormat::kText) == text, "importing the text again changed it");
  std::filesystem::remove(path);
}

/// Detection only peeks: whatever it decides, the reader then gets every
/// byte again, in order, read in pieces that end inside the peeked head.
void CheckDetectionPeeks(const std::uint8_t* data, std::size_t size) {
  Bytes bytes(data, data + size);
  RealFileSystem unused;
  SourceFile file(unused, "-", [&] { return std::make_unique<MemoryFile>(bytes); });
  ImportFormat format = ImportFormat::kText;
  Problem failure;
  DetectImportFormat(file, format, failure);
  const auto opened = file.Open(failure);
  Require(opened != nullptr, "the peeked file cannot be opened: " + FailureText(failure));
  Bytes again(size + 1);
  std::size_t got = 0;
  // Fewer bytes than asked means the end.
  for (std::size_t asked = 1, more = 1; more == asked && asked != 0; got += more) {
    asked = std::min<std::size_t>(1000, again.size() - got);
    more = opened->Read(again.data() + got, asked);
  }
  again.resize(got);
  Require(again == Bytes(data, data + size), "the reader did not get the peeked bytes again");
}

}  // namespace

int FuzzImportCsv(const std::uint8_t* data, std::size_t size) {
  CheckDetectionPeeks(data, size);
  const std::string path = WriteFile(".csv", data, size);
  const std::string text = ImportText(path, ImportFormat::kCsv);
  std::filesystem::remove(path);
  CheckWritten(text);
  return 0;
}

int FuzzImportDoc(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static constexpr ImportFormat kFormats[] = {ImportFormat::kGeoJson, ImportFormat::kGpx,
                                              ImportFormat::kKml};
  const ImportFormat format = kFormats[(data[0] & 0x7F) % 3];
  const std::string path = WriteFile(".doc", data + 1, size - 1);
  const std::string text = ImportText(path, format, (data[0] & 0x80) != 0);
  std::filesystem::remove(path);
  CheckWritten(text);
  return 0;
}

int FuzzImportKmz(const std::uint8_t* data, std::size_t size) {
  const std::string path = WriteFile(".kmz", data, size);
  const std::string text = ImportText(path, ImportFormat::kKmz);
  std::filesystem::remove(path);
  CheckWritten(text);
  return 0;
}

}  // namespace korvel::fuzz

#ifdef KORVEL_FUZZ_ENGINE
#ifdef KORVEL_FUZZ_IMPORT_DOC
KORVEL_FUZZ_ENTRY(FuzzImportDoc)
#elif defined(KORVEL_FUZZ_IMPORT_KMZ)
KORVEL_FUZZ_ENTRY(FuzzImportKmz)
#else
KORVEL_FUZZ_ENTRY(FuzzImportCsv)
#endif
#endif
