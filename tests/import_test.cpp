// korvel-cli import: one table per source format, each case an input, the
// camera text it gives and the problems it reports; every text written must
// pass the strict check. Then the round trips through our own exports.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "camdb/checker.h"
#include "exchange/camera_input.h"
#include "exchange/export.h"
#include "exchange/formats/format_table.h"
#include "exchange/import/import.h"
#include "format/db_reader.h"
#include "generate/pipeline.h"
#include "platform/memory_file.h"
#include "platform/system.h"
#include "platform/text_file.h"
#include "support/camera_text.h"
#include "support/golden.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

using testing::MemoryFileSystem;

constexpr char kVersion[] = "V1.0 123456 test";
constexpr char kHead[] = "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n";

struct Outcome {
  ImportResult result;
  std::string text;      ///< the camera text written
  std::string problems;  ///< one line each
};

Outcome Import(MemoryFileSystem& fs, const ImportOptions& options) {
  Outcome outcome;
  outcome.result =
      RunImport(options, fs, [&](const std::string& line) { outcome.problems += line + "\n"; });
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

/// `ascii` as Notepad saves "Unicode": UTF-16 with a byte-order mark.
std::string Utf16(const std::string& ascii, bool little_endian) {
  std::string out = little_endian ? "\xFF\xFE" : "\xFE\xFF";
  for (char c : ascii) {
    out.push_back(little_endian ? c : '\0');
    out.push_back(little_endian ? '\0' : c);
  }
  return out;
}

struct Case {
  const char* name;
  const char* file;  ///< its name tells the format
  std::string input;
  std::string rows;      ///< the rows written after kHead
  std::string problems;  ///< "FILE:PLACE: kind: message" lines, then any failure
  ImportOutcome outcome = ImportOutcome::kDone;
  std::string failure = "";  ///< why nothing was written, when the case says
};

void RunTable(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fs;
    fs.SetFile(c.file, c.input);
    ImportOptions options;
    options.inputs = {c.file};
    options.version_line = kVersion;
    const Outcome got = Import(fs, options);
    EXPECT_EQ(got.result.outcome, c.outcome) << FailureText(got.result.failure);
    const std::string failure = FailureText(got.result.failure);
    EXPECT_EQ(got.problems + (failure.empty() ? "" : failure + "\n"),
              c.problems + (c.failure.empty() ? "" : c.failure + "\n"));
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
       "127.0000\t37.0000\t1\t60\t1\t0\r\n127.0000\t37.0000\t1\t60\t0\t0\r\n",
       "a.txt:3: error: 5 fields, 6 TAB-separated fields expected; skipped\n"
       "a.txt:4: error: longitude X -73.9 is west or south: the device stores no sign; skipped\n"
       "a.txt:5: error: TYPE 300 is outside 0 to 255; skipped\n"
       "a.txt:6: warning: DIRECTION 360 is outside 0 to 359: taken as 0\n"
       "a.txt:7: error: the position 0,0 is no camera; skipped\n",
       ImportOutcome::kRowsSkipped},
      {"a value in CP949 is quoted in UTF-8, a byte of no encoding escaped", "a.txt",
       head + "127.5\t37.5\t3\t60\xB1\xB8\t1\t90\r\n127.5\t37.5\t4\t60\xFF\t1\t90\r\n",
       "127.5000\t37.5000\t3\t60\t1\t90\r\n127.5000\t37.5000\t4\t60\t1\t90\r\n",
       "a.txt:3: warning: SPEED \"60\xEA\xB5\xAC\" is read as 60, as generate reads it\n"
       "a.txt:4: warning: SPEED \"60\\xFF\" is read as 60, as generate reads it\n"},
      {"not a camera text", "a.txt", "X\tY\tTYPE\r\n", "",
       "a.txt:1: not a camera text: the first line must be the version line\n",
       ImportOutcome::kMalformed},
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
      {"rows marked sample are left out, plain or quoted", "a.csv",
       "x,y,type,sample\n127.1,37.5,2,1\n127.2,37.5,3,no\n\"127.3\",37.5,4,yes\n"
       "127.4,37.5,5,TRUE\n",
       "127.2000\t37.5000\t3\t0\t0\t0\r\n",
       "a.csv: note: X from \"x\", Y from \"y\", TYPE from \"type\", SAMPLE from \"sample\"\n"
       "a.csv:2: warning: marked as a sample row, but it is not one of the two sample rows: "
       "left out\n"
       "a.csv:4: warning: marked as a sample row, but it is not one of the two sample rows: "
       "left out\n"
       "a.csv:5: warning: marked as a sample row, but it is not one of the two sample rows: "
       "left out\n"},
      {"bad rows", "a.csv", "lon,lat,type,direction\n,37,1,0\n127,abc,1,0\n127,37,1,up-down\n",
       "127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\", DIRECTION from "
       "\"direction\"\n"
       "a.csv:2: error: longitude missing; skipped\n"
       "a.csv:3: error: latitude \"abc\" is not a number; skipped\n"
       "a.csv:4: warning: DIRECTION \"up-down\" is not a direction: DIRTYPE 0 and DIRECTION 0\n",
       ImportOutcome::kRowsSkipped},
      {"long values are cut at 40 bytes shown", "a.csv",
       "lon,lat,type,wkt\n127," + std::string(40, '9') + "x,1,\n127,37,1,POINT (" +
           std::string(33, '1') + ")\n",
       "",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\", WKT from \"wkt\"\n"
       "a.csv:2: error: latitude \"" +
           std::string(40, '9') +
           "...\" is not a number; skipped\n"
           "a.csv:3: error: WKT \"POINT (" +
           std::string(33, '1') +
           "...\" is not a POINT (lon lat); "
           "skipped\n",
       ImportOutcome::kNoCameras, "import: no camera to write: every camera found had an error"},
      {"a row's warning, then its note, then the next row's warning", "a.csv",
       "lon,lat,type,speed\n127,37,1,60\n127,37,1,60.4\n127.5,37,1,fast\n",
       "127.0000\t37.0000\t1\t60\t0\t0\r\n127.5000\t37.0000\t1\t0\t0\t0\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\", SPEED from \"speed\"\n"
       "a.csv:3: warning: SPEED \"60.4\" read as 60\n"
       "a.csv:3: note: same camera as a.csv:2 (identical); kept a.csv:2\n"
       "a.csv:4: warning: SPEED \"fast\" is not a number: read as 0\n"},
      {"no coordinate columns", "a.csv", "name,speed\na,60\n", "",
       "a.csv:1: no longitude column (x, lon, lng, long, longitude or \xEA\xB2\xBD\xEB\x8F\x84) "
       "in the header line\n",
       ImportOutcome::kMalformed},
      {"a quote left open to the end", "a.csv",
       "lon,lat,type,note\n127,37,1,ok\n127,37,2,\"abc\n127.1,37,1,x\n127.2,37,1,y\n", "",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"; not used: note (--field "
       "FIELD=NAME takes one)\n"
       "a.csv:3: the quote opened on this line is still open at the end of the file\n",
       ImportOutcome::kMalformed},
      {"quoted line breaks: four pass, five warn", "a.csv",
       "lon,lat,type,note\n127,37,1,\"a\nb\nc\nd\n\"\"e\"\"\"\n128,36,2,\"say "
       "\"\"hi\"\"\nb\nc\nd\ne\nf\"\n",
       "127.0000\t37.0000\t1\t0\t0\t0\r\n128.0000\t36.0000\t2\t0\t0\t0\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"; not used: note (--field "
       "FIELD=NAME takes one)\n"
       "a.csv:7: warning: quoted text runs over 6 lines, to line 12 (a quote left open?)\n"},
      {"a NUL in a row ends it there, and is an error", "a.csv",
       std::string("lon,lat,type,direction\n127,37,1,9\0"
                   "0\n127,37,1,\"a\n\0\"\n128,36,2,5\n",
                   62),
       "128.0000\t36.0000\t2\t0\t1\t5\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\", DIRECTION from "
       "\"direction\"\n"
       "a.csv:2: error: a NUL byte in column 4; skipped\n"
       "a.csv:4: error: a NUL byte in column 4; skipped\n",
       ImportOutcome::kRowsSkipped},
      {"a NUL after the first 4 KiB", "a.csv",
       "lon,lat,type,direction,note\n127,37,1,5," + std::string(5000, 'n') + "\n" +
           std::string("127,37,1,9\0"
                       "0,x\n",
                       14),
       "127.0000\t37.0000\t1\t0\t1\t5\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\", DIRECTION from "
       "\"direction\"; not used: note (--field FIELD=NAME takes one)\n"
       "a.csv:3: error: a NUL byte in column 4; skipped\n",
       ImportOutcome::kRowsSkipped},
      {"a NUL in the header", "a.csv", std::string("lon;la\0t\n127;37\n", 16), "",
       "a.csv:1: a NUL byte in the header line, column 2\n", ImportOutcome::kMalformed},
      {"the largest coordinates and just past them", "a.csv",
       "lon,lat,type\n180,90,1\n180.00001,37,1\n127,90.00001,1\n",
       "180.0000\t90.0000\t1\t0\t0\t0\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"\n"
       "a.csv:3: error: longitude X 180.00001 is outside -180 to 180; skipped\n"
       "a.csv:4: error: latitude Y 90.00001 is outside -90 to 90; skipped\n",
       ImportOutcome::kRowsSkipped},
      {"an exact 0 is a missing value, a small one is not", "a.csv",
       "lon,lat,type\n0,37,1\n127,0,1\n127,0.00001,1\n0.00001,37,1\n",
       "127.0000\t0.0000\t1\t0\t0\t0\r\n0.0000\t37.0000\t1\t0\t0\t0\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"\n"
       "a.csv:2: error: longitude 0: a missing value?; skipped\n"
       "a.csv:3: error: latitude 0: a missing value?; skipped\n",
       ImportOutcome::kRowsSkipped},
      {"directions rounded, then turned", "a.csv",
       "lon,lat,type,dirtype,direction\n127,37,1,1,359.6\n127,37.1,1,1,359.4\n"
       "127,37.2,1,1,-30\n127,37.3,1,1,720\n127,37.4,1,1,359\n",
       "127.0000\t37.0000\t1\t0\t1\t0\r\n127.0000\t37.1000\t1\t0\t1\t359\r\n"
       "127.0000\t37.2000\t1\t0\t1\t330\r\n127.0000\t37.3000\t1\t0\t1\t0\r\n"
       "127.0000\t37.4000\t1\t0\t1\t359\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\", DIRTYPE from \"dirtype\", "
       "DIRECTION from \"direction\"\n"
       "a.csv:2: warning: DIRECTION \"359.6\" read as 0\n"
       "a.csv:3: warning: DIRECTION \"359.4\" read as 359\n"
       "a.csv:4: warning: DIRECTION -30 is outside 0 to 359: taken as 330\n"
       "a.csv:5: warning: DIRECTION 720 is outside 0 to 359: taken as 0\n"},
      {"no rows", "a.csv", "lon,lat,type\n", "",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"\n",
       ImportOutcome::kNoCameras, "import: no camera to write: the inputs hold none"},
      {"no row the device takes", "a.csv", "lon,lat,type\n-127,37,1\n", "",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"\n"
       "a.csv:2: error: longitude X -127 is west or south: the device stores no sign; skipped\n",
       ImportOutcome::kNoCameras, "import: no camera to write: every camera found had an error"},
      // The duplicate's note waits for its merge behind the prefetch: its
      // row's warning comes before it, the next row's after it.
      {"a note between the warnings of its row and the next", "a.csv",
       "lon,lat,type,speed\n127,37,1,60\n127,37,1,60.2\n127,37.1,1,60.5\n",
       "127.0000\t37.0000\t1\t60\t0\t0\r\n127.0000\t37.1000\t1\t61\t0\t0\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\", SPEED from \"speed\"\n"
       "a.csv:3: warning: SPEED \"60.2\" read as 60\n"
       "a.csv:3: note: same camera as a.csv:2 (identical); kept a.csv:2\n"
       "a.csv:4: warning: SPEED \"60.5\" read as 61\n"},
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
      {"our names, the old flag and angle, a row marked sample that is none", "a.geojson",
       collection(feature(point, R"({"type":3,"speed":60,"dirtype":1,"direction":90})") + "," +
                  feature(point, R"({"type":4,"speed":70,"flag":1,"angle":10,"cell":5})") + "," +
                  feature(point, R"({"type":5,"speed":80,"sample":true})")),
       "127.5000\t37.5000\t3\t60\t1\t90\r\n127.5000\t37.5000\t4\t70\t1\t10\r\n",
       "a.geojson: feature 3: warning: marked as a sample row, but it is not one of the two "
       "sample rows: left out\n"
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
       "a.geojson: note: 1 feature is a line or polygon, not a camera: left out\n",
       ImportOutcome::kNoCameras, "import: no camera to write: the inputs hold none"},
      {"lines and polygons counted, other geometry refused", "a.geojson",
       collection(
           feature(R"({"type":"Polygon","coordinates":[[[127,37],[128,37],[127,37]]]})", "{}") +
           "," + feature(R"({"type":"MultiLineString","coordinates":[]})", "{}") + "," +
           feature(R"({"type":"Circle","coordinates":[127,37]})", "{}")),
       "",
       "a.geojson: feature 3: error: geometry Circle is not a Point or MultiPoint; skipped\n"
       "a.geojson: note: 2 features are lines or polygons, not a camera: left out\n",
       ImportOutcome::kNoCameras, "import: no camera to write: every camera found had an error"},
      {"a direction that rounds to north", "a.geojson",
       collection(feature(point, R"({"type":1,"dirtype":1,"direction":359.5})") + "," +
                  feature(point, R"({"type":2,"dirtype":1,"direction":-90})")),
       "127.5000\t37.5000\t1\t0\t1\t0\r\n127.5000\t37.5000\t2\t0\t1\t270\r\n",
       "a.geojson: feature 1: warning: DIRECTION 359.5 read as 0\n"
       "a.geojson: feature 2: warning: DIRECTION -90 is outside 0 to 359: taken as 270\n"
       "a.geojson: note: TYPE from \"type\", DIRTYPE from \"dirtype\", DIRECTION from "
       "\"direction\"\n"},
      {"members read past, containers kept as what they are", "a.geojson",
       collection(
           R"({"type":"Feature","id":7,"bbox":[1,2,3,4],"geometry":{"coordinates":[[127,37]],)"
           R"("bbox":[0],"type":"LineString"},"properties":{"note":[1,[2]],"speed":[60,[70]]}},)" +
           feature(R"({"type":"Point","coordinates":[127.5,37.5,[1,[2]]]})",
                   R"({"name":{"a":[1]},"speed":{"a":60},"type":2})")),
       "127.5000\t37.5000\t2\t0\t0\t0\r\n",
       "a.geojson: feature 2: warning: SPEED is object, not a number: read as 0\n"
       "a.geojson: note: TYPE from \"type\", SPEED from \"speed\"; not used: name (--field "
       "FIELD=NAME takes one)\n"
       "a.geojson: note: 1 feature is a line or polygon, not a camera: left out\n"},
      {"nested 64 deep", "a.geojson",
       feature(point, R"({"type":2,"note":)" + std::string(63, '[') + std::string(63, ']') + "}"),
       "127.5000\t37.5000\t2\t0\t0\t0\r\n",
       "a.geojson: note: TYPE from \"type\"; not used: note (--field FIELD=NAME takes one)\n"},
      {"nested 65 deep", "a.geojson",
       feature(point, R"({"type":2,"note":)" + std::string(64, '[') + std::string(64, ']') + "}"),
       "", "a.geojson: not GeoJSON: values nested over 64 deep\n", ImportOutcome::kMalformed},
      {"blanks over 4 MiB", "a.geojson",
       feature(point, R"({"type":2,"note":1,)" + std::string(5 << 20, ' ') + "}"), "",
       "a.geojson: not GeoJSON: a value or blank run over 4 MiB\n", ImportOutcome::kMalformed},
      {"properties up to 4 MiB a feature", "a.geojson",
       collection(feature(point, R"({"type":2,"a":")" + std::string(2 << 20, 'a') + R"(","b":")" +
                                     std::string((2 << 20) - 1000, 'b') + "\"}")),
       "127.5000\t37.5000\t2\t0\t0\t0\r\n",
       "a.geojson: note: TYPE from \"type\"; not used: a, b (--field FIELD=NAME takes one)\n"},
      {"properties over 4 MiB a feature", "a.geojson",
       collection(feature(point, R"({"type":2,"a":")" + std::string(2 << 20, 'a') + R"(","b":")" +
                                     std::string(2 << 20, 'b') + "\"}")),
       "", "a.geojson: not GeoJSON: one feature or record holds over 4 MiB\n",
       ImportOutcome::kMalformed},
      {"an array of features is no GeoJSON", "a.geojson", "[" + feature(point, "{}") + "]", "",
       "a.geojson: not GeoJSON: a FeatureCollection or a Feature expected\n",
       ImportOutcome::kMalformed},
      {"broken JSON", "a.geojson", collection(feature(point, "{}")).substr(0, 40), "",
       "a.geojson: not GeoJSON: parse error at line 1, column 41: syntax error while parsing "
       "value - unexpected end of input; expected '[', '{', or a literal\n",
       ImportOutcome::kMalformed},
  });
}

