// The maps of korvel-cli map and diff --map: what they show, where, and that
// the files are well-formed whatever text the inputs hold.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "exchange/export.h"
#include "exchange/map/camera_map.h"
#include "exchange/map/html_map.h"
#include "exchange/map/projection.h"
#include "exchange/map/xml_text.h"
#include "support/golden.h"

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)
#include "support/cli_folder.h"
#include "support/png_pixels.h"
#endif

namespace korvel {
namespace {

TEST(MapText, XmlSafeAndFileNames) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    std::string text, safe;
  } safe[] = {
      {"Seoul \xEC\x84\x9C\xEC\x9A\xB8\t\r\n", "Seoul \xEC\x84\x9C\xEC\x9A\xB8\t\r\n"},
      {"a\x01"
       "b\x1F\x7F",
       "a" + fffd + "b" + fffd + "\x7F"},
      {"\xFF\xFE", fffd + fffd},                                 // no UTF-8 at all
      {"\xED\xA0\x80", fffd + fffd + fffd},                      // a surrogate
      {"\xEF\xBF\xBE|\xEF\xBF\xBF", fffd + "|" + fffd},          // U+FFFE, U+FFFF
      {"\xEF\xBF\xBD\xEE\x80\x80", "\xEF\xBF\xBD\xEE\x80\x80"},  // U+FFFD, U+E000 kept
      {"\xC0\x80\xC1\xBF", fffd + fffd + fffd + fffd},           // overlong forms
      {"\xC2\x80\xDF\xBF", "\xC2\x80\xDF\xBF"},                  // two-byte ends
      {"\xF0\x9F\x93\xB7\xF4\x8F\xBF\xBF", "\xF0\x9F\x93\xB7\xF4\x8F\xBF\xBF"},
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // beyond U+10FFFF
      {"x\xE4\xB8", "x" + fffd + fffd},                 // cut short
  };
  for (const auto& [text, expected] : safe) EXPECT_EQ(map::XmlSafe(text), expected) << text;
  const struct {
    std::string name, shown;
  } names[] = {
      {"cams \xEC\x84\x9C\xEC\x9A\xB8.txt", "cams \xEC\x84\x9C\xEC\x9A\xB8.txt"},
      {"\xBC\xAD\xBF\xEF.txt", "\xEC\x84\x9C\xEC\x9A\xB8.txt"},  // CP949 for the same word
      {"\xFF\xEC\x84\x9C.txt", "\\xFF\xEC\x84\x9C.txt"},
  };
  for (const auto& [name, shown] : names) EXPECT_EQ(map::FileNameText(name), shown) << name;
}

GPS_POINT At(std::uint32_t x, std::uint32_t y, std::uint8_t type = 3) {
  GPS_POINT p;
  p.x = x, p.y = y, p.type = type, p.speed = 60, p.flag = 1, p.angle = 90;
  return p;
}

// A camera moved a little is one removed and one added camera, joined when
// they share a record and lie within 0.02 degree on both axes: in its own
// grid cell or any of the eight around it.
TEST(MapMoves, JoinedInEveryDirectionUpToACellsEdge) {
  // Cell corners: 1270000 is a west or south cell edge, 1270199 an east or north one.
  const std::uint32_t w = 1270000, e = 1270199, s = 375000, n = 375199;
  const struct {
    const char* move;
    GPS_POINT from, to;
    bool joined;
  } cases[] = {
      {"18 m west", At(w, s), At(w - 2, s), true},
      {"east", At(e, n), At(e + 150, n), true},
      {"north", At(e, n), At(e, n + 150), true},
      {"south", At(w, s), At(w, s - 150), true},
      {"north-east", At(e, n), At(e + 100, n + 100), true},
      {"south-west", At(w, s), At(w - 100, s - 100), true},
      {"north-west", At(w, n), At(w - 100, n + 100), true},
      {"south-east", At(e, s), At(e + 100, s - 100), true},
      {"within the cell", At(w + 50, s + 50), At(w + 60, s + 40), true},
      {"0.02 degree west", At(w, s), At(w - 200, s), true},
      {"0.0201 degree west", At(w, s), At(w - 201, s), false},
      {"0.0201 degree north", At(e, n), At(e, n + 201), false},
      {"other type", At(w, s), At(w - 2, s, 4), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.move);
    DecodedDb old_db, new_db;
    old_db.points = {c.from};
    new_db.points = {c.to};
    map::CameraMap camera_map;
    map::LeftOut old_out, new_out;
    const DiffCounts counts = map::AddDiff(old_db, {}, new_db, {}, camera_map, old_out, new_out);
    EXPECT_EQ(counts.added + counts.removed, 2u);
    EXPECT_EQ(camera_map.moves.size(), c.joined ? 1u : 0u);
    if (c.joined && camera_map.moves.size() == 1) {
      EXPECT_EQ(camera_map.cameras[camera_map.moves[0].first].kind, map::MarkKind::kRemoved);
      EXPECT_EQ(camera_map.cameras[camera_map.moves[0].second].kind, map::MarkKind::kAdded);
    }
  }
}

