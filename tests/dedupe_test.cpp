// The import's quick paths against plain ones: the near search against
// reading every kept camera, coordinates against std::llround and the
// writer's own test.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "camdb/camera_rules.h"
#include "exchange/import/dedupe.h"
#include "exchange/import/import.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

ImportedCamera At(std::uint32_t x, std::uint32_t y, std::uint8_t dirtype = 0,
                  std::uint16_t direction = 0) {
  return {x, y, 0, 0, dirtype, 0, direction, {}};
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
  // Dense clusters: full cells, long probes, a table that grows; one batch
  // sorted over many digits.
  const struct {
    double near, near_blind;
    std::uint32_t x, y, spread, cameras;
    bool crowded;  ///< too dense for a batch
  } cases[] = {
      {30, 15, 1270000, 370000, 100, 4000, false},  // Korea
      {5, 5, 1270000, 370000, 40, 2000, false},     // one-unit cells
      {100, 50, 100000, 870000, 200, 2000, true},   // 87 degrees: wide cells
      {100, 50, 100000, 870000, 2000, 2000, false},
      {30, 30, 0, 0, 200, 2000, false},               // the first row and column
      {500, 250, 1799000, 899000, 1000, 2000, true},  // whole rows from 89 degrees
      {500, 250, 1790000, 890000, 9000, 2000, false},
      {10000, 10000, 1000000, 300000, 300000, 3000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.near);
    std::mt19937 random(c.cameras);
    std::uniform_int_distribution<std::uint32_t> offset(0, c.spread);
    std::uniform_int_distribution<int> dirtype(0, 1), direction(0, 359);
    NearIndex index(c.near, c.near_blind);
    std::vector<ImportedCamera> cameras, kept;
    std::vector<std::optional<std::uint32_t>> found;  ///< by camera, the kept one it repeats
    for (std::uint32_t i = 0; i < c.cameras; ++i) {
      const ImportedCamera camera =
          At(c.x + offset(random), c.y + offset(random), static_cast<std::uint8_t>(dirtype(random)),
             static_cast<std::uint16_t>(direction(random)));
      cameras.push_back(camera);
      double want_metres = -1, got_metres = -1;
      const auto want = EveryKept(kept, camera, c.near, c.near_blind, want_metres);
      found.push_back(index.Find(camera, got_metres));
      ASSERT_EQ(found.back(), want) << "camera " << i;
      if (want) {
        EXPECT_EQ(got_metres, want_metres);
        continue;
      }
      index.Add(camera, static_cast<std::uint32_t>(kept.size()));
      kept.push_back(camera);
    }
    EXPECT_GT(c.cameras - kept.size(), 50u);  // both ways taken often
    EXPECT_GT(kept.size(), 50u);
    // The same answers in one batch, after a tenth added one by one.
    NearIndex batch(c.near, c.near_blind);
    const std::size_t before = cameras.size() / 10;
    std::vector<std::uint32_t> kept_as(cameras.size());
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < before; ++i) {
      if (!found[i]) batch.Add(cameras[i], kept_as[i] = count++);
    }
    NearMatches matches;
    ASSERT_EQ(batch.Resolve(std::span(cameras).subspan(before), matches), !c.crowded);
    if (c.crowded) continue;
    ASSERT_EQ(matches.size(), cameras.size() - before);
    for (std::size_t i = before; i < cameras.size(); ++i) {
      const NearMatch& match = matches[i - before];
      std::optional<std::uint32_t> got;
      if (match.earlier != NearMatch::kNone)
        got = match.in_batch ? kept_as[before + match.earlier] : match.earlier;
      ASSERT_EQ(got, found[i]) << "camera " << i;
      if (!got) kept_as[i] = count++;
    }
  }
}

