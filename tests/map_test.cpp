// The maps of korvel-cli map and diff --map: what they show, where, and that
// the files are well-formed whatever text the inputs hold.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "exchange/map/camera_map.h"
#include "support/golden.h"

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)
#include "support/cli_folder.h"
#include "support/png_pixels.h"
#endif

namespace korvel {
namespace {

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)

using testing::ReadText;

struct CliFolder : testing::CliFolder {
  using testing::CliFolder::CliFolder;
  int Run(const std::string& args, std::string& out, std::string& err,
          const std::string& setup = "") const {
    return RunCli(KORVEL_CLI_PATH, args, out, err, setup);
  }
};

// The SVG map is well-formed XML, renders, and shows a known camera in its
// type's colour where it stands.
TEST(CliMap, WellFormedAndRendersTypeColours) {
  const CliFolder folder("korvel-map");
  if (folder.Shell("command -v xmllint && command -v rsvg-convert") != 0)
    GTEST_SKIP() << "xmllint and rsvg-convert are needed (scripts/setup installs them)";
  folder.Write("cams.txt", std::string(kHeaderOnlyText) +
                               "127.000000\t37.500000\t3\t60\t1\t90\r\n"
                               "128.600000\t35.870000\t7\t50\t0\t0\r\n"
                               "129.300000\t36.000000\t3\t60\t0\t0\r\n");
  std::string out, err;
  ASSERT_EQ(folder.Run("map cams.txt -o map.svg", out, err), 0) << err;
  ASSERT_EQ(
      folder.Run("diff cams.txt " + std::string("given.txt") + " --map diff.svg", out, err,
                 "printf 'V1.0 123456 test\\nX\\tY\\tTYPE\\n127.01\\t37.5\\t3\\t60\\t1\\t90\\n'"
                 " >given.txt; "),
      1)
      << err;
  EXPECT_NE(ReadText(folder.dir / "diff.svg").find("moved"), std::string::npos);
  ASSERT_EQ(folder.Shell("xmllint --noout map.svg diff.svg && rsvg-convert map.svg -o map.png"), 0);
  const std::string svg = ReadText(folder.dir / "map.svg");
  const testing::PngImage png = testing::DecodePng(ReadText(folder.dir / "map.png"));
  ASSERT_FALSE(png.pixels.empty());
  // Where each camera stands (its group's translate), the fill of its type.
  const struct {
    std::string title;
    std::uint8_t type;
  } marks[] = {{"128.6000, 35.8700", 7}, {"129.3000, 36.0000", 3}, {"127.0000, 37.5000", 3}};
  for (const auto& [title, type] : marks) {
    SCOPED_TRACE(title);
    const std::size_t at = svg.find("<title>" + title);
    ASSERT_NE(at, std::string::npos);
    const std::size_t translate = svg.rfind("translate(", at);
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(svg.c_str() + translate, "translate(%lf %lf)", &x, &y), 2);
    EXPECT_EQ(png.Colour(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)),
              map::TypeColour(type));
  }
  EXPECT_NE(svg.find("class=\"camera sample\""), std::string::npos);
  EXPECT_NE(svg.find(", line 3</title>"), std::string::npos);
}

#endif

}  // namespace
}  // namespace korvel