TEST(ImportGpxKml, WaypointsPlacemarksAndOurFields) {
#ifdef _WIN32
  // XmlLite names its errors by code, and a cut file is told by its end.
  const std::string broken_xml = "a.kml:2: not XML (XmlLite error 0xC00CEE3B)\n";
  const std::string cut_xml = "a.gpx:1: not XML: the file ends inside an element\n";
  // The stream refuses the comment before XmlLite has read the waypoint.
  const std::string before_huge;
#else
  const std::string before_huge =
      "a.gpx: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n";
  const std::string broken_xml = "a.kml:2: not XML: mismatched tag\n";
  const std::string cut_xml = "a.gpx:1: not XML: no element found\n";
#endif
  // A waypoint under gpx, with `levels` more elements around `inside`.
  const auto deep = [](int levels, const std::string& inside) {
    std::string text = "<gpx>\n<wpt lat=\"37.5\" lon=\"127.5\">";
    for (int i = 0; i < levels; ++i) text += "<a>";
    text += inside;
    for (int i = 0; i < levels; ++i) text += "</a>";
    return text + "<extensions><type>1</type></extensions></wpt>\n</gpx>\n";
  };
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
       ImportOutcome::kNoCameras, "import: no camera to write: every camera found had an error"},
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
       "(trkpt) are a way, not cameras\n",
       ImportOutcome::kNoCameras, "import: no camera to write: the inputs hold none"},
      {"UTF-16 GPX, as Notepad saves it", "cams",
       Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<gpx>\r\n<wpt lat=\"37.5\" "
             "lon=\"127.5\"/>\r\n<wpt lon=\"127.5\"/>\r\n</gpx>\r\n",
             true),
       "127.5000\t37.5000\t1\t0\t0\t0\r\n",
       "cams:4: error: latitude Y missing or unreadable; skipped\n"
       "cams: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n",
       ImportOutcome::kRowsSkipped},
      {"256 deep passes, fields only inside extensions", "a.gpx",
       deep(251, "<extensions><b><speed>80</speed></b></extensions><speed>99</speed>"),
       "127.5000\t37.5000\t1\t80\t0\t0\r\n",
       "a.gpx: note: TYPE from \"type\", SPEED from \"speed\"\n"},
      {"257 deep is refused as it opens", "a.gpx", deep(255, ""), "",
       "a.gpx: elements nested over 256 deep\n", ImportOutcome::kMalformed},
      {"attributes up to 64 KiB", "a.gpx",
       "<gpx creator=\"x\">\n<wpt lat=\"37.5\" lon=\"" + std::string(65536 - 5, ' ') + "127.5" +
           "\" note=\"" + std::string(70000, 'n') +
           "\"><extensions><type>1</type></extensions>"
           "</wpt>\n<wpt lat=\"37.5\" lon=\"" +
           std::string(65536 - 4, ' ') + "127.5\"/>\n</gpx>\n",
       "127.5000\t37.5000\t1\t0\t0\t0\r\n",
       "a.gpx:3: error: longitude X missing or unreadable; skipped\n"
       "a.gpx: note: TYPE from \"type\"\n",
       ImportOutcome::kRowsSkipped},
      // Refused before the parser holds it: expat by its memory budget, XmlLite
      // by the stream that feeds it.
      {"markup over the parser's 32 MiB", "a.gpx",
       "<gpx>\n<wpt lat=\"37.5\" lon=\"127.5\"/>\n<!--" + std::string(33 << 20, 'c') +
           "-->\n</gpx>",
       "",
       before_huge +
           "a.gpx:3: a tag, comment or other markup over 32 MiB; no GPX or KML holds one\n",
       ImportOutcome::kMalformed},
      // Comments hold no field: long ones and markup in them are read past,
      // their line breaks counted.
      {"comments", "a.gpx",
       "<gpx>\n<!--" + std::string(600 << 10, 'c') +
           "-->\n<!-- <wpt lat=\"1\" lon=\"2\"/>\n"
           "-->\n<wpt lat=\"37.5\" lon=\"127.5\"/><!---->\n<wpt lat=\"-37.5\" lon=\"127.5\"/>\n"
           "</gpx>",
       "127.5000\t37.5000\t1\t0\t0\t0\r\n",
       "a.gpx:6: error: latitude Y -37.5 is west or south: the device stores no sign; skipped\n"
       "a.gpx: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n",
       ImportOutcome::kRowsSkipped},
      {"broken XML", "a.kml", "<kml><Document>\n<Placemark></Document>", "", broken_xml,
       ImportOutcome::kMalformed},
      {"cut XML", "a.gpx", "<gpx><wpt lat=\"37\" lon=\"127\"><extensions><type>1</type>", "",
       cut_xml, ImportOutcome::kMalformed},
  });
}