TEST(NearIndex, ACrowdTooDenseForPairsIsLeftToTheSearch) {
  // Copies of one camera pair each with every other; a batch tries at most
  // 64 pairs a camera and 1024 more.
  const struct {
    std::size_t copies;
    bool batch;
  } cases[] = {{1, true}, {143, true}, {144, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.copies);
    const std::vector<ImportedCamera> crowd(c.copies, At(1270000, 370000, 1, 90));
    NearIndex index(30, 15);
    NearMatches matches;
    ASSERT_EQ(index.Resolve(crowd, matches), c.batch);
    if (!c.batch) continue;
    EXPECT_EQ(matches[0].earlier, NearMatch::kNone);
    for (std::size_t i = 1; i < c.copies; ++i) {
      EXPECT_EQ(matches[i].earlier, 0u);
      EXPECT_TRUE(matches[i].in_batch);
    }
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
      {At(1270015, y), At(1270016, y + 2), 30, true},      // and a row's
      {At(1270016, y + 2), At(1270015, y + 3), 30, true},  // the row above
      {At(1270012, y), At(1270019, y), 30, false},         // 62 m
      {At(1270000, y - 1), At(1270000, y + 1), 30, true},  // 22 m, the row below
      {At(1270000, y + 3), At(1270000, y + 1), 30, true},  // and above
      {At(1270000, y - 2), At(1270000, y), 30, true},
      {At(1270000, y + 4), At(1270000, y + 2), 30, true},
      {At(1270000, y), At(1270000, y + 3), 30, false},  // 33 m
      {At(1270000, y), At(1270003, y + 1), 0, true},
      {At(1270000, y, 1, 0), At(1270003, y + 1, 1, 45), 0, true},
      {At(1270000, y, 1, 0), At(1270003, y + 1, 1, 46), 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.camera.x << "," << c.camera.y << " near " << c.near);
    const double exactly = MetresApart(c.kept, c.camera);
    const double near = c.near == 0 ? exactly : c.near;
    const std::vector<ImportedCamera> pair = {c.kept, c.camera};
    NearMatches matches;
    NearIndex index(near, near);
    ASSERT_TRUE(index.Resolve(pair, matches));  // the two in a batch
    EXPECT_EQ(matches[1].earlier == 0 && matches[1].in_batch, c.same);
    index.Add(c.kept, 7);
    double metres = -1;
    const auto found = index.Find(c.camera, metres);
    EXPECT_EQ(found.has_value(), c.same);
    if (!c.same) continue;
    EXPECT_EQ(*found, 7u);
    EXPECT_EQ(metres, exactly);
    if (c.near != 0) continue;
    // Only the distance for the pair's kind counts (beside a DIRTYPE 0, or
    // between directions), the other one smaller or larger; a hair closer
    // than they lie is not the same.
    const bool blind = c.kept.dirtype == 0 || c.camera.dirtype == 0;
    const double hair = std::nextafter(exactly, 0.0);
    const struct {
      double distance, other;
      bool same;
    } distances[] = {{exactly, 1, true}, {hair, 1000, false}};
    for (const auto& d : distances) {
      NearIndex index(blind ? d.other : d.distance, blind ? d.distance : d.other);
      ASSERT_TRUE(index.Resolve(pair, matches));
      EXPECT_EQ(matches[1].earlier == 0, d.same) << d.distance;
      index.Add(c.kept, 7);
      EXPECT_EQ(index.Find(c.camera, metres).has_value(), d.same) << d.distance;
    }
  }
}

TEST(ImportCoordinates, RoundedAsLlroundAndWrittenAsTheWriterTests) {
  // Halves of a unit either way of their binary value, the ends of the
  // ranges, and values that read back only as longer texts.
  for (const std::string row :
       {"127.00005,37.00015", "127.00004999,37.00005001", "126.99995,36.99985", "180,90",
        "179.99995,89.99995", "0.00005,0.00015", "126.9501,37.0002", "127.000249,37.000151",
        "126.900099,37.999999"}) {
    SCOPED_TRACE(row);
    testing::MemoryFileSystem fs;
    fs.SetFile("a.csv", "lon,lat,type\n" + row + ",1\n");
    ImportOptions options;
    options.version_line = "V1.0 123456 test";
    options.inputs = {"a.csv"};
    const ImportResult result = RunImport(options, fs, [](const std::string&) {});
    ASSERT_EQ(result.cameras.size(), 1u);
    GPS_POINT point;  // type 1, the rest 0
    point.x = static_cast<std::uint32_t>(std::llround(std::stod(row) * 1e4));
    point.y =
        static_cast<std::uint32_t>(std::llround(std::stod(row.substr(row.find(',') + 1)) * 1e4));
    point.type = 1;
    std::ostringstream text;
    WriteImportText(result, text);
    EXPECT_EQ(text.str(), "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n" +
                              TsvRow(point) + "\r\n");
  }
}

}  // namespace
}  // namespace korvel
