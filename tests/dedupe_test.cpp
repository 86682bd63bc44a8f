// The import's quick paths against plain ones: the near de-duplication's
// grid search against a search of every kept camera (its cell edges, the
// edges of the groups of four columns whose bits share a word), coordinates
// rounded and written as std::llround and the writer's own test would, and
// the shapes that count repeated problems.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "camdb/camera_rules.h"
#include "exchange/import/dedupe.h"
#include "exchange/import/import.h"
#include "exchange/import/problem_limit.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

ImportedCamera At(std::uint32_t x, std::uint32_t y, std::uint8_t dirtype = 0,
                  std::uint16_t direction = 0) {
  ImportedCamera camera;
  camera.x = x;
  camera.y = y;
  camera.dirtype = dirtype;
  camera.direction = direction;
  return camera;
}

/// The earliest of `kept` that is the same camera, by reading them all.
std::optional<std::uint32_t> EveryKept(const std::vector<ImportedCamera>& kept,
                                       const ImportedCamera& camera, double near, double near_blind,
                                       double& metres) {
  for (std::uint32_t i = 0; i < kept.size(); ++i) {
    const bool blind = camera.dirtype == 0 || kept[i].dirtype == 0;
    const int apart = std::abs(int{camera.direction} - int{kept[i].direction}) % 360;
    if (!blind && std::min(apart, 360 - apart) > 45) continue;
    const double distance = MetresApart(camera, kept[i]);
    if (distance <= (blind ? near_blind : near)) {
      metres = distance;
      return i;
    }
  }
  return std::nullopt;
}

TEST(NearIndex, FindsWhatReadingEveryKeptCameraFinds) {
  // Dense clusters: many cameras per cell, cells side by side across groups
  // of columns, long probe sequences in the table as it grows.
  const struct {
    double near, near_blind;
    std::uint32_t x, y, spread, cameras;
  } cases[] = {
      {30, 15, 1270000, 370000, 60, 3000},   // Korea, a few cells
      {30, 15, 1270000, 370000, 400, 6000},  // Korea, many cells
      {5, 5, 1270000, 370000, 40, 2000},     // one-unit cells
      {100, 50, 100000, 870000, 200, 2000},  // 87 degrees: wide cells
      {30, 30, 0, 0, 200, 2000},             // the first row and column
      {500, 250, 1799000, 899000, 1000, 2000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.near);
    std::mt19937 random(c.cameras);
    std::uniform_int_distribution<std::uint32_t> offset(0, c.spread);
    std::uniform_int_distribution<int> dirtype(0, 1), direction(0, 359);
    NearIndex index(c.near, c.near_blind);
    std::vector<ImportedCamera> kept;
    std::size_t dropped = 0;
    for (std::uint32_t i = 0; i < c.cameras; ++i) {
      const ImportedCamera camera =
          At(c.x + offset(random), c.y + offset(random), static_cast<std::uint8_t>(dirtype(random)),
             static_cast<std::uint16_t>(direction(random)));
      double want_metres = -1, got_metres = -1;
      const auto want = EveryKept(kept, camera, c.near, c.near_blind, want_metres);
      const auto got = index.Find(camera, got_metres);
      ASSERT_EQ(got, want) << "camera " << i;
      if (got) {
        EXPECT_EQ(got_metres, want_metres);
        ++dropped;
        continue;
      }
      index.Add(camera, static_cast<std::uint32_t>(kept.size()));
      kept.push_back(camera);
    }
    // Both ways taken often.
    EXPECT_GT(dropped, 50u);
    EXPECT_GT(kept.size(), 50u);
  }
}