#if defined(KORVEL_HAVE_OSMIUM) && !defined(_WIN32)
TEST(ImportOsm, EveryMessageStaysOneLine) {
  RunTable({
      {"a line break in a tag value", "a.osm",
       "<?xml version='1.0' encoding='UTF-8'?>\n<osm version=\"0.6\" generator=\"JOSM\">\n"
       "  <node id='-101' lat='37.5' lon='127.5'>\n"
       "    <tag k='highway' v='speed_camera' />\n"
       "    <tag k='maxspeed' v='60&#10;km/h' />\n  </node>\n</osm>\n",
       "127.5000\t37.5000\t1\t0\t0\t0\r\n",
       "a.osm: node -101: warning: maxspeed \"60\\nkm/h\" is not a number: SPEED 0\n"},
  });
}
#endif

/// What detection tells of a file `name` holding `head`: the format's name,
/// or the failure as the command shows it; for a format told, the bytes its
/// reader then gets.
struct Detection {
  std::string told;
  std::optional<std::string> again;
};
Detection Detect(const std::string& name, const std::string& head) {
  MemoryFileSystem fs;
  fs.SetFile(name, head);
  SourceFile file(fs, name);
  ImportFormat format = ImportFormat::kText;
  Problem failure;
  if (DetectImportFormat(file, format, failure) != SourceOutcome::kRead) {
    return {FailureText(failure), std::nullopt};
  }
  const auto opened = file.Open(failure);
  std::string again(head.size() + 1, '?');
  again.resize(opened->Read(again.data(), again.size()));
  return {std::string(ImportFormatName(format)), again};
}

