// One OpenStreetMap data set by every path import reads it: OSM XML, an
// Overpass API answer, GeoJSON as osmium export writes it and GeoJSON as
// GDAL writes OSM (other_tags). Each must give the same camera text.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "exchange/formats/field_map.h"
#include "exchange/import/import.h"
#include "platform/system.h"
#include "support/memory_file_system.h"

// The Windows build reads OpenStreetMap PBF but no OSM XML.
#if defined(KORVEL_HAVE_OSMIUM) && !defined(_WIN32)
#define KORVEL_READS_OSM_XML
#endif

namespace korvel {
namespace {

/// The text `input`, written as `file`, gives; its problems in `problems`.
/// The text ends in a remark when the import did not take it as OSM data.
std::string ImportOne(const std::string& file, const std::string& input, std::string& problems,
                      const FieldRules& fields = FieldRules()) {
  testing::MemoryFileSystem fs;
  fs.SetFile(file, input);
  ImportOptions options;
  options.inputs = {file};
  options.version_line = "V1.0 123456 test";
  options.fields = fields;
  problems.clear();
  const ImportResult result = RunImport(options, fs, [&](const std::string& line) {
    problems += line.substr(line.find(file)) + "\n";
  });
  std::ostringstream text;
  WriteImportText(result, text);
  // Every path is OpenStreetMap data, under its licence.
  const std::string failed = result.failure.message.empty() ? "" : FailureText(result.failure);
  return failed + text.str() + (result.used_osm ? "" : " (not taken as OSM data)");
}

// Node 1: -30 degrees and mph; node 2: maxspeed:forward and camera:direction;
// 3 and 4 are no speed cameras; 5 is deleted; 6 faces along its way.
const std::string kXml =
    "<?xml version='1.0' encoding='UTF-8'?>\n"
    "<osm version=\"0.6\" generator=\"JOSM\">\n"
    "  <node id='1' visible='true' version='3' lat='41.311' lon='69.2797'>\n"
    "    <tag k='highway' v='speed_camera' />\n    <tag k='maxspeed' v='50 mph' />\n"
    "    <tag k='direction' v='-30' />\n  </node>\n"
    "  <node id='2' visible='true' version='1' lat='41.32' lon='69.29'>\n"
    "    <tag k='camera:direction' v='NE' />\n    <tag k='highway' v='speed_camera' />\n"
    "    <tag k='maxspeed:forward' v='70' />\n  </node>\n"
    "  <node id='3' visible='true' version='1' lat='41.33' lon='69.30'>\n"
    "    <tag k='highway' v='traffic_signals' />\n  </node>\n"
    "  <node id='4' visible='true' version='1' lat='41.335' lon='69.305'>\n"
    "    <tag k='man_made' v='surveillance' />\n    <tag k='surveillance:type' v='camera' />\n"
    "  </node>\n"
    "  <node id='5' action='delete' visible='false' version='2' lat='41.336' lon='69.306'>\n"
    "    <tag k='highway' v='speed_camera' />\n  </node>\n"
    "  <node id='6' visible='true' version='1' lat='41.34' lon='69.31'>\n"
    "    <tag k='highway' v='speed_camera' />\n    <tag k='maxspeed' v='30' />\n"
    "    <tag k='direction' v='forward' />\n  </node>\n"
    "</osm>\n";

const std::string kOverpass = R"({
  "version": 0.6,
  "generator": "Overpass API 0.7.62.1 084b4234",
  "osm3s": {"timestamp_osm_base": "2024-06-01T10:00:00Z"},
  "elements": [
{"type": "node", "id": 1, "lat": 41.3110000, "lon": 69.2797000,
 "tags": {"direction": "-30", "highway": "speed_camera", "maxspeed": "50 mph"}},
{"type": "node", "id": 2, "lat": 41.3200000, "lon": 69.2900000,
 "tags": {"camera:direction": "NE", "highway": "speed_camera", "maxspeed:forward": "70"}},
{"type": "node", "id": 3, "lat": 41.3300000, "lon": 69.3000000,
 "tags": {"highway": "traffic_signals"}},
{"type": "node", "id": 4, "lat": 41.3350000, "lon": 69.3050000,
 "tags": {"man_made": "surveillance", "surveillance:type": "camera"}},
{"type": "node", "id": 5, "lat": 41.3360000, "lon": 69.3060000, "visible": false,
 "tags": {"highway": "speed_camera"}},
{"type": "node", "id": 6, "lat": 41.3400000, "lon": 69.3100000,
 "tags": {"direction": "forward", "highway": "speed_camera", "maxspeed": "30"}}
  ]
}
)";