TEST(NearIndex, CellAndGroupEdgesAndTheDistanceItself) {
  // --near 30: cells 3 units high; at 37 degrees 4 units wide, so that
  // x 1270015 and 1270016 lie in the last column of a group of four and
  // the first of the next.
  const std::uint32_t y = 370000 / 3 * 3;  // the bottom of a row
  const struct {
    ImportedCamera kept, camera;
    double near;  ///< 0: exactly as far as the two lie apart
    bool same;
  } cases[] = {
      {At(1270015, y), At(1270016, y), 30, true},          // across a cell and group edge
      {At(1270016, y), At(1270015, y), 30, true},          // the other way
      {At(1270015, y), At(1270016, y + 2), 30, true},      // and a row's
      {At(1270016, y + 2), At(1270015, y + 3), 30, true},  // the row above
      {At(1270011, y), At(1270012, y), 30, true},          // within a group
      {At(1270020, y), At(1270019, y), 30, true},
      {At(1270012, y), At(1270019, y), 30, false},         // 62 m
      {At(1270000, y - 1), At(1270000, y + 1), 30, true},  // 22 m, the row below
      {At(1270000, y + 3), At(1270000, y + 1), 30, true},  // and above
      {At(1270000, y - 2), At(1270000, y), 30, true},
      {At(1270000, y + 4), At(1270000, y + 2), 30, true},
      {At(1270000, y), At(1270000, y + 3), 30, false},  // 33 m
      {At(1270000, y), At(1270000, y + 2), 30, true},   // 22 m
      {At(1270000, y), At(1270003, y + 1), 0, true},
      {At(1270000, y), At(1270003, y + 1, 1, 90), 0, true},
      {At(1270000, y, 1, 0), At(1270003, y + 1, 1, 45), 0, true},
      {At(1270000, y, 1, 0), At(1270003, y + 1, 1, 46), 0, false},
      {At(1270000, y, 1, 350), At(1270003, y + 1, 1, 35), 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.camera.x << "," << c.camera.y << " near " << c.near);
    const double exactly = MetresApart(c.kept, c.camera);
    const double near = c.near == 0 ? exactly : c.near;
    NearIndex index(near, near);
    index.Add(c.kept, 7);
    double metres = -1;
    const auto found = index.Find(c.camera, metres);
    EXPECT_EQ(found.has_value(), c.same);
    if (!c.same) continue;
    EXPECT_EQ(*found, 7u);
    EXPECT_EQ(metres, exactly);
    if (c.near != 0) continue;
    // A hair closer than they lie: not the same.
    NearIndex closer(std::nextafter(exactly, 0.0), std::nextafter(exactly, 0.0));
    closer.Add(c.kept, 7);
    EXPECT_FALSE(closer.Find(c.camera, metres));
  }
}

TEST(NearIndex, TheEarliestKeptOfManyInNeighbourCells) {
  NearIndex index(30, 30);
  const std::uint32_t y = 370002;
  // Six within 21 m, in four cells of two rows; the
  // earliest is named, not the nearest.
  for (std::uint32_t i = 0; i < 6; ++i) index.Add(At(1270018 + i % 3, y - 1 + i / 3), 2 * i + 1);
  double metres = 0;
  EXPECT_EQ(index.Find(At(1270020, y), metres), std::optional<std::uint32_t>(1));
  EXPECT_EQ(metres, MetresApart(At(1270018, y - 1), At(1270020, y)));
  index.Clear();
  EXPECT_FALSE(index.Find(At(1270020, y), metres));
}

TEST(ImportCoordinates, RoundedAsLlroundAndWrittenAsTheWriterTests) {
  // Halves of a unit either way of their binary value, the ends of the
  // ranges, and values that read back only as longer texts.
  const char* const coordinates[][2] = {
      {"127.00005", "37.00015"},
      {"127.00004999", "37.00005001"},
      {"126.99995", "36.99985"},
      {"179.99995", "89.99995"},
      {"180", "90"},
      {"0.00005", "0.00015"},
      {"126.9501", "37.0002"},
      {"127.000249", "37.000151"},
      {"1.00005", "0.50005"},
      {"126.900099", "37.999999"},
  };
  for (const auto& c : coordinates) {
    SCOPED_TRACE(c[0]);
    testing::MemoryFileSystem fs;
    fs.SetFile("a.csv", std::string("lon,lat,type\n") + c[0] + "," + c[1] + ",1\n");
    ImportOptions options;
    options.version_line = "V1.0 123456 test";
    options.inputs = {"a.csv"};
    const ImportResult result = RunImport(options, fs, [](const std::string&) {});
    ASSERT_EQ(result.cameras.size(), 1u);
    GPS_POINT point;
    point.x = static_cast<std::uint32_t>(std::llround(std::stod(c[0]) * 1e4));
    point.y = static_cast<std::uint32_t>(std::llround(std::stod(c[1]) * 1e4));
    point.type = 1;
    EXPECT_EQ(result.cameras[0].x, point.x);
    EXPECT_EQ(result.cameras[0].y, point.y);
    std::ostringstream text;
    WriteImportText(result, text);
    EXPECT_EQ(text.str(), "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n" +
                              TsvRow(point) + "\r\n");
  }
}

TEST(RepeatLimit, ShapesWithoutQuotedTextAndNumbers) {
  const struct {
    ProblemKind kind;
    std::string message, shape;
  } cases[] = {
      {ProblemKind::kNote, "same camera as a1.csv:12 (18 m apart); kept a1.csv:3",
       "note:same camera as a.csv: ( m apart); kept a.csv:"},
      {ProblemKind::kError, "SPEED \"fast 9\" is not a number; skipped",
       "error:SPEED  is not a number; skipped"},
      {ProblemKind::kWarning, "a \"quote left open", "warning:a "},
      {ProblemKind::kError, "\"\"\"x\"9", "error:"},
      {ProblemKind::kNote, "2024", "note:"},
      {ProblemKind::kNote, "", "note:"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProblemShape({Place{}, c.kind, c.message}), c.shape) << c.message;
  }
}

}  // namespace
}  // namespace korvel
