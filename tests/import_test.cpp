// korvel-cli import: one table per source format, each case an input, the
// camera text it gives and the problems it reports; every text written must
// pass the strict check. Then the round trips through our own exports.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "camdb/checker.h"
#include "exchange/camera_input.h"
#include "exchange/export.h"
#include "exchange/import/import.h"
#include "format/db_reader.h"
#include "generate/pipeline.h"
#include "platform/memory_file.h"
#include "platform/system.h"
#include "platform/text_file.h"
#include "support/golden.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;

constexpr char kVersion[] = "V1.0 123456 test";
constexpr char kHead[] = "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n";

/// A scratch folder for the inputs, removed at the end.
struct Scratch {
  Scratch() {
    // Test processes run side by side: the process id keeps their folders apart.
    dir = fs::temp_directory_path() /
          ("korvel-import-" + std::to_string(ProcessId()) + "-" + std::to_string(++count));
    fs::create_directories(dir);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    return (dir / name).string();
  }
  static inline int count = 0;
  fs::path dir;
};

struct Outcome {
  ImportResult result;
  std::string text;      ///< the camera text written
  std::string problems;  ///< one line each, the scratch folder left out
};

Outcome Import(const Scratch& scratch, ImportOptions options) {
  Outcome outcome;
  const std::string folder = (scratch.dir / "").string();
  outcome.result = RunImport(options, [&](const std::string& line) {
    std::string shown = line;
    for (std::size_t at; (at = shown.find(folder)) != std::string::npos;)
      shown.erase(at, folder.size());
    outcome.problems += shown + "\n";
  });
  std::ostringstream text;
  WriteImportText(outcome.result, text);
  outcome.text = text.str();
  return outcome;
}

/// What the strict check says about a written text: nothing, or its problems.
std::string StrictCheck(const std::string& text) {
  Bytes bytes(text.begin(), text.end());
  TextReader reader(std::make_unique<MemoryFile>(bytes));
  std::string problems;
  CheckDbText(reader, GenerateLimits(true), [&](const CheckProblem& problem) {
    problems += std::to_string(problem.line) + ": " + problem.message + "\n";
  });
  return problems;
}

struct Case {
  const char* name;
  const char* file;  ///< its name tells the format
  std::string input;
  std::string rows;      ///< the rows written after kHead
  std::string problems;  ///< "FILE:PLACE: kind: message" lines
  ImportOutcome outcome = ImportOutcome::kDone;
};

void RunTable(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Scratch scratch;
    ImportOptions options;
    options.inputs = {scratch.Write(c.file, c.input)};
    options.version_line = kVersion;
    const Outcome got = Import(scratch, options);
    EXPECT_EQ(got.result.outcome, c.outcome) << got.result.failure;
    EXPECT_EQ(got.problems, c.problems);
    if (c.outcome == ImportOutcome::kDone || c.outcome == ImportOutcome::kRowsSkipped) {
      EXPECT_EQ(got.text, kHead + c.rows);
      EXPECT_EQ(StrictCheck(got.text), "");
    }
  }
}