// osmium export: the tags as properties, one feature per line.
const std::string kOsmiumGeoJson =
    "{\"type\":\"FeatureCollection\",\"features\":[\n"
    "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[69.2797,41.311]},"
    "\"properties\":{\"direction\":\"-30\",\"highway\":\"speed_camera\",\"maxspeed\":\"50 "
    "mph\"}},\n"
    "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[69.29,41.32]},"
    "\"properties\":{\"camera:direction\":\"NE\",\"highway\":\"speed_camera\","
    "\"maxspeed:forward\":\"70\"}},\n"
    "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[69.3,41.33]},"
    "\"properties\":{\"highway\":\"traffic_signals\"}},\n"
    "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[69.305,41.335]},"
    "\"properties\":{\"man_made\":\"surveillance\",\"surveillance:type\":\"camera\"}},\n"
    "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[69.31,41.34]},"
    "\"properties\":{\"direction\":\"forward\",\"highway\":\"speed_camera\",\"maxspeed\":"
    "\"30\"}}\n"
    "]}\n";

// ogr2ogr -f GeoJSON of the points layer: osmconf.ini's columns, the rest in
// other_tags.
std::string GdalFeature(const char* id, const char* highway, const char* man_made,
                        const char* other_tags, const char* coordinates) {
  return std::string("{ \"type\": \"Feature\", \"properties\": { \"osm_id\": \"") + id +
         "\", \"name\": null, \"barrier\": null, \"highway\": " + highway +
         ", \"ref\": null, \"address\": null, \"is_in\": null, \"place\": null, \"man_made\": " +
         man_made + ", \"other_tags\": " + other_tags +
         " }, \"geometry\": { \"type\": \"Point\", \"coordinates\": [ " + coordinates + " ] } }";
}

const std::string kGdalGeoJson =
    "{\n\"type\": \"FeatureCollection\",\n\"name\": \"points\",\n"
    "\"crs\": { \"type\": \"name\", \"properties\": { \"name\": "
    "\"urn:ogc:def:crs:OGC:1.3:CRS84\" } },\n\"features\": [\n" +
    GdalFeature("1", "\"speed_camera\"", "null",
                R"("\"direction\"=>\"-30\",\"maxspeed\"=>\"50 mph\"")", "69.2797, 41.311") +
    ",\n" +
    GdalFeature("2", "\"speed_camera\"", "null",
                R"("\"camera:direction\"=>\"NE\",\"maxspeed:forward\"=>\"70\"")", "69.29, 41.32") +
    ",\n" + GdalFeature("3", "\"traffic_signals\"", "null", "null", "69.3, 41.33") + ",\n" +
    GdalFeature("4", "null", "\"surveillance\"", R"("\"surveillance:type\"=>\"camera\"")",
                "69.305, 41.335") +
    ",\n" +
    GdalFeature("6", "\"speed_camera\"", "null",
                R"("\"direction\"=>\"forward\",\"maxspeed\"=>\"30\"")", "69.31, 41.34") +
    "\n]\n}\n";

constexpr char kCameras[] =
    "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n"
    "69.2797\t41.3110\t1\t80\t1\t330\r\n"
    "69.2900\t41.3200\t1\t70\t1\t45\r\n"
    "69.3100\t41.3400\t1\t30\t0\t0\r\n";