TEST(ImportDetect, ContentFirstThenNameThenCommas) {
  const std::string pbf_head("\0\0\0\x0d\x0a\x09OSMHeader\x18\x7c", 17);
  const std::string gpx = "<?xml version=\"1.0\"?>\r\n<gpx version=\"1.1\" creator=\"x\">";
  const struct {
    const char* file;
    std::string head;
    const char* format;  ///< or the failure
  } cases[] = {
      {"a.csv", pbf_head, "osm"},
      {"planet.osm.gz", "\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03", "osm"},
      {"planet.osm.bz2", "BZh91AY&SY", "osm"},
      {"a.txt", Utf16(gpx, true), "gpx"},
      {"a.txt", Utf16("<kml xmlns=\"http://www.opengis.net/kml/2.2\">", false), "kml"},
      {"a.txt", Utf16("<osm version=\"0.6\">", true),
       "a.txt: binary data, not a camera list (give --from if it is one)"},
      {"a.gpx", std::string("lat,lon\n37,127\0", 15),
       "a.gpx: binary data, not a camera list (give --from if it is one)"},
      {"a.csv", "\xEF\xBB\xBF \r\n{\"type\":\"FeatureCollection\"", "geojson"},
      {"a.csv", "[{\"lat\":37}]", "geojson"},
      {"a.csv", gpx, "gpx"},
      {"a", "<kml>", "kml"},
      {"a", "<osm version=\"0.6\">", "osm"},
      {"a.gpx", "<rss>",
       "a.gpx: XML, but not GPX, KML or OpenStreetMap (give --from if it is one)"},
      {"a.csv", "V1.0 123456 x\r\nX\tY\tTYPE\tSPEED\r\n", "text"},
      {"a.csv", "V1.0 123456 x\r\nY\tX\tTYPE\r\n", "csv"},
      {"a.TSV", "lat;lon\n", "text"},
      {"a.Json", "lat;lon\n", "geojson"},
      {"a.pbf", "x", "osm"},
      {"a.gpx.bak", "lat;lon\n", "csv"},
      {"a", "lat\tlon\n", "csv"},
      {"a", "\xEF\xBB\xBF\nname\n",
       "a: the format cannot be told from its content or name; give --from"},
      {"data.d/a", "name\n",
       "data.d/a: the format cannot be told from its content or name; give --from"},
      {"a.csv", "", "a.csv: the file is empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + (" " + c.head));
    const Detection got = Detect(c.file, c.head);
    EXPECT_EQ(got.told, c.format);
    // The reader gets the peeked bytes again.
    if (got.again) {
      EXPECT_EQ(*got.again, c.head);
    }
  }
}

TEST(ImportDetect, EachSignatureTellsItsOwnFirstBytes) {
  const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  const std::string pbf_head("\0\0\0\x0d\x0a\x09OSMHeader\x18\x7c", 17);
  constexpr auto kBinary = SignatureMatch::kBinary;
  constexpr auto kText = SignatureMatch::kText;
  const struct {
    const char* file;
    std::string bytes;
    const char* format;  ///< the one entry that takes them, or "" for none
    SignatureMatch match;
  } cases[] = {
      {"a.txt", "V1.0 123456 x\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n", "text", kText},
      {"a.txt", "V1.0 123456 x\r\nX\tY\tTYP", "", SignatureMatch::kNo},
      {"A.CSV", std::string("x,y,type\r\n127.1,37.5,1\0", 23), "csv", kBinary},
      {"a.csv", "x,y,type\r\n127.1,37.5,1\r\n", "", SignatureMatch::kNo},
      {"a.geojson", "{\"type\":\"FeatureCollection\",\"features\":[", "geojson", kText},
      {"a.json", "{\n  \"version\": 0.6,\n  \"generator\": \"Overpass API 0.7.62\",", "geojson",
       kText},
      {"a.gpx", xml + "<gpx version=\"1.1\" creator=\"GPSBabel - https://www.gpsbabel.org\">",
       "gpx", kText},
      {"a.gpx", Utf16(xml + "<gpx version=\"1.1\" creator=\"x\">", true), "gpx", kBinary},
      {"a.kml", xml + "<kml xmlns=\"http://www.opengis.net/kml/2.2\">", "kml", kText},
      {"a.kml", Utf16("<kml xmlns=\"http://www.opengis.net/kml/2.2\">", false), "kml", kBinary},
      {"a.kmz", std::string("PK\x03\x04\x14\0\0\0\x08\0", 10) + "doc.kml", "kmz", kBinary},
      {"a.osm", "<?xml version='1.0' encoding='UTF-8'?>\n<osm version='0.6' generator='JOSM'>",
       "osm", kText},
      {"a.osm.pbf", pbf_head, "osm", kBinary},
      {"a", std::string(23, '\x01') + "OSMHeader", "osm", kBinary},
      {"a", std::string(24, '\x01') + "OSMHeader", "", SignatureMatch::kNo},
      {"a.osm.gz", "\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03", "osm", kBinary},
      {"a.osm.bz2", "BZh91AY&SY", "osm", kBinary},
      {"a.osm", Utf16("<osm version=\"0.6\">", true), "", SignatureMatch::kNo},
      {"a.rss", xml + "<rss version=\"2.0\">", "", SignatureMatch::kNo},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + (" " + c.bytes));
    std::string_view text = c.bytes;
    text.remove_prefix(std::min(text.size(), text.find_first_not_of(" \t\r\n")));
    const FileStart start{c.bytes, text, c.file};
    for (const FormatEntry& entry : FormatTable()) {
      EXPECT_EQ(entry.signature(start), entry.name == c.format ? c.match : SignatureMatch::kNo)
          << entry.name;
    }
  }
}