TEST(ImportText, RowsAsGenerateReadsThem) {
  const std::string head = "V1.0 654321 base\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\r\n";
  RunTable({
      {"plain rows keep the parser's units", "a.txt",
       head + "127.000000\t37.0002\t3\t60\t1\t90\r\n128.5\t35.1\t2\t100\t0\t0\r\n",
       "127.0000\t37.0001\t3\t60\t1\t90\r\n128.5000\t35.1000\t2\t100\t0\t0\r\n", ""},
      {"what generate reads other than written", "a.txt", head + "127.5\t37,5\t3\t60 km\t1\t90\r\n",
       "127.5000\t37.0000\t3\t60\t1\t90\r\n",
       "a.txt:3: warning: Y \"37,5\" is read as 37.000000, as generate reads it\n"
       "a.txt:3: warning: SPEED \"60 km\" is read as 60, as generate reads it\n"},
      {"rows the device cannot store", "a.txt",
       head + "127\t37\t1\t60\t0\r\n-73.9\t40.7\t1\t60\t0\t0\r\n127\t37\t300\t60\t0\t0\r\n"
              "127\t37\t1\t60\t1\t360\r\n0\t0\t1\t60\t0\t0\r\n127\t37\t1\t60\t0\t0\r\n",
       "127.0000\t37.0000\t1\t60\t0\t0\r\n",
       "a.txt:3: error: 5 fields, 6 TAB-separated fields expected; skipped\n"
       "a.txt:4: error: longitude X -73.9 is west or south: the device stores no sign; skipped\n"
       "a.txt:5: error: TYPE 300 is outside 0 to 255; skipped\n"
       "a.txt:6: error: DIRECTION 360 is outside 0 to 359; skipped\n"
       "a.txt:7: error: the position 0,0 is no camera; skipped\n",
       ImportOutcome::kRowsSkipped},
      {"not a camera text", "a.txt", "X\tY\tTYPE\r\n", "", "", ImportOutcome::kMalformed},
  });
}

TEST(ImportCsv, SeparatorsQuotingEncodingsAndColumnNames) {
  RunTable({
      {"comma, quotes, byte-order mark, latitude first", "a.csv",
       "\xEF\xBB\xBFname,Latitude,LONGITUDE,Type,maxspeed,Heading,DirType\r\n"
       "\"Main St, \"\"north\"\"\",37.5,127.00005,2,50,90,1\r\n"
       "\"two\nlines\",37.6,127.1,3,60,NNE,1\r\n",
       "127.0001\t37.5000\t2\t50\t1\t90\r\n127.1000\t37.6000\t3\t60\t1\t23\r\n",
       "a.csv: note: X from \"LONGITUDE\", Y from \"Latitude\", TYPE from \"Type\", SPEED from "
       "\"maxspeed\", DIRTYPE from \"DirType\", DIRECTION from \"Heading\"; not used: name "
       "(--field FIELD=NAME takes one)\n"},
      {"semicolon takes a decimal comma", "a.csv",
       "lat;lon;speed;type\n37,5;127,25;30 mph;1\n37,6;127,3;fast;1\n",
       "127.2500\t37.5000\t1\t48\t0\t0\r\n127.3000\t37.6000\t1\t0\t0\t0\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\", SPEED from \"speed\"\n"
       "a.csv:3: warning: SPEED \"fast\" is not a number: read as 0\n"},
      {"TAB, no TYPE column, a direction without DIRTYPE", "a.csv", "x\ty\tangle\n127\t37\t45.5\n",
       "127.0000\t37.0000\t1\t0\t1\t46\r\n",
       "a.csv: note: X from \"x\", Y from \"y\", DIRECTION from \"angle\"\n"
       "a.csv:2: warning: DIRECTION \"45.5\" read as 46\n"
       "a.csv: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n"},
      {"CP949 Korean header", "a.csv",
       "\xC0\xA7\xB5\xB5,\xB0\xE6\xB5\xB5,\xC1\xA6\xC7\xD1\xBC\xD3\xB5\xB5,type\n37.5,127,60,4\n",
       "127.0000\t37.5000\t4\t60\t0\t0\r\n",
       "a.csv: note: X from \"\xEA\xB2\xBD\xEB\x8F\x84\", Y from \"\xEC\x9C\x84\xEB\x8F\x84\", "
       "TYPE "
       "from \"type\", SPEED from \"\xEC\xA0\x9C\xED\x95\x9C\xEC\x86\x8D\xEB\x8F\x84\"\n"},
      {"bad rows", "a.csv", "lon,lat,type,direction\n,37,1,0\n127,abc,1,0\n127,37,1,up-down\n",
       "127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\", DIRECTION from "
       "\"direction\"\n"
       "a.csv:2: error: longitude missing; skipped\n"
       "a.csv:3: error: latitude \"abc\" is not a number; skipped\n"
       "a.csv:4: warning: DIRECTION \"up-down\" is not a direction: DIRTYPE 0 and DIRECTION 0\n",
       ImportOutcome::kRowsSkipped},
      {"no coordinate columns", "a.csv", "name,speed\na,60\n", "", "", ImportOutcome::kMalformed},
  });
}