TEST(ImportOsm, EveryPathGivesTheSameCameras) {
  const struct {
    const char* file;
    const std::string& input;
    std::string problems;
  } paths[] = {
#ifdef KORVEL_READS_OSM_XML
      {"cameras.osm", kXml,
       "cameras.osm: node 1: warning: direction \"-30\" is outside 0 to 359: taken as 330\n"
       "cameras.osm: node 6: warning: direction \"forward\" points along a way, which a node "
       "has not: DIRTYPE 0\n"},
#endif
      {"overpass.json", kOverpass,
       "overpass.json: node 1: warning: direction \"-30\" is outside 0 to 359: taken as 330\n"
       "overpass.json: node 6: warning: direction \"forward\" points along a way, which a node "
       "has not: DIRTYPE 0\n"},
      {"osmium.geojson", kOsmiumGeoJson,
       "osmium.geojson: feature 1: warning: direction \"-30\" is outside 0 to 359: taken as 330\n"
       "osmium.geojson: feature 5: warning: direction \"forward\" points along a way, which a "
       "node has not: DIRTYPE 0\n"
       "osmium.geojson: note: 2 features with OpenStreetMap tags but no highway=speed_camera "
       "left out\n"},
      {"gdal.geojson", kGdalGeoJson,
       "gdal.geojson: feature 1: warning: direction \"-30\" is outside 0 to 359: taken as 330\n"
       "gdal.geojson: feature 5: warning: direction \"forward\" points along a way, which a "
       "node has not: DIRTYPE 0\n"
       "gdal.geojson: note: 2 features with OpenStreetMap tags but no highway=speed_camera "
       "left out\n"},
  };
  for (const auto& path : paths) {
    SCOPED_TRACE(path.file);
    std::string problems;
    EXPECT_EQ(ImportOne(path.file, path.input, problems), kCameras);
    EXPECT_EQ(problems, path.problems);
  }
}

// What no tag can honour is refused by every path; --values TYPE:*=N gives
// the cameras that no tag gives a TYPE.
TEST(ImportOsm, OptionsWithoutATag) {
  const struct {
    std::vector<std::string> fields, values;
    std::string text;  ///< from FILE on for a failure
  } cases[] = {
      {{},
       {"TYPE:*=2"},
       "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n"
       "69.2797\t41.3110\t2\t80\t1\t330\r\n69.2900\t41.3200\t2\t70\t1\t45\r\n"
       "69.3100\t41.3400\t2\t30\t0\t0\r\n"},
      {{},
       {"TYPE:fixed=3"},
       "FILE has no TYPE to map: name its source with --field TYPE=NAME, or give TYPE:*=N for "
       "every camera"},
      {{"X=lon"},
       {},
       "FILE holds OpenStreetMap data, whose nodes give the positions: --field X and Y name no "
       "tag"},
      {{"Y=geo:lat"},
       {},
       "FILE holds OpenStreetMap data, whose nodes give the positions: --field X and Y name no "
       "tag"},
      {{},
       {"DIRECTION:*=90"},
       "FILE holds OpenStreetMap data, whose values --values maps for TYPE only"},
  };
  const struct {
    const char* file;
    const std::string& input;
  } paths[] = {
#ifdef KORVEL_READS_OSM_XML
      {"cameras.osm", kXml},
#endif
      {"overpass.json", kOverpass},
      {"osmium.geojson", kOsmiumGeoJson},
  };
  for (const auto& c : cases) {
    FieldRules rules;
    std::string wrong;
    for (const std::string& field : c.fields) ASSERT_TRUE(ParseFieldOption(field, rules, wrong));
    for (const std::string& values : c.values) ASSERT_TRUE(ParseValuesOption(values, rules, wrong));
    for (const auto& path : paths) {
      SCOPED_TRACE(path.file);
      std::string problems, text = ImportOne(path.file, path.input, problems, rules);
      if (const std::size_t at = text.find(path.file); at != std::string::npos) {
        text.replace(at, std::string(path.file).size(), "FILE");
        text = text.substr(text.find(": ") + 2);
      }
      // Nothing written: the licence note is not due either.
      const bool failed = !c.text.starts_with("V1.0");
      EXPECT_EQ(failed ? text.substr(0, text.find('\r')) : text, c.text);
      EXPECT_EQ(text.ends_with(" (not taken as OSM data)"), failed);
    }
  }
}