TEST(ImportDetect, WhenTwoSignaturesFitTheFixedOrderDecides) {
  const struct {
    const char* file;
    std::string head;
    const char* format;
  } cases[] = {
      {"a.kmz", std::string("PK\x03\x04\x14\0\0\0\x08\0", 10) + "OSMHeader", "osm"},
      {"a.gpx", Utf16("<gpx>", true) + "OSMHeader", "osm"},
      {"a.csv", Utf16("<kml><!-- <gpx> --></kml>", true), "gpx"},
      {"a.csv", Utf16("<?xml?><kml>", false), "kml"},
      {"a.xml", "<kml><!-- <gpx> --></kml>", "gpx"},
      {"a.xml", "<osm><!-- <kml> --></osm>", "kml"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + (" " + c.head));
    EXPECT_EQ(Detect(c.file, c.head).told, c.format);
  }
}

TEST(ImportDetect, OneNameAcrossCommands) {
  EXPECT_EQ(ParseImportFormat("tsv"), ImportFormat::kText);
  EXPECT_EQ(ParseExportFormat("text"), ExportFormat::kTsv);
  EXPECT_EQ(ParseExportFormat("tsv"), ExportFormat::kTsv);
  EXPECT_EQ(ParseExportFormat("kml"), ExportFormat::kKml);
  EXPECT_EQ(ParseExportFormat("csv"), ExportFormat::kCsv);
  EXPECT_EQ(ParseExportFormat("kmz"), std::nullopt);
  EXPECT_EQ(ParseImportFormat("TEXT"), std::nullopt);
  EXPECT_EQ(FormatNameList(false), "text, csv, geojson, gpx, kml, kmz or osm");
  EXPECT_EQ(FormatNameList(true), "text, csv, geojson, gpx or kml");
  EXPECT_EQ(FormatNames(true),
            (std::vector<std::string>{"text", "tsv", "csv", "geojson", "gpx", "kml"}));
  // The README's table of what import reads lists the same formats, in order.
  std::ifstream readme(std::string(KORVEL_TEST_DATA_DIR) + "/../../README.md");
  std::string line, listed, expected;
  bool in_table = false;
  while (std::getline(readme, line)) {
    if (line.starts_with("| Format | What is read |")) in_table = true;
    if (in_table && line.empty()) break;
    if (in_table && line.starts_with("| `")) listed += line.substr(3, line.find('`', 3) - 3) + " ";
  }
  for (const FormatEntry& entry : FormatTable()) expected += std::string(entry.name) + " ";
  EXPECT_EQ(listed, expected);
}