TEST(ImportGeoJson, PointsAndPropertiesByEveryName) {
  const auto feature = [](const std::string& geometry, const std::string& properties) {
    return "{\"type\":\"Feature\",\"geometry\":" + geometry + ",\"properties\":" + properties + "}";
  };
  const std::string point = "{\"type\":\"Point\",\"coordinates\":[127.5,37.5]}";
  const auto collection = [](const std::string& features) {
    return "{\"type\":\"FeatureCollection\",\"features\":[" + features + "]}";
  };
  RunTable({
      {"our names, the old flag and angle, a sample row", "a.geojson",
       collection(feature(point, R"({"type":3,"speed":60,"dirtype":1,"direction":90})") + "," +
                  feature(point, R"({"type":4,"speed":70,"flag":1,"angle":10,"cell":5})") + "," +
                  feature(point, R"({"type":5,"speed":80,"sample":true})")),
       "127.5000\t37.5000\t3\t60\t1\t90\r\n127.5000\t37.5000\t4\t70\t1\t10\r\n",
       "a.geojson: note: TYPE from \"type\", SPEED from \"speed\", DIRTYPE from \"dirtype\" and "
       "\"flag\", DIRECTION from \"direction\" and \"angle\", SAMPLE from \"sample\"; not used: "
       "cell (--field FIELD=NAME takes one)\n"},
      {"MultiPoint and OpenStreetMap tags", "a.json",
       collection(feature(R"({"type":"MultiPoint","coordinates":[[127,37],[128,36,5]]})",
                          R"({"highway":"speed_camera","maxspeed":"60","direction":"SW"})") +
                  "," + feature(point, R"({"highway":"speed_camera","maxspeed":"signals"})")),
       "127.0000\t37.0000\t1\t60\t1\t225\r\n128.0000\t36.0000\t1\t60\t1\t225\r\n"
       "127.5000\t37.5000\t1\t0\t0\t0\r\n",
       "a.json: feature 2: warning: maxspeed \"signals\" is not a number: SPEED 0\n"},
      {"a line, a feature alone", "a.geojson",
       feature(R"({"type":"LineString","coordinates":[[127,37],[128,37]]})", "{}"), "",
       "a.geojson: note: 1 feature is a line or polygon, not a camera: left out\n"},
      {"lines and polygons counted, other geometry refused", "a.geojson",
       collection(
           feature(R"({"type":"Polygon","coordinates":[[[127,37],[128,37],[127,37]]]})", "{}") +
           "," + feature(R"({"type":"MultiLineString","coordinates":[]})", "{}") + "," +
           feature(R"({"type":"Circle","coordinates":[127,37]})", "{}")),
       "",
       "a.geojson: feature 3: error: geometry Circle is not a Point or MultiPoint; skipped\n"
       "a.geojson: note: 2 features are lines or polygons, not a camera: left out\n",
       ImportOutcome::kRowsSkipped},
      {"broken JSON", "a.geojson", collection(feature(point, "{}")).substr(0, 40), "", "",
       ImportOutcome::kMalformed},
  });
}