// The view fits the cameras without the sample points, and the sample points
// alone when there is nothing else; the counts keep the samples apart.
TEST(MapView, FittedWithoutTheSamplePoints) {
  DecodedDb db;
  db.points = {At(693000, 411000), At(694000, 412000)};  // Tashkent
  map::CameraMap camera_map;
  map::LeftOut left_out;
  map::AddCameras(db, {}, camera_map, left_out);
  const map::MapView only = map::ViewOf(camera_map, std::nullopt);
  db.points = {SamplePoint(0), SamplePoint(1)};
  map::AddCameras(db, {}, camera_map, left_out);
  const map::MapView with = map::ViewOf(camera_map, std::nullopt);
  EXPECT_TRUE(with.box.east < 70 && with.box.west > 69 && with.box.south > 41);
  EXPECT_EQ(with.box.east, only.box.east);
  EXPECT_EQ(with.cameras, 2u);
  EXPECT_EQ(with.in_view, 2u);
  EXPECT_EQ(with.samples, 2u);
  EXPECT_EQ(with.samples_outside, 2u);
  EXPECT_EQ(with.types.at(3), 2u);
  map::CameraMap samples;
  map::AddCameras(db, {}, samples, left_out);
  const map::MapView alone = map::ViewOf(samples, std::nullopt);
  EXPECT_EQ(alone.samples_outside, 0u);
  EXPECT_TRUE(alone.box.west < 126.95 && alone.box.east > 126.95) << alone.box.west;
}

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

/// A text of `rows` cameras in one grid cell, as an operator's tool writes it.
std::string OneCellText(int rows) {
  std::string text = kHeaderOnlyText;
  char row[64];
  for (int i = 0; i < rows; ++i) {
    std::snprintf(row, sizeof row, "127.00%02d\t37.0000\t1\t60\t0\t0\r\n", i % 100);
    text += row;
  }
  return text;
}

TEST(CliMap, FaultsAndOptions) {
  const CliFolder folder("korvel-map-faults");
  folder.Write("one.txt", std::string(kHeaderOnlyText) + "127.000000\t37.500000\t3\t60\t1\t90\r\n");
  // One more camera than a grid cell holds.
  folder.Write("full.txt", OneCellText(65536));
  const std::string osm = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
  // clang-format off
  const struct {
    std::string args;
    int status;
    std::string err;  ///< the whole of standard error
  } cases[] = {
      {"map full.txt -o m.svg", 1, "full.txt: error: grid cell 121247950 (latitude 37, longitude 127) holds 65536 points with the sample rows, at most 65535 fit (the dialog shows \" Cell over 65535 points..\")\nkorvel-cli: full.txt: generate stops on this camera text with \" Cell over 65535 points..\" ('korvel-cli check full.txt' lists every problem)\n"},
      {"map - -o m.svg <full.txt", 1, "-: error: grid cell 121247950 (latitude 37, longitude 127) holds 65536 points with the sample rows, at most 65535 fit (the dialog shows \" Cell over 65535 points..\")\nkorvel-cli: -: generate stops on this camera text with \" Cell over 65535 points..\" ('korvel-cli check -' lists every problem)\n"},
      {"map one.txt -o m.svg --format pdf", 2, "korvel-cli: --format: 'pdf' is not svg or html\nTry 'korvel-cli map --help' for more information.\n"},
      {"map one.txt -o m.svg --tiles " + osm, 2, "korvel-cli: --tiles: only the HTML map loads tiles\nTry 'korvel-cli map --help' for more information.\n"},
      {"map one.txt -o m.html --format svg --tiles " + osm, 2, "korvel-cli: --tiles: only the HTML map loads tiles\nTry 'korvel-cli map --help' for more information.\n"},
      {"diff one.txt one.txt --map d.svg --bbox 1,2", 2, "korvel-cli: --bbox: '1,2' is not LON1,LAT1,LON2,LAT2 in degrees, west and south first\nTry 'korvel-cli diff --help' for more information.\n"},
      {"diff one.txt one.txt --bbox 126,37,128,38", 2, "korvel-cli: --bbox, --format and --tiles go with --map\nTry 'korvel-cli diff --help' for more information.\n"},
      {"diff one.txt one.txt --map d.svg --format HTML", 2, "korvel-cli: --format: 'HTML' is not svg or html\nTry 'korvel-cli diff --help' for more information.\n"},
      {"diff one.txt one.txt --map d.svg --bbox 126.9,37.4,127.1,37.6 && grep -c 'view: longitude 126.9000' d.svg", 0, ""},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out, err;
    EXPECT_EQ(folder.Run(c.args, out, err), c.status);
    EXPECT_EQ(err, c.err);
  }
  EXPECT_FALSE(std::filesystem::exists(folder.dir / "m.svg"));
}