TEST(ImportFailures, EachReaderNamesItsFileAndWhoseFaultItIs) {
  const std::string csv = "lon,lat\n127,37\n127.1,37.1\n";
  const std::string geojson =
      R"({"type":"FeatureCollection","features":[{"type":"Feature","geometry":)"
      R"({"type":"Point","coordinates":[127,37]},"properties":{}}]})";
  const std::string gpx =
      "<gpx>\n<wpt lat=\"37\" lon=\"127\"/>\n<wpt lat=\"38\" lon=\"127\"/>\n</gpx>\n";
  const std::string kml =
      "<kml><Document>\n<Placemark><Point><coordinates>127,37</coordinates></Point>"
      "</Placemark>\n</Document></kml>\n";
  const std::string osm =
      "<?xml version='1.0' encoding='UTF-8'?>\n<osm version=\"0.6\">\n <node id=\"1\" "
      "lat=\"37\" lon=\"127\"><tag k=\"highway\" v=\"speed_camera\"/></node>\n</osm>\n";
  const struct {
    const char* name;
    const char* file;
    std::string input;
    std::optional<ImportFormat> from;
    std::uint64_t fail_at;  ///< a read reaching it fails
    std::string failure;
    ImportOutcome outcome;
  } cases[] = {
      {"missing", "b.csv", "", {}, 0, "a.csv: " + SystemErrorText(2), ImportOutcome::kUnreadable},
      {"detection's read",
       "a.csv",
       csv,
       {},
       5,
       "a.csv: the file cannot be read",
       ImportOutcome::kUnreadable},
      {"text", "a.txt", std::string(kHead) + "127\t37\t1\t60\t0\t0\r\n", ImportFormat::kText, 40,
       "a.txt:1: the file cannot be read from here on", ImportOutcome::kUnreadable},
      {"csv", "a.csv", csv, ImportFormat::kCsv, 12, "a.csv:1: the file cannot be read from here on",
       ImportOutcome::kUnreadable},
      {"geojson", "a.geojson", geojson, ImportFormat::kGeoJson, 30,
       "a.geojson: the file cannot be read", ImportOutcome::kUnreadable},
      {"gpx", "a.gpx", gpx, ImportFormat::kGpx, 20, "a.gpx: the file cannot be read",
       ImportOutcome::kUnreadable},
      {"kml", "a.kml", kml, ImportFormat::kKml, 20, "a.kml: the file cannot be read",
       ImportOutcome::kUnreadable},
#ifdef KORVEL_HAVE_OSMIUM
      {"osm", "a.osm", osm, ImportFormat::kOsm, 60, "a.osm: the file cannot be read",
       ImportOutcome::kUnreadable},
      {"osm, not OpenStreetMap", "a.osm", gpx, ImportFormat::kOsm, 0,
       "a.osm: not an OpenStreetMap file", ImportOutcome::kMalformed},
#endif
      {"text, not one",
       "a.txt",
       "X\tY\tTYPE\r\n",
       {},
       0,
       "a.txt:1: not a camera text: the first line must be the version line",
       ImportOutcome::kMalformed},
      {"csv, no header", "a.csv", "", ImportFormat::kCsv, 0,
       "a.csv: the file is empty; a CSV file needs a header line", ImportOutcome::kMalformed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fs;
    fs.SetFile(std::string(c.file) == "b.csv" ? "elsewhere.csv" : c.file, c.input);
    if (c.fail_at != 0) fs.fail_read_at[c.file] = c.fail_at;
    ImportOptions options;
    options.inputs = {std::string(c.file) == "b.csv" ? "a.csv" : c.file};
    options.from = c.from;
    options.version_line = kVersion;
    const Outcome got = Import(fs, options);
    EXPECT_EQ(got.result.outcome, c.outcome);
    EXPECT_EQ(FailureText(got.result.failure), c.failure);
    EXPECT_EQ(got.result.failure.fault,
              c.outcome == ImportOutcome::kUnreadable ? Fault::kSystem : Fault::kInput);
  }
}

TEST(ImportStandardInput, PeekedBytesComeAgainAndOnlyOnce) {
  // Over 4096 bytes, so that a row lies across the peeked head's end.
  std::string csv = "lon,lat,speed\n";
  for (int i = 0; i < 300; ++i) csv += "127." + std::to_string(1000 + i) + ",37.5,60\n";
  Bytes bytes(csv.begin(), csv.end());
  MemoryFileSystem fs;
  ImportOptions options;
  options.inputs = {"-"};
  options.version_line = kVersion;
  options.type = 2;
  int opened = 0;
  options.standard_input = [&] {
    ++opened;
    return std::make_unique<MemoryFile>(bytes);
  };
  Outcome got = Import(fs, options);
  EXPECT_EQ(got.result.outcome, ImportOutcome::kDone) << FailureText(got.result.failure);
  EXPECT_EQ(got.result.cameras.size(), 300u);
  EXPECT_TRUE(got.text.ends_with("\n127.1299\t37.5000\t2\t60\t0\t0\r\n"));
  EXPECT_EQ(opened, 1);
#ifdef KORVEL_HAVE_OSMIUM
  // Read twice, OpenStreetMap data needs a file.
  options.from = ImportFormat::kOsm;
  // A PBF file of its header block alone, uncompressed.
  csv = std::string("\0\0\0\x0d\x0a\x09OSMHeader\x18\x12\x0a\x10\x22\x0eOsmSchema-V0.6", 35);
  bytes.assign(csv.begin(), csv.end());
  got = Import(fs, options);
  EXPECT_EQ(got.result.outcome, ImportOutcome::kUnreadable);
  EXPECT_EQ(FailureText(got.result.failure), "-: standard input cannot be read twice; give a file");
#endif
  // Without a way to it, "-" is a file's name.
  options.standard_input = nullptr;
  options.from.reset();
  fs.SetFile("-", "lon;lat\n127;37\n");
  EXPECT_EQ(Import(fs, options).text, kHead + std::string("127.0000\t37.0000\t2\t0\t0\t0\r\n"));
}

// Every way a version line arrives: only --version-line, --base, a camera text
// or our own exports give one, never with a control character, and what is
// written passes the strict check.
TEST(ImportVersionLine, FromTheOptionOurOwnFilesOrNowhere) {
  const std::string none =
      "no version line: give one with --version-line TEXT (at least 11 characters, characters 6 "
      "to 11 name the output files), or a --base text or an input that carries one\n";
  const std::string injected = "V2.0 654321\r\n1.5\t1.5\t1\t0\t0\t0";
  const std::string shown = R"("V2.0 654321\r\n1.5\t1.5\t1\t0\t0\t0")";
  const std::string row = "127.5000\t37.5000\t1\t0\t0\t0\r\n";
  const auto geojson = [](const std::string& version) {
    return R"({"type":"FeatureCollection","version":")" + version +
           R"(","features":[{"type":"Feature","geometry":{"type":"Point",)"
           R"("coordinates":[127.5,37.5]},"properties":{"type":1}}]})";
  };
  const auto gpx = [](const std::string& creator, const std::string& name) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"" + creator +
           "\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n<metadata><name>" + name +
           "</name></metadata>\n<wpt lat=\"37.5\" "
           "lon=\"127.5\"><name>a</name><extensions><type>1</type>"
           "</extensions></wpt>\n</gpx>\n";
  };
  const auto kml = [](const std::string& name, const std::string& schema) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/"
           "2.2\">\n<Document><name>" +
           name + "</name>\n" + schema +
           "<Placemark><name>a</name><ExtendedData><Data name=\"type\"><value>1</value></Data>"
           "</ExtendedData><Point><coordinates>127.5,37.5</coordinates></Point>"
           "</Placemark>\n</Document>\n</kml>\n";
  };
  const std::string schema =
      "<Schema name=\"camera\" id=\"camera\"><SimpleField name=\"type\" type=\"int\"/></Schema>\n";
  const std::string text_head =
      "\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n127.5\t37.5\t1\t0\t0\t0\r\n";
  // Every input but a camera text says which names gave its fields.
  const auto type_note = [](const std::string& file) {
    return file + ": note: TYPE from \"type\"\n";
  };
  const std::string csv_note = "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"\n";
  const struct {
    const char* name;
    const char* file;
    std::string input;
    std::string option;   ///< --version-line
    bool base;            ///< the input is the --base text
    std::string version;  ///< written; empty when nothing is
    std::string from;
    std::string problems;
  } cases[] = {
      {"--version-line before the file's own", "a.geojson", geojson("V2.0 654321 geo"), kVersion,
       false, kVersion, "--version-line", type_note("a.geojson")},
      {"our GeoJSON's version", "a.geojson", geojson("V2.0 654321 geo"), "", false,
       "V2.0 654321 geo", "a.geojson", type_note("a.geojson")},
      {"GeoJSON version with rows in it", "a.geojson",
       geojson(R"(V2.0 654321\r\n1.5\t1.5\t1\t0\t0\t0)"), "", false, "", "",
       "a.geojson: error: version line " + shown +
           " holds a control character at character 12; not taken\n" + type_note("a.geojson") +
           none},
      {"GeoJSON version with a NUL, --version-line given", "a.geojson",
       geojson(R"(V2.0 654321 a\u0000b)"), kVersion, false, kVersion, "--version-line",
       "a.geojson: error: version line \"V2.0 654321 a\\x00b\" holds a control character at "
       "character 14; not taken\n" +
           type_note("a.geojson")},
      {"our GPX's name", "a.gpx", gpx("korvel-cli", "V2.0 654321 gpx"), "", false,
       "V2.0 654321 gpx", "a.gpx", type_note("a.gpx")},
#ifndef _WIN32
      // Wine's XmlLite reads a character reference to TAB, LF or CR as a
      // blank (Windows' own keeps the character), so under Wine the name
      // holds no control character and is taken.
      {"our GPX's name with rows in it", "a.gpx",
       gpx("korvel-cli", "V2.0 654321&#13;&#10;1.5&#9;1.5&#9;1&#9;0&#9;0&#9;0"), "", false, "", "",
       "a.gpx: error: version line " + shown +
           " holds a control character at character 12; not taken\n" + type_note("a.gpx") + none},
#endif
      {"GPSBabel's GPX name", "a.gpx",
       gpx("GPSBabel - https://www.gpsbabel.org", "Verkehrskameras Usbekistan"), "", false, "", "",
       type_note("a.gpx") + none},
      {"our KML's title", "a.kml", kml("V2.0 654321 kml", schema), "", false, "V2.0 654321 kml",
       "a.kml", type_note("a.kml")},
#ifndef _WIN32
      {"our KML's title with a line break", "a.kml", kml("V2.0 654321&#10;x", schema), "", false,
       "", "",
       "a.kml: error: version line \"V2.0 654321\\nx\" holds a control character at character "
       "12; not taken\n" +
           type_note("a.kml") + none},
#endif
      {"My Maps' KML title", "a.kml", kml("Verkehrskameras Usbekistan", ""), "", false, "", "",
       type_note("a.kml") + none},
      {"camera text", "a.txt", "V2.0 654321 txt" + text_head, "", false, "V2.0 654321 txt", "a.txt",
       ""},
      {"--base text", "b.txt", "V2.0 654321 txt" + text_head, "", true, "V2.0 654321 txt",
       "--base b.txt", csv_note},
      {"camera text with a CR inside", "a.txt", "V2.0 654321\r1.5" + text_head, "", false, "", "",
       "a.txt:1: error: version line \"V2.0 654321\\r1.5\" holds a control character at "
       "character 12; not taken\n" +
           none},
      {"--base text with a NUL", "b.txt", std::string("V2.0 654321 a\0b", 15) + text_head, kVersion,
       true, kVersion, "--version-line",
       "b.txt:1: error: version line \"V2.0 654321 a\\x00\" holds a control character at "
       "character 14; not taken\n" +
           csv_note},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fs;
    ImportOptions options;
    fs.SetFile(c.file, c.input);
    if (c.base) {
      options.base = c.file;
      fs.SetFile("a.csv", "lon,lat,type\n127,37,1\n");
      options.inputs = {"a.csv"};
    } else {
      options.inputs = {c.file};
    }
    options.version_line = c.option;
    const Outcome got = Import(fs, options);
    const std::string failure = FailureText(got.result.failure);
    EXPECT_EQ(got.problems + (failure.empty() ? "" : failure + "\n"), c.problems);
    EXPECT_EQ(got.result.version_from, c.from);
    if (c.version.empty()) {
      EXPECT_EQ(got.result.outcome, ImportOutcome::kNoVersion);
    } else {
      EXPECT_TRUE(got.text.starts_with(c.version + "\r\nX\t")) << got.text;
      EXPECT_EQ(StrictCheck(got.text), "");
    }
  }
}