TEST(ImportGpxKml, WaypointsPlacemarksAndOurFields) {
  RunTable({
      {"GPX waypoints with our extensions", "a.gpx",
       "<?xml version=\"1.0\"?>\n<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" "
       "xmlns:k=\"urn:x\">\n<wpt lat=\"37.5\" lon=\"127.5\"><type>Camera</type><extensions>"
       "<k:type>2</k:type><k:speed>80</k:speed><k:dirtype>1</k:dirtype><k:direction>15"
       "</k:direction></extensions></wpt>\n<wpt lat=\"37.5\"/>\n</gpx>\n",
       "127.5000\t37.5000\t2\t80\t1\t15\r\n",
       "a.gpx:4: error: longitude X missing or unreadable; skipped\n"
       "a.gpx: note: TYPE from \"type\", SPEED from \"speed\", DIRTYPE from \"dirtype\", "
       "DIRECTION from \"direction\"\n",
       ImportOutcome::kRowsSkipped},
      {"KML points, typed and untyped ExtendedData", "a.kml",
       "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\n<Placemark><ExtendedData>"
       "<SchemaData><SimpleData name=\"type\">7</SimpleData><SimpleData name=\"speed\">90"
       "</SimpleData></SchemaData></ExtendedData><Point><coordinates> 127.5,37.5,0 "
       "</coordinates></Point></Placemark>\n<Placemark><ExtendedData><Data name=\"type\">"
       "<value>1</value></Data></ExtendedData><LineString><coordinates>127,37 128,37"
       "</coordinates></LineString></Placemark>\n</Document></kml>",
       "127.5000\t37.5000\t7\t90\t0\t0\r\n",
       "a.kml: note: TYPE from \"type\", SPEED from \"speed\"\n"
       "a.kml: note: 1 Placemark is a line, polygon or track, not a camera: left out\n"},
      {"KML Placemarks: no geometry at all, a gx:Track", "a.kml",
       "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
       "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">"
       "<Document>\n<Placemark><name>A</name></Placemark>\n<Placemark><gx:Track><when>"
       "2024-06-01T10:00:00Z</when><gx:coord>127 37 0</gx:coord></gx:Track></Placemark>\n"
       "<Placemark><gx:Track/></Placemark>\n</Document></kml>",
       "",
       "a.kml:2: error: a Placemark without a Point; skipped\n"
       "a.kml: note: 2 Placemarks are lines, polygons or tracks, not a camera: left out\n",
       ImportOutcome::kRowsSkipped},
      {"GPSBabel GPX of a track: no waypoints", "t.gpx",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.0\" creator=\"GPSBabel - "
       "https://www.gpsbabel.org\" xmlns=\"http://www.topografix.com/GPX/1/0\">\n"
       "<time>2024-06-01T10:00:00Z</time>\n<rte>\n<rtept lat=\"41.3\" lon=\"69.2\"/>\n</rte>\n"
       "<trk>\n<name>Track 1</name>\n<trkseg>\n<trkpt lat=\"41.311000000\" lon=\"69.279700000\">\n"
       "  <ele>455.000000</ele>\n  <time>2024-06-01T10:00:00Z</time>\n  <course>90.0</course>\n"
       "  <speed>13.9</speed>\n</trkpt>\n<trkpt lat=\"41.312\" lon=\"69.28\"/>\n</trkseg>\n"
       "</trk>\n</gpx>\n",
       "",
       "t.gpx: warning: no waypoints (wpt); its 1 route points (rtept) and 2 track points "
       "(trkpt) are a way, not cameras\n"},
      {"broken XML", "a.kml", "<kml><Document>\n<Placemark></Document>", "", "",
       ImportOutcome::kMalformed},
      {"cut XML", "a.gpx", "<gpx><wpt lat=\"37\" lon=\"127\"><extensions><type>1</type>", "", "",
       ImportOutcome::kMalformed},
  });
}