// What the SVG map leaves out and draws on top: ticks only at views up to
// 50 km wide, sample points outside the view counted, rarer types on top.
TEST(CliMap, TicksSamplesAndDrawOrder) {
  const CliFolder folder("korvel-map-order");
  folder.Write("busan.txt", std::string(kHeaderOnlyText) +
                                "129.030000\t35.100000\t2\t60\t1\t90\r\n"
                                "129.000000\t35.100000\t1\t60\t1\t90\r\n"
                                "129.010000\t35.100000\t1\t60\t1\t180\r\n"
                                "129.020000\t35.100000\t1\t60\t1\t270\r\n");
  const std::string ticks = "tick: direction (dirtype not 0)",
                    no_ticks = "no direction ticks: view over 50 km wide",
                    outside = "2 sample points outside this view";
  const struct {
    std::string options;
    bool ticks, samples_outside;
  } cases[] = {
      {"", true, true},                               // fitted to Busan's cameras
      {"--bbox 128.76,35,129.3,35.2", true, true},    // 0.54 degree: 49.1 km
      {"--bbox 128.75,35,129.31,35.2", false, true},  // 0.56 degree: 50.9 km
      {"--bbox 126,34,130,38", false, false},         // Seoul too
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    std::string out, err;
    ASSERT_EQ(folder.Run("map busan.txt -o m.svg " + c.options, out, err), 0) << err;
    const std::string svg = ReadText(folder.dir / "m.svg");
    EXPECT_EQ(svg.find(ticks) != std::string::npos, c.ticks);
    EXPECT_EQ(svg.find(no_ticks) != std::string::npos, !c.ticks);
    // A mark's tick follows its circle.
    EXPECT_EQ(std::regex_search(svg, std::regex("<circle r=\"4\" fill=\"#[0-9A-F]{6}\"/><path")),
              c.ticks);
    EXPECT_EQ(svg.find(outside) != std::string::npos, c.samples_outside);
    EXPECT_NE(svg.find("4 cameras (and 2 sample points)"), std::string::npos);
    // Type 1 (three cameras) first, type 2 (one) over it, the samples last.
    const std::size_t rare = svg.find(": type 2, "), sample = svg.find("camera sample");
    EXPECT_LT(svg.rfind("35.1000: type 1, "), rare);
    EXPECT_TRUE(sample == std::string::npos || sample > rare);
  }
}

