// Text to device database and back: every point the parser accepted comes
// back from the written file, in the device order with equal keys in text
// order, under the cells that count them.
//
// Input: byte 0 flags (bit 0: K93 mode), then the text.

#include <algorithm>
#include <map>
#include <vector>

#include "camdb/parser.h"
#include "fuzz/fuzz_check.h"
#include "format/db_encoder.h"
#include "generate/pipeline.h"
#include "format/db_reader.h"
#include "tests/support/memory_file_system.h"

namespace korvel::fuzz {
namespace {

constexpr char kTextPath[] = "db.txt";

}  // namespace

int FuzzRoundtrip(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  testing::MemoryFileSystem fs;
  fs.SetFile(kTextPath, Bytes(data + 1, data + size));
  RunState state;
  state.K93_MODE = data[0] & 1;
  state.DB_LINE_COUNT = CountLines(fs, kTextPath).value_or(0);
  struct : StatusLine {
    void SetStatus(const std::string&) override {}
  } status;
  TextReader reader(fs.Open(kTextPath, OpenMode::kReadShared));
  // An empty text parses to nothing at all; Generate never writes one, since
  // it always appends the sample rows, and the reader refuses its empty version.
  if (ParseDbText(reader, state, status, nullptr) != 1 || state.DB_VERSION.empty()) return 0;

  std::vector<GPS_POINT> expected(state.GPS_DB.begin(), state.GPS_DB.end());
  std::stable_sort(expected.begin(), expected.end());
  std::map<std::uint32_t, std::size_t> per_cell;
  for (const GPS_POINT& point : expected) ++per_cell[point.id];
  const bool cell_too_large = std::any_of(per_cell.begin(), per_cell.end(),
                                          [](const auto& cell) { return cell.second > 65535; });

  const WriteDbResult written = WriteDbFile(state, fs, nullptr);
  if (cell_too_large) {
    Require(written == WriteDbResult::kCellTooLarge, "a cell over 65535 points was written");
    return 0;
  }
  Require(written == WriteDbResult::kOk, "the encoder failed on parsed points");
  std::string error;
  const std::optional<DecodedDb> db = DecodeDb(fs.files[state.TEMP_DB_BIN], &error);
  if (!db) Fail("the reader refused the written database: " + error);

  std::string version = state.DB_VERSION.substr(0, kDbVersionSize);
  version.resize(kDbVersionSize, '\0');
  Require(db->version == version, "version changed");
  Require(db->bodyCount == expected.size() && db->points.size() == expected.size(),
          "point count changed");
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (!SamePoint(db->points[i], expected[i])) Fail("point " + std::to_string(i) + " changed");
  }
  Require(db->cells.size() == per_cell.size(), "cell count differs from the distinct ids");
  auto cell = per_cell.begin();
  for (const GPS_HEADER& header : db->cells) {
    Require(header.id == cell->first && header.count == cell->second,
            "cell " + std::to_string(header.id) + " does not count its points");
    ++cell;
  }
  return static_cast<int>(expected.size());
}

}  // namespace korvel::fuzz

KORVEL_FUZZ_ENTRY(FuzzRoundtrip)
