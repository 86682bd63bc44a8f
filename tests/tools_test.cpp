// The operator tools' core: the inspect report, the exports read back, diff
// and unpack.

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "camdb/parser.h"
#include "exchange/diff.h"
#include "exchange/export.h"
#include "exchange/inspect.h"
#include "exchange/unpack.h"
#include "format/package_layout.h"
#include "platform/path.h"
#include "platform/system.h"
#include "support/byte_diff.h"
#include "support/golden.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

using testing::MemoryFileSystem;
using testing::SameBytes;

TEST(ToolsInspect, PackageReportAndJson) {
  InspectEntry entry{"out/K93_F0102_V0034_D3456.bin", ReadCameraFile(Package(kSampleDb)), ""};
  EXPECT_EQ(InspectText(entry),
            "out/K93_F0102_V0034_D3456.bin: K93 package, 5242959 bytes\n"
            "  firmware: 3 bytes at 0x000010\n"
            "  voice image: 2 bytes at 0x100000\n"
            "  database: 79 bytes at 0x500000\n"
            "  name tags: F0102 V0034 D3456\n"
            "  version: \"V1.0 563412\" (the text's \"V1.0 123456\")\n"
            "  cells: 2, points: 2\n"
            "  bounding box: longitude 126.9501 to 126.9807, latitude 37.3894 to 37.4163\n"
            "  fullest cell: 122493131 with 1 of 65535 points\n"
            "  points per type: 1: 1, 5: 1\n"
            "  size: 79 of 8388608 bytes\n"
            "  valid\n");
  const auto json = nlohmann::json::parse(InspectJson({entry, {"gone", std::nullopt, "No such"}}));
  EXPECT_EQ(json["files"][0]["tags"]["D"], "3456");
  EXPECT_EQ(json["files"][0]["database"]["types"]["5"], 1);
  EXPECT_EQ(json["files"][0]["valid"], true);
  EXPECT_EQ(json["files"][1]["valid"], false);
}

TEST(ToolsExport, CoordinateTextReadsBack) {
  const std::uint32_t singles[] = {0, 1, 199, 1269001, 380000, 0xFFFFFFFEu / 1000, 0xFFFFFFFFu};
  std::vector<std::uint32_t> values(std::begin(singles), std::end(singles));
  for (std::uint32_t u = 1799000; u < 1801000; ++u) values.push_back(u);
  for (std::uint32_t u : values) {
    const auto text = CoordinateText(u);
    ASSERT_TRUE(text) << u;
    EXPECT_EQ(ConvertCoordinate(*text), u) << *text;
  }
  EXPECT_EQ(CoordinateText(4000000001u), std::nullopt);  // no float product lands there
}

TEST(ToolsExport, MapFormatsReadBack) {
  DecodedDb db = *DecodeDb(kSampleDb, nullptr);
  db.version = "V&<'\">x\x01";
  const struct {
    ExportFormat format;
    std::vector<std::string> pieces;  // in this order, each once at least
  } cases[] = {
      {ExportFormat::kGpx,
       {"<gpx version=\"1.1\"", "<name>V&amp;&lt;&apos;&quot;&gt;x\\x01</name>",
        "<wpt lat=\"37.3894\" lon=\"126.9501\"><name>type 5, 80 km/h</name>",
        "<wpt lat=\"37.4163\" lon=\"126.9807\"><name>type 1, 70 km/h</name>", "</gpx>\n"}},
      {ExportFormat::kKml,
       {"<kml xmlns=\"http://www.opengis.net/kml/2.2\">", "<Placemark><name>type 5, 80 km/h</name>",
        "<coordinates>126.9501,37.3894</coordinates>",
        "<coordinates>126.9807,37.4163</coordinates>", "</kml>\n"}},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    ExportCameras(db, c.format, out);
    std::size_t at = 0;
    for (const std::string& piece : c.pieces) {
      at = out.str().find(piece, at);
      ASSERT_NE(at, std::string::npos) << piece;
    }
  }
  std::ostringstream out;
  ExportCameras(db, ExportFormat::kGeoJson, out);
  const auto json = nlohmann::json::parse(out.str());
  EXPECT_EQ(json["type"], "FeatureCollection");
  ASSERT_EQ(json["features"].size(), 2u);
  EXPECT_EQ(json["features"][0], nlohmann::json::parse(R"({"type": "Feature",
      "geometry": {"type": "Point", "coordinates": [126.9501, 37.3894]},
      "properties": {"type": 5, "speed": 80, "dirtype": 0, "direction": 247, "cell": 122493131,
                     "sample": true}})"));
}

TEST(ToolsExport, MapFormatsKeepTheWorldsEdgesAndLeaveOutWhatLiesBeyond) {
  DecodedDb db = *DecodeDb(kSampleDb, nullptr);
  db.points = {Point(1800000, 900000), Point(1800001, 10),     Point(10, 900001),
               Point(1800000, 900001), Point(1800001, 900000), Point(0, 0)};
  for (const ExportFormat format :
       {ExportFormat::kGeoJson, ExportFormat::kGpx, ExportFormat::kKml}) {
    std::ostringstream out;
    const ExportResult result = ExportCameras(db, format, out);
    EXPECT_EQ(result.left_out, (std::vector<std::string>{
                                   "camera 1 at stored X 1800001 has no map position; left out",
                                   "camera 2 at stored Y 900001 has no map position; left out",
                                   "camera 3 at stored Y 900001 has no map position; left out",
                                   "camera 4 at stored X 1800001 has no map position; left out"}));
    EXPECT_NE(out.str().find("180"), std::string::npos);
  }
}