// Whatever bytes a file name or a title holds, the map is XML that xmllint
// and rsvg-convert accept, and a file name in CP949 shows as Korean.
TEST(CliMap, AnyTextGivesWellFormedMaps) {
  const CliFolder folder("korvel-map-texts");
  if (folder.Shell("command -v xmllint && command -v rsvg-convert") != 0)
    GTEST_SKIP() << "xmllint and rsvg-convert are needed (scripts/setup installs them)";
  const std::string rows = std::string(kHeaderOnlyText) + "127.000000\t37.500000\t3\t60\t1\t90\r\n";
  folder.Write("one.txt", rows);
  folder.Write("\xBC\xAD\xBF\xEF.txt", rows);  // "Seoul" in CP949
  folder.Write("\xFF\xFE.txt", rows);          // no encoding at all
  const std::string seoul = "\xEC\x84\x9C\xEC\x9A\xB8.txt", fffd = "\xEF\xBF\xBD";
  const struct {
    std::string args;  ///< writes m.svg
    std::string has;   ///< in its <title>
  } cases[] = {
      {"map \"$(printf '\\274\\255\\277\\357.txt')\" -o m.svg", "<title>" + seoul + "</title>"},
      {"map \"$(printf '\\377\\376.txt')\" -o m.svg", "<title>\\xFF\\xFE.txt</title>"},
      {"map one.txt -o m.svg --title \"$(printf 'bad \\377 byte')\"",
       "<title>bad " + fffd + " byte"},
      {"map one.txt -o m.svg --title \"$(printf 'half \\355\\240\\200')\"", "<title>half " + fffd},
      {"map one.txt -o m.svg --title \"$(printf 'not \\357\\277\\276')\"",
       "<title>not " + fffd + "</title>"},
      {"map one.txt -o m.svg --title \"$(printf 'bell \\007 </title>&')\"",
       "<title>bell " + fffd + " &lt;/title&gt;&amp;</title>"},
      {"diff \"$(printf '\\274\\255\\277\\357.txt')\" \"$(printf '\\377\\376.txt')\" --map m.svg",
       "<title>" + seoul + " \xE2\x86\x92 \\xFF\\xFE.txt</title>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out, err;
    folder.Shell("rm -f m.svg");
    EXPECT_EQ(folder.Run(c.args, out, err), 0) << err;
    EXPECT_EQ(folder.Shell("xmllint --noout m.svg && rsvg-convert m.svg -o m.png"), 0);
    EXPECT_NE(ReadText(folder.dir / "m.svg").find(c.has), std::string::npos);
  }
}

// Land and sea where they are, at views across the globe: far north, across
// 180 degrees and at home. Each place is well inside land or sea at 1:50m.
TEST(CliMap, LandAndSeaWhereTheyAre) {
  const CliFolder folder("korvel-map-land");
  if (folder.Shell("command -v rsvg-convert") != 0)
    GTEST_SKIP() << "rsvg-convert is needed (scripts/setup installs it)";
  folder.Write("one.txt", std::string(kHeaderOnlyText) + "127.000000\t37.500000\t3\t60\t1\t90\r\n");
  const std::string land = "#F4F1E8", sea = "#DCEAF2";
  const struct {
    const char* bbox;
    double lon, lat;
    bool is_land;
    const char* place;
  } cases[] = {
      {"100,60,150,75", 121.3, 65.3, true, "Yakutia"},
      {"100,60,150,75", 126.3, 67.3, true, "Siberia between 65 and 69 N"},
      {"100,60,150,75", 131.3, 74.3, false, "Laptev Sea"},
      {"-170,50,-140,72", -151.3, 64.3, true, "interior Alaska"},
      {"-170,50,-140,72", -167.3, 69.3, false, "Chukchi Sea"},
      {"-170,50,-140,72", -163.3, 66.7, false, "Kotzebue Sound"},
      {"-170,50,-140,72", -145.3, 57.3, false, "Gulf of Alaska"},
      {"170,60,180,72", 175.3, 67.3, true, "Chukotka west of 180"},
      {"170,60,180,72", 178.3, 62.3, false, "Bering Sea west of 180"},
      {"-180,60,-170,70", -175.3, 67.3, true, "Chukotka east of 180"},
      {"-180,60,-170,70", -172.3, 61.3, false, "Bering Sea east of 180"},
      {"5,58,32,72", 15.3, 62.3, true, "Sweden"},
      {"5,58,32,72", 7.3, 67.3, false, "Norwegian Sea"},
      {"124,33,132,43", 127.7, 36.3, true, "Korea"},
      {"124,33,132,43", 124.7, 35.3, false, "Yellow Sea"},
      {"124,33,132,43", 131.3, 36.3, false, "East Sea"},
      {"-75,-56,-60,-40", -69.3, -45.3, true, "Patagonia"},
  };
  std::string last_bbox;
  testing::PngImage png;
  double top = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.place);
    if (c.bbox != last_bbox) {
      std::string out, err;
      ASSERT_EQ(folder.Run("map one.txt --bbox=" + std::string(c.bbox) + " -o m.svg", out, err), 0);
      ASSERT_EQ(folder.Shell("rsvg-convert m.svg -o m.png"), 0);
      png = testing::DecodePng(ReadText(folder.dir / "m.png"));
      const std::string svg = ReadText(folder.dir / "m.svg");
      std::smatch clip;
      ASSERT_TRUE(std::regex_search(
          svg, clip, std::regex("clipPath id=\"view\"><rect x=\"60\" y=\"([0-9.]+)\"")));
      top = std::stod(clip[1]);
      last_bbox = c.bbox;
    }
    const auto box = map::ParseBbox(c.bbox);
    const map::Projection project(*box, 60, top, 760, 760);
    const map::PagePoint at = project(c.lon, c.lat);
    EXPECT_EQ(png.Colour(static_cast<std::uint32_t>(at.x), static_cast<std::uint32_t>(at.y)),
              c.is_land ? land : sea);
  }
}