TEST(ImportMerge, BaseFirstThenDuplicatesByTheChosenRule) {
  MemoryFileSystem fs;
  const std::string base = "base.txt", csv = "new.csv";
  fs.SetFile(base, std::string(kHead) + "127.0000\t37.0000\t1\t60\t1\t90\r\n");
  fs.SetFile(csv,
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
    const Outcome got = Import(fs, options);
    EXPECT_EQ(got.text, kHead + std::string("127.0000\t37.0000\t1\t60\t1\t90\r\n") + rule.rows);
    EXPECT_EQ(got.problems, note + rule.problems);
  }
  // The version line comes from the base; without one, none is made up.
  options.base.clear();
  EXPECT_EQ(Import(fs, options).result.outcome, ImportOutcome::kNoVersion);
}

TEST(ImportMerge, NearFindsAKeptCameraInEveryNeighbourCell) {
  // With --near 30 a cell is 3 units (0.0003 degree) high: 127.0000,37.0000
  // lies mid-cell, and two units either way are the next cells, 18 m apart
  // along the latitude, 22 m along the longitude. At 60 degrees north a
  // cell is twice as wide, and 5 units of longitude are 28 m.
  const struct {
    const char* kept;
    const char* camera;
    const char* apart;
  } cases[] = {
      {"126.9998,36.9998", "127.0000,37.0000", "28"},
      {"127.0000,36.9998", "127.0000,37.0000", "22"},
      {"127.0002,36.9998", "127.0000,37.0000", "28"},
      {"126.9998,37.0000", "127.0000,37.0000", "18"},
      {"127.0002,37.0000", "127.0000,37.0000", "18"},
      {"126.9998,37.0002", "127.0000,37.0000", "28"},
      {"127.0000,37.0002", "127.0000,37.0000", "22"},
      {"127.0002,37.0002", "127.0000,37.0000", "28"},
      {"127.0000,37.0000", "127.0000,37.0000", "0"},
      {"126.9995,60.0000", "127.0000,60.0000", "28"},
      {"127.0005,60.0000", "127.0000,60.0000", "28"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kept);
    MemoryFileSystem fs;
    ImportOptions options;
    options.version_line = kVersion;
    options.dedupe = Dedupe::kNear;
    options.near_metres = 30;
    fs.SetFile("a.csv", std::string("lon,lat,type\n") + c.kept + ",1\n" + c.camera + ",1\n");
    options.inputs = {"a.csv"};
    const Outcome got = Import(fs, options);
    EXPECT_EQ(got.problems,
              "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"\n"
              "a.csv:3: note: same camera as a.csv:2 (" +
                  std::string(c.apart) + " m apart); kept a.csv:2\n");
    EXPECT_EQ(got.result.cameras.size(), 1u);
  }
  // Two kept cameras 36 m apart, the new one between them: the earlier
  // one is named, whichever the search meets last.
  ImportOptions options;
  options.version_line = kVersion;
  options.dedupe = Dedupe::kNear;
  options.near_metres = 30;
  MemoryFileSystem fs;
  fs.SetFile("a.csv", "lon,lat,type\n127.0000,37,1\n127.0004,37,1\n127.0002,37,1\n");
  options.inputs = {"a.csv"};
  EXPECT_EQ(Import(fs, options).problems,
            "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"\n"
            "a.csv:4: note: same camera as a.csv:2 (18 m apart); kept a.csv:2\n");
  // Copies crowded too densely to be paired are searched one by one; a
  // second input meets the cameras kept from the first.
  std::string crowd = "lon,lat,type\n";
  for (int i = 0; i < 200; ++i) crowd += "127.0001,37,1\n";
  fs.SetFile("crowd.csv", crowd);
  options.inputs = {"crowd.csv", "a.csv"};
  const Outcome got = Import(fs, options);
  EXPECT_EQ(got.text, kHead + std::string("127.0001\t37.0000\t1\t0\t0\t0\r\n"));
  EXPECT_EQ(got.problems,
            "crowd.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"\n"
            "crowd.csv:3: note: same camera as crowd.csv:2 (0 m apart); kept crowd.csv:2\n"
            "crowd.csv:4: note: same camera as crowd.csv:2 (0 m apart); kept crowd.csv:2\n"
            "crowd.csv:5: note: same camera as crowd.csv:2 (0 m apart); kept crowd.csv:2\n"
            "crowd.csv: 196 more notes like \"same camera as crowd.csv:2 (0 m apart); kept "
            "crowd.csv:2\"\n"
            "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"\n"
            "a.csv:2: note: same camera as crowd.csv:2 (9 m apart); kept crowd.csv:2\n"
            "a.csv:3: note: same camera as crowd.csv:2 (27 m apart); kept crowd.csv:2\n"
            "a.csv:4: note: same camera as crowd.csv:2 (9 m apart); kept crowd.csv:2\n");
}