TEST(ImportMerge, BaseFirstThenDuplicatesByTheChosenRule) {
  const Scratch scratch;
  const std::string base =
      scratch.Write("base.txt", std::string(kHead) + "127.0000\t37.0000\t1\t60\t1\t90\r\n");
  const std::string csv = scratch.Write(
      "new.csv",
      "lon,lat,type,speed,dirtype,direction\n127,37,1,60,1,90\n127.0002,37.0001,1,60,1,120\n"
      "127.0003,37.0001,2,50,0,0\n127.0003,37.0001,2,50,1,270\n");
  ImportOptions options;
  options.base = base;
  options.inputs = {csv};
  const struct {
    Dedupe dedupe;
    std::optional<double> near;
    std::string rows, problems;
  } rules[] = {
      {Dedupe::kExact,
       {},
       "127.0002\t37.0001\t1\t60\t1\t120\r\n127.0003\t37.0001\t2\t50\t0\t0\r\n"
       "127.0003\t37.0001\t2\t50\t1\t270\r\n",
       "new.csv:2: note: same camera as base.txt:3 (identical); kept base.txt:3\n"},
      // Line 4 has no direction: 15 m, and the base lies 29 m off; line 5
      // then meets it, whatever its direction.
      {Dedupe::kNear,
       {},
       "127.0003\t37.0001\t2\t50\t0\t0\r\n",
       "new.csv:2: note: same camera as base.txt:3 (0 m apart); kept base.txt:3\n"
       "new.csv:3: note: same camera as base.txt:3 (21 m apart); kept base.txt:3\n"
       "new.csv:5: note: same camera as new.csv:4 (0 m apart); kept new.csv:4\n"},
      // 10 m for all; line 5 faces away from line 3.
      {Dedupe::kNear, 10.0,
       "127.0002\t37.0001\t1\t60\t1\t120\r\n127.0003\t37.0001\t2\t50\t1\t270\r\n",
       "new.csv:2: note: same camera as base.txt:3 (0 m apart); kept base.txt:3\n"
       "new.csv:4: note: same camera as new.csv:3 (9 m apart); kept new.csv:3\n"},
      {Dedupe::kNone,
       {},
       "127.0000\t37.0000\t1\t60\t1\t90\r\n127.0002\t37.0001\t1\t60\t1\t120\r\n"
       "127.0003\t37.0001\t2\t50\t0\t0\r\n127.0003\t37.0001\t2\t50\t1\t270\r\n",
       ""},
  };
  const std::string note =
      "new.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\", SPEED from \"speed\", "
      "DIRTYPE from \"dirtype\", DIRECTION from \"direction\"\n";
  for (const auto& rule : rules) {
    options.dedupe = rule.dedupe;
    options.near_metres = rule.near;
    const Outcome got = Import(scratch, options);
    EXPECT_EQ(got.text, kHead + std::string("127.0000\t37.0000\t1\t60\t1\t90\r\n") + rule.rows);
    EXPECT_EQ(got.problems, note + rule.problems);
  }
  // The version line comes from the base; without one, none is made up.
  options.base.clear();
  EXPECT_EQ(Import(scratch, options).result.outcome, ImportOutcome::kNoVersion);
}

TEST(ImportRoundTrip, GenerateExportImportGenerateGivesTheSameDatabase) {
  const std::string text =
      std::string(kHead) +
      "127.000000\t37.500000\t3\t60\t1\t90\r\n126.900099\t37.999999\t3\t110\t1\t359\r\n"
      "128.5\t35.1\t2\t100\t0\t0\r\n126.950100\t37.389400\t9\t80\t0\t247\r\n"
      "126.980700\t37.416300\t1\t70\t1\t15\r\n127.0002\t37.0002\t4\t30\t1\t0\r\n";
  std::string fault;
  const auto db = EncodeCameraText(
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), fault);
  ASSERT_TRUE(db) << fault;
  CameraInput decoded;
  ASSERT_TRUE(DecodeCameraInput(*db, decoded, fault));
  for (const char* format : {"tsv", "csv", "geojson", "gpx", "kml"}) {
    SCOPED_TRACE(format);
    std::ostringstream exported;
    ASSERT_TRUE(ExportCameras(decoded.file.db, *ParseExportFormat(format), exported).ok);
    const Scratch scratch;
    ImportOptions options;
    options.inputs = {scratch.Write(std::string("cameras.") + format, exported.str())};
    // A CSV has no place for the version line.
    if (format == std::string_view("csv")) options.version_line = kVersion;
    const Outcome got = Import(scratch, options);
    ASSERT_EQ(got.result.outcome, ImportOutcome::kDone) << got.result.failure << got.problems;
    const auto again = EncodeCameraText(
        std::span(reinterpret_cast<const std::uint8_t*>(got.text.data()), got.text.size()), fault);
    ASSERT_TRUE(again) << fault;
    EXPECT_EQ(*again, *db);
  }
}

}  // namespace
}  // namespace korvel