/// `rows` cameras spread over South Korea, types 1 to 9 unevenly, every
/// third one without a direction.
std::string CountryText(int rows) {
  std::string text = kHeaderOnlyText;
  char row[80];
  std::uint32_t seed = 7;
  for (int i = 0; i < rows; ++i) {
    seed = seed * 1103515245u + 12345u;
    const double lon = 126.1 + (seed >> 8) % 33000 / 10000.0;
    const double lat = 34.6 + (seed >> 4) % 38000 / 10000.0;
    static constexpr int kTypes[] = {1, 1, 1, 1, 2, 3, 3, 5, 7, 9};
    std::snprintf(row, sizeof row, "%.6f\t%.6f\t%d\t%d\t%d\t%d\r\n", lon, lat, kTypes[i % 10],
                  30 + 10 * (i % 6), i % 3 == 0 ? 0 : 1, i * 37 % 360);
    text += row;
  }
  return text;
}

/// The page as headless Chromium leaves it after `budget_ms` of virtual
/// time, with no network; a screenshot too when `shot` names one.
std::string Browse(const CliFolder& folder, const std::string& page, int budget_ms,
                   const std::string& shot = "") {
  const std::string chromium =
      "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--host-resolver-rules='MAP * ~NOTFOUND' --proxy-server=http://127.0.0.1:9 "
      "--virtual-time-budget=" +
      std::to_string(budget_ms) + " --user-data-dir=\"$(mktemp -d)\" ";
  const std::string url = "'file://" + (folder.dir / page).string() + "'";
  if (!shot.empty()) {
    folder.Shell(chromium + "--window-size=1200,900 --screenshot='" + shot + "' " + url +
                 " 2>/dev/null");
  }
  folder.Shell(chromium + "--dump-dom " + url + " >dom.html 2>/dev/null");
  return ReadText(folder.dir / "dom.html");
}

/// The attributes of the <html> element in `dom`.
std::string HtmlTag(const std::string& dom) {
  const std::size_t at = dom.find("<html");
  return at == std::string::npos ? "" : dom.substr(at, dom.find('>', at) - at + 1);
}

