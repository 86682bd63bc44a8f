// The device's camera rules: directions, the camera-text writer's bytes, and
// the grid cells a near search visits.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "camdb/camera_rules.h"
#include "exchange/cell_grid.h"
#include "exchange/import/import.h"

namespace korvel {
namespace {

TEST(CameraRules, DirectionRoundsThenTurns) {
  const struct {
    double degrees;
    int direction;
  } cases[] = {
      {0, 0},      {359, 359}, {359.4, 359}, {359.5, 0}, {359.6, 0}, {360, 0},   {-0.4, 0},
      {-0.5, 359}, {-30, 330}, {-360, 0},    {720, 0},   {725.3, 5}, {22.5, 23}, {1e15, 280},
  };
  for (const auto& c : cases) EXPECT_EQ(DirectionOf(c.degrees), c.direction) << c.degrees;
}

GPS_POINT Point(std::uint32_t x, std::uint32_t y, std::uint8_t type, std::uint8_t speed,
                std::uint8_t flag, std::uint16_t angle) {
  GPS_POINT p;
  p.x = x, p.y = y, p.type = type, p.speed = speed, p.flag = flag, p.angle = angle;
  return p;
}

TEST(CameraRules, WriterBytes) {
  const struct {
    const char* name;
    std::vector<GPS_POINT> points;
    std::string rows;  ///< after the version line and the header
  } cases[] = {
      {"no rows", {}, ""},
      {"four decimals, the largest values",
       {Point(1269501, 373894, 5, 80, 0, 247), Point(1800000, 900000, 255, 255, 255, 359)},
       "126.9501\t37.3894\t5\t80\t0\t247\r\n180.0000\t90.0000\t255\t255\t255\t359\r\n"},
      {"a value only a longer text reads back as",
       {Point(1269501, 370002, 1, 0, 1, 0)},
       "126.9501\t37.000202\t1\t0\t1\t0\r\n"},
      {"every width of a field",
       {Point(1269501, 373894, 9, 10, 99, 100), Point(1269501, 373894, 0, 0, 0, 1000)},
       "126.9501\t37.3894\t9\t10\t99\t100\r\n126.9501\t37.3894\t0\t0\t0\t1000\r\n"},
      {"stored without a sign",
       {Point(0xFFFFFFFFu, 1, 0, 0, 0, 65535)},
       "-1\t0.0001\t0\t0\t0\t65535\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out;
    {
      CameraTextWriter writer(out, "V1.0 123456 test");
      for (const GPS_POINT& p : c.points) EXPECT_TRUE(writer.Row(p));
    }
    EXPECT_EQ(out.str(), "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n" + c.rows);
  }
}

TEST(CameraRules, WriterRefusesAnUnreadableRowAndFlushesLargeTexts) {
  std::ostringstream out;
  std::string expected = "V\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n";
  {
    CameraTextWriter writer(out, "V");
    EXPECT_FALSE(writer.Row(Point(4000000001u, 1, 1, 1, 1, 1)));  // no float product lands there
    // Over the 64 KiB chunk: every row arrives once, in order.
    for (std::uint32_t i = 0; i < 5000; ++i) {
      ASSERT_TRUE(writer.Row(Point(1270000 + i, 370000, 1, 60, 1, i % 360)));
      expected += TsvRow(Point(1270000 + i, 370000, 1, 60, 1, i % 360)) + "\r\n";
    }
    // Written in 64 KiB chunks as they fill, not held to the end.
    EXPECT_GE(out.str().size(), 2u << 16);
  }
  EXPECT_EQ(out.str(), expected);
}

TEST(CellGrid, TheCellAndItsNeighbours) {
  using Cells = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
  const struct {
    std::uint32_t column, row, reach;
    Cells cells;
  } cases[] = {
      {5, 7, 1, {{4, 6}, {5, 6}, {6, 6}, {4, 7}, {5, 7}, {6, 7}, {4, 8}, {5, 8}, {6, 8}}},
      {5,
       7,
       2,
       {{3, 6},
        {4, 6},
        {5, 6},
        {6, 6},
        {7, 6},
        {3, 7},
        {4, 7},
        {5, 7},
        {6, 7},
        {7, 7},
        {3, 8},
        {4, 8},
        {5, 8},
        {6, 8},
        {7, 8}}},
      {0, 0, 1, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}},
      {1, 0, 2, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1}}},
      {0xFFFFFFFFu,
       0xFFFFFFFFu,
       1,
       {{0xFFFFFFFEu, 0xFFFFFFFEu},
        {0xFFFFFFFFu, 0xFFFFFFFEu},
        {0xFFFFFFFEu, 0xFFFFFFFFu},
        {0xFFFFFFFFu, 0xFFFFFFFFu}}},
  };
  for (const auto& c : cases) {
    Cells got;
    ForNeighbourCells(c.column, c.row, c.reach, [&](std::uint32_t column, std::uint32_t row) {
      got.emplace_back(column, row);
    });
    EXPECT_EQ(got, c.cells) << c.column << "," << c.row << " reach " << c.reach;
  }
}

TEST(CellGrid, ColumnsByRow) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> got;
  ForNeighbourCellsBy(
      1, 1, [](std::uint32_t row) { return row * 10; },
      [&](std::uint32_t column, std::uint32_t row) { got.emplace_back(column, row); });
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> cells = {
      {0, 0}, {1, 0}, {9, 1}, {10, 1}, {11, 1}, {19, 2}, {20, 2}, {21, 2}};
  EXPECT_EQ(got, cells);
}

TEST(ImportNear, TheDistancesNearTakes) {
  const std::string why = " is not a distance from 0.1 to 10000 metres";
  const struct {
    std::string text;
    bool taken;
  } cases[] = {
      {"0.1", true},       {"30", true},     {"10000", true}, {"0.0999", false},
      {"10000.01", false}, {"0", false},     {"-30", false},  {"nan", false},
      {"inf", false},      {"1e300", false}, {"30m", false},  {"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NearProblem(c.text), c.taken ? "" : c.text + why) << c.text;
  }
}

}  // namespace
}  // namespace korvel