// Enforcement relations, given after the nodes as every OSM writer gives
// them: the relation's maxspeed for a device without one, the bearing from its
// `from` node, and a device that has no highway tag.
TEST(ImportOsm, EnforcementRelationsByXmlAndOverpass) {
  const std::string xml =
      "<osm version='0.6' generator='Overpass API'>\n"
      "  <node id='11' lat='41.3' lon='69.2'><tag k='highway' v='speed_camera'/></node>\n"
      "  <node id='12' lat='41.299' lon='69.2'/>\n"
      "  <node id='13' lat='41.4' lon='69.3'><tag k='maxspeed' v='40'/></node>\n"
      "  <relation id='7'>\n    <member type='node' ref='11' role='device'/>\n"
      "    <member type='node' ref='12' role='from'/>\n"
      "    <member type='way' ref='100' role='to'/>\n"
      "    <tag k='enforcement' v='maxspeed'/><tag k='maxspeed' v='60'/>\n"
      "    <tag k='type' v='enforcement'/>\n  </relation>\n"
      "  <relation id='8'>\n    <member type='node' ref='13' role='device'/>\n"
      "    <tag k='type' v='enforcement'/>\n  </relation>\n"
      "  <relation id='9'>\n    <member type='node' ref='12' role='device'/>\n"
      "    <tag k='type' v='route'/>\n  </relation>\n"
      "</osm>\n";
  const std::string overpass =
      R"({"version":0.6,"generator":"Overpass API","elements":[
{"type":"node","id":11,"lat":41.3,"lon":69.2,"tags":{"highway":"speed_camera"}},
{"type":"node","id":12,"lat":41.299,"lon":69.2},
{"type":"node","id":13,"lat":41.4,"lon":69.3,"tags":{"maxspeed":"40"}},
{"type":"relation","id":7,"members":[{"type":"node","ref":11,"role":"device"},
 {"type":"node","ref":12,"role":"from"},{"type":"way","ref":100,"role":"to"}],
 "tags":{"enforcement":"maxspeed","maxspeed":"60","type":"enforcement"}},
{"type":"relation","id":8,"members":[{"type":"node","ref":13,"role":"device"}],
 "tags":{"type":"enforcement"}},
{"type":"relation","id":9,"members":[{"type":"node","ref":12,"role":"device"}],
 "tags":{"type":"route"}}]})";
  // Node 12 lies due south of 11: a bearing of 0.
  const std::string cameras =
      "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n"
      "69.2000\t41.3000\t1\t60\t1\t0\r\n69.3000\t41.4000\t1\t40\t0\t0\r\n";
  std::string problems;
#ifdef KORVEL_READS_OSM_XML
  EXPECT_EQ(ImportOne("cameras.osm", xml, problems), cameras);
  EXPECT_EQ(problems, "");
#endif
  EXPECT_EQ(ImportOne("overpass.json", overpass, problems), cameras);
  EXPECT_EQ(problems, "");
}

// --field names other tags, --values maps the TYPE tag's values.
TEST(ImportOsm, FieldsByOtherTags) {
  const std::string overpass = R"({"version":0.6,"elements":[
{"type":"node","id":21,"lat":41.3,"lon":69.2,
 "tags":{"highway":"speed_camera","maxspeed":"60","maxspeed:hgv":"50","camera:type":"fixed"}},
{"type":"node","id":22,"lat":41.4,"lon":69.3,
 "tags":{"highway":"speed_camera","maxspeed":"70","camera:type":"mobile","bearing":"45"}},
{"type":"node","id":23,"lat":41.5,"lon":69.4,
 "tags":{"highway":"speed_camera","camera:type":"dummy","direction":"90"}}]})";
  FieldRules fields;
  std::string wrong;
  for (const char* field : {"SPEED=maxspeed:hgv", "TYPE=camera:type", "DIRECTION=bearing"}) {
    ASSERT_TRUE(ParseFieldOption(field, fields, wrong)) << wrong;
  }
  ASSERT_TRUE(ParseValuesOption("TYPE:fixed=1,mobile=3", fields, wrong)) << wrong;
  std::string problems;
  EXPECT_EQ(ImportOne("overpass.json", overpass, problems, fields),
            "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n"
            "69.2000\t41.3000\t1\t50\t0\t0\r\n69.3000\t41.4000\t3\t0\t1\t45\r\n");
  EXPECT_EQ(problems,
            "overpass.json: node 23: error: TYPE \"dummy\" is not among --values TYPE (give *=N "
            "for the rest); skipped\n");
}

}  // namespace
}  // namespace korvel