// The HTML page in a real browser, offline: it draws every input kind and a
// diff with every kind of difference, and input texts stay text.
TEST(MapPage, DrawnOfflineInABrowser) {
  const CliFolder folder("korvel-map-page");
  if (folder.Shell("command -v chromium") != 0)
    GTEST_SKIP() << "chromium is needed (scripts/setup installs it)";
  if (!map::HtmlMapAvailable()) GTEST_SKIP() << "this build has no HTML map";
  const std::string hostile = "</script><img src=x onerror=alert(1)>\"";
  folder.Write("cams.txt", std::string(kHeaderOnlyText) +
                               "127.000000\t37.500000\t3\t60\t1\t90\r\n"
                               "128.600000\t35.870000\t7\t50\t0\t0\r\n"
                               "129.300000\t36.000000\t3\t60\t0\t0\r\n");
  folder.Write("old.txt", std::string(kHeaderOnlyText) +
                              "127.000000\t37.500000\t3\t60\t1\t90\r\n"   // changed
                              "127.100000\t37.500000\t1\t50\t0\t0\r\n"    // moved 18 m west
                              "128.000000\t36.000000\t2\t80\t0\t0\r\n"    // removed
                              "129.000000\t35.200000\t1\t50\t1\t180\r\n"  // unchanged
  );
  folder.Write("new.txt", std::string(kHeaderOnlyText) +
                              "127.000000\t37.500000\t3\t70\t1\t90\r\n"
                              "127.099800\t37.500000\t1\t50\t0\t0\r\n"
                              "129.000000\t35.200000\t1\t50\t1\t180\r\n"
                              "126.500000\t35.000000\t5\t30\t0\t0\r\n");  // added
  folder.Write("big.txt", CountryText(42000));
  folder.Write("<img src=x onerror=alert(1)>\".txt",
               "V\"</> 123456 " + hostile + "\r\nX\tY\tTYPE\r\n127.0\t37.5\t3\t60\t1\t90\r\n");
  ASSERT_EQ(folder.Shell("head -c 249856 /dev/zero >K93_FW_v0102.bin && head -c 1000 /dev/zero "
                         ">K93_Voice_v0034.bin && '" KORVEL_CLI_PATH
                         "' generate --fw K93_FW_v0102.bin --voice K93_Voice_v0034.bin --db "
                         "cams.txt --out-dir db >/dev/null"),
            0);
  const std::string shots =
      (std::filesystem::path(KORVEL_CLI_PATH).parent_path() / "../../map-screenshots").string();
  folder.Shell("mkdir -p '" + shots + "'");
  const struct {
    std::string args;       ///< writes p.html
    std::string tag;        ///< the <html> element once drawn
    std::string shot = "";  ///< a screenshot under the build folder: NAME.png
  } cases[] = {
      {"map cams.txt -o p.html",
       R"(<html lang="en" data-korvel-cameras="3" data-korvel-samples="2" data-korvel-ready="1">)"},
      {"map db/TempDb.bin -o p.html",
       R"(<html lang="en" data-korvel-cameras="3" data-korvel-samples="2" data-korvel-ready="1">)"},
      {"map db/K93_F0102_V0034_D3456.bin -o p.html",
       R"(<html lang="en" data-korvel-cameras="3" data-korvel-samples="2" data-korvel-ready="1">)"},
      {"diff old.txt new.txt --map p.html >/dev/null; test $? = 1",
       R"(<html lang="en" data-korvel-cameras="6" data-korvel-samples="2" data-korvel-added="2" data-korvel-removed="2" data-korvel-changed="1" data-korvel-unchanged="3" data-korvel-moved="1" data-korvel-ready="1">)",
       "diff"},
      {"map big.txt -o p.html",
       R"(<html lang="en" data-korvel-cameras="42000" data-korvel-samples="2" data-korvel-ready="1">)",
       "country"},
      {"map '<img src=x onerror=alert(1)>\".txt' -o p.html --title '" + hostile + "'",
       R"(<html lang="en" data-korvel-cameras="1" data-korvel-samples="2" data-korvel-ready="1">)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out, err;
    ASSERT_EQ(folder.Run(c.args + " >/dev/null", out, err), 0) << err;
    const std::string dom =
        Browse(folder, "p.html", 20000, c.shot.empty() ? "" : shots + "/" + c.shot + ".png");
    EXPECT_EQ(HtmlTag(dom), c.tag);
    // Text from the inputs is text: no element made of it, no script run.
    EXPECT_EQ(dom.find("<img"), std::string::npos);
    EXPECT_EQ(dom.find("onerror=alert(1)>"), std::string::npos);
  }
  // The hostile page's title panel shows the texts as they were.
  const std::string dom = Browse(folder, "p.html", 5000);
  const std::string shown = "&lt;/script&gt;&lt;img src=x onerror=alert(1)&gt;\"";
  EXPECT_NE(dom.find("<h1>" + shown + "</h1>"), std::string::npos);
  EXPECT_NE(dom.find(">&lt;img src=x onerror=alert(1)&gt;\".txt</span>"), std::string::npos);
  // The version field keeps 11 bytes of the line.
  EXPECT_NE(dom.find("version line: V\"&lt;/&gt; 12345</div>"), std::string::npos);
  // Tiles only when asked, credited; offline the page is drawn all the same.
  std::string out, err;
  ASSERT_EQ(folder.Run("map cams.txt -o p.html --tiles "
                       "'https://tile.openstreetmap.org/{z}/{x}/{y}.png'",
                       out, err),
            0);
  const std::string tiled = Browse(folder, "p.html", 5000);
  EXPECT_NE(HtmlTag(tiled).find("data-korvel-ready=\"1\""), std::string::npos);
  EXPECT_NE(tiled.find("\u00A9 OpenStreetMap contributors"), std::string::npos);
  EXPECT_NE(tiled.find("class=\"leaflet-tile-container"), std::string::npos);
  EXPECT_EQ(dom.find("class=\"leaflet-tile-container"), std::string::npos);
  // A zoomed view of the country map, to look at.
  ASSERT_EQ(folder.Run("map big.txt -o p.html", out, err), 0);
  Browse(folder, "p.html#12/37.30/127.20", 20000, shots + "/country-zoomed.png");
}

#endif

}  // namespace
}  // namespace korvel