TEST(ToolsDiff, CasesTable) {
  const GPS_POINT a = Point(1269501, 373894), b = Point(1269807, 374163),
                  c = Point(1270000, 375000);
  const std::string a_row = "126.9501\t37.3894\t1\t60\t0\t0";
  const struct {
    std::vector<GPS_POINT> old_points, new_points;
    std::string lines;  // before the version lines
    std::string summary;
  } cases[] = {
      // clang-format off
      {{a, b}, {b, a}, "", "0 added, 0 removed, 0 changed, 2 unchanged"},
      {{a, b}, {b, c}, "- " + a_row + "\n+ 127.0000\t37.5000\t1\t60\t0\t0\n",
       "1 added, 1 removed, 0 changed, 1 unchanged"},
      {{a, a}, {a}, "- " + a_row + "\n", "0 added, 1 removed, 0 changed, 1 unchanged"},
      // Of two cameras at one place, one matches and the other changed.
      {{a, a}, {a, Point(1269501, 373894, 2)}, "~ " + a_row + " -> 126.9501\t37.3894\t2\t60\t0\t0\n",
       "0 added, 0 removed, 1 changed, 1 unchanged"},
      // clang-format on
  };
  for (const auto& c : cases) {
    DecodedDb old_db, new_db;
    old_db.version = "V1.0 563412";
    new_db.version = "V1.0 573412";
    old_db.points = c.old_points;
    new_db.points = c.new_points;
    std::ostringstream out;
    const DiffCounts counts = DiffCameras(old_db, new_db, out);
    EXPECT_EQ(out.str(), c.lines +
                             "old version: \"V1.0 563412\" (the text's \"V1.0 123456\")\n"
                             "new version: \"V1.0 573412\" (the text's \"V1.0 123457\")\n" +
                             c.summary + "\n");
    EXPECT_EQ(counts.same(), c.lines.empty()) << c.summary;
  }
}

TEST(ToolsUnpack, UntaggedNamesAndAFailedWrite) {
  // Tagged names, refusals and --force: the command-line table.
  const auto Out = [](const char* name) { return JoinPath("/out", name); };
  const Bytes package = Package(kSampleDb);
  const std::string db_temp = Out("TempDb.bin") + ".tmp";
  const std::string all_three =
      Out("TempDb.bin") + " " + Out("firmware.bin") + " " + Out("voice.bin");
  struct Case {
    std::function<void(MemoryFileSystem&)> setup;
    UnpackStatus status;
    std::string failed;  ///< the file or lock file named, with its reason
    std::string files;   ///< what the folder holds afterwards
    std::string log = "lock /out;";
  };
  // clang-format off
  const Case cases[] = {
      {[](auto&) {}, UnpackStatus::kOk, "", all_three},
      // A full disk at the last part leaves the folder as it was.
      {[&](auto& fs) { fs.fail_write = {db_temp}; }, UnpackStatus::kWriteFailed, Out("TempDb.bin: ") + SystemErrorText(DiskFullError()), ""},
      {[&](auto& fs) { fs.fail_open = {{db_temp, OpenMode::kCreateWrite}}; }, UnpackStatus::kWriteFailed, Out("TempDb.bin: "), ""},
      {[&](auto& fs) { fs.fail_rename = {Out("voice.bin")}; }, UnpackStatus::kWriteFailed, Out("voice.bin: "), Out("firmware.bin")},
      {[](auto& fs) { fs.fail_lock = true; }, UnpackStatus::kLockFailed, "/out: ", ""},
      // A generate run holds the folder: it reads its own TempDb.bin back
      // before the unpack writes one.
      {[&](auto& fs) {
         fs.busy_folders = {"/out"};
         fs.SetFile(Out("TempDb.bin"), "generate's");
         fs.other_run = [&] { EXPECT_EQ(fs.Text(Out("TempDb.bin")), "generate's"); };
       }, UnpackStatus::kOk, "", all_three, "lock /out;lock /out;waited;"},
      // A link is kept and its file replaced; a device is written into.
      {[&](auto& fs) {
         fs.links = {{Out("TempDb.bin"), "/db/real.bin"}};
         fs.special = {Out("voice.bin")};
         fs.SetFile(Out("voice.bin"), "");
       }, UnpackStatus::kOk, "", "/db/real.bin " + Out("firmware.bin") + " " + Out("voice.bin")}};
  // clang-format on
  for (const Case& c : cases) {
    MemoryFileSystem fs;
    c.setup(fs);
    const UnpackResult result = Unpack(fs, package, "pkg.bin", "/out", true);
    EXPECT_EQ(result.status, c.status) << c.failed;
    const FileError& error = result.error;
    EXPECT_EQ(error.path.empty() ? "" : error.path + ": " + error.description, c.failed);
    std::string files, log;
    for (const auto& [path, bytes] : fs.files) files += (files.empty() ? "" : " ") + path;
    for (const std::string& entry : fs.log) log += entry + ";";
    EXPECT_EQ(files, c.files);
    EXPECT_EQ(log, c.log);
    if (c.status == UnpackStatus::kOk) {
      EXPECT_EQ(fs.Text(Out("firmware.bin")) + "|" + fs.Text(Out("voice.bin")), "ZZZ|<<");
      EXPECT_TRUE(
          SameBytes(fs.files[fs.links.empty() ? Out("TempDb.bin") : "/db/real.bin"], kSampleDb));
    }
  }
}

}  // namespace
}  // namespace korvel