TEST(ImportRoundTrip, GenerateExportImportGenerateGivesTheSameDatabase) {
  const std::string text =
      std::string(kHead) +
      "127.000000\t37.500000\t3\t60\t1\t90\r\n126.900099\t37.999999\t3\t110\t1\t359\r\n"
      "128.5\t35.1\t2\t100\t0\t0\r\n126.950100\t37.389400\t9\t80\t0\t247\r\n"
      "126.980700\t37.416300\t1\t70\t1\t15\r\n127.0002\t37.0002\t4\t30\t1\t0\r\n";
  std::string fault;
  const auto db = testing::EncodeText(text, fault);
  ASSERT_TRUE(db) << fault;
  for (const char* format : {"tsv", "csv", "geojson", "gpx", "kml"}) {
    SCOPED_TRACE(format);
    MemoryFileSystem fs;
    ImportOptions options;
    options.inputs = {std::string("cameras.") + format};
    fs.SetFile(options.inputs[0], testing::Exported(*db, *ParseExportFormat(format)));
    // A CSV has no place for the version line.
    if (format == std::string_view("csv")) options.version_line = kVersion;
    const Outcome got = Import(fs, options);
    ASSERT_EQ(got.result.outcome, ImportOutcome::kDone)
        << FailureText(got.result.failure) << got.problems;
    const auto again = testing::EncodeText(got.text, fault);
    ASSERT_TRUE(again) << fault;
    EXPECT_EQ(*again, *db);
  }
}

}  // namespace
}  // namespace korvel
