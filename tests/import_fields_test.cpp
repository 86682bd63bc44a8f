// Import's field names: lists as other tools write them, the fields each
// keeps, the note on the names, --field and --values.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "exchange/camera_input.h"
#include "exchange/export.h"
#include "exchange/formats/field_map.h"
#include "exchange/import/import.h"
#include "generate/pipeline.h"
#include "platform/system.h"
#include "support/camera_text.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

constexpr char kHead[] = "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n";

struct Case {
  const char* name;
  const char* file;  ///< its name tells the format
  std::string input;
  std::vector<std::string> fields, values;  ///< --field and --values
  std::string rows;                         ///< the rows written after kHead
  std::string problems;                     ///< "FILE...: kind: message" lines
  std::string failure = {};                 ///< why nothing is written, from FILE on
};

/// Imports each case's input from an in-memory file system and compares.
void RunTable(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::MemoryFileSystem fs;
    fs.SetFile(c.file, c.input);
    ImportOptions options;
    options.inputs = {c.file};
    options.version_line = "V1.0 123456 test";
    std::string failure;
    for (const std::string& field : c.fields) {
      ASSERT_TRUE(ParseFieldOption(field, options.fields, failure)) << failure;
    }
    for (const std::string& values : c.values) {
      ASSERT_TRUE(ParseValuesOption(values, options.fields, failure)) << failure;
    }
    std::string problems;
    const ImportResult result = RunImport(options, fs, [&](const std::string& line) {
      problems += line.substr(line.find(c.file)) + "\n";
    });
    EXPECT_EQ(problems, c.problems);
    const std::string failed = FailureText(result.failure);
    if (!c.failure.empty()) {
      // A usage error names its option first.
      const bool usage = result.outcome == ImportOutcome::kUsage;
      EXPECT_EQ(failed.substr(usage ? 0 : std::min(failed.find(c.file), failed.size())), c.failure);
      continue;
    }
    std::ostringstream text;
    WriteImportText(result, text);
    EXPECT_EQ(text.str(), kHead + c.rows) << failed;
  }
}

TEST(ImportFields, ListsAsOtherToolsWriteThem) {
  RunTable({
      {"a list taken from OpenStreetMap: directions tell two cameras apart",
       "uz.csv",
       "id,osm_node_id,latitude,longitude,speed_limit,camera_type,compass_direction,"
       "road_direction,source\n"
       "1,2401930621,41.3110,69.2797,60,maxspeed,90,forward,osm\n"
       "2,2401930622,41.3110,69.2797,60,maxspeed,270,backward,osm\n"
       "3,5531047411,40.1012,65.3721,,maxspeed,,both,osm\n",
       {},
       {},
       "69.2797\t41.3110\t1\t60\t1\t90\r\n69.2797\t41.3110\t1\t60\t1\t270\r\n"
       "65.3721\t40.1012\t1\t0\t0\t0\r\n",
       "uz.csv: note: X from \"longitude\", Y from \"latitude\", SPEED from \"speed_limit\", "
       "DIRECTION from \"compass_direction\"; not used: id, osm_node_id, camera_type, "
       "road_direction, source (--field FIELD=NAME takes one)\n"
       "uz.csv: warning: no TYPE: all 3 cameras take TYPE 1 (--type N or --field TYPE=NAME)\n"},
      {"the Korean open-data list in CP949, TYPE by --values",
       "kr.csv",
       // 무인교통단속카메라관리번호,시도명,도로노선방향,위도,경도,단속구분,제한속도
       "\xB9\xAB\xC0\xCE\xB1\xB3\xC5\xEB\xB4\xDC\xBC\xD3\xC4\xAB\xB8\xDE\xB6\xF3\xB0\xFC\xB8\xAE"
       "\xB9\xF8\xC8\xA3,\xBD\xC3\xB5\xB5\xB8\xED,\xB5\xB5\xB7\xCE\xB3\xEB\xBC\xB1\xB9\xE6\xC7\xE2,"
       "\xC0\xA7\xB5\xB5,\xB0\xE6\xB5\xB5,\xB4\xDC\xBC\xD3\xB1\xB8\xBA\xD0,"
       "\xC1\xA6\xC7\xD1\xBC\xD3\xB5\xB5\r\n"
       // 과속 (speed), 양방향 (both ways); 신호 (signal), 상행 (up); 기타 (other)
       "A0001,\xBC\xAD\xBF\xEF\xC6\xAF\xBA\xB0\xBD\xC3,\xBE\xE7\xB9\xE6\xC7\xE2,37.5665,126.9780,"
       "\xB0\xFA\xBC\xD3,50\r\n"
       "A0002,\xBC\xAD\xBF\xEF\xC6\xAF\xBA\xB0\xBD\xC3,\xBB\xF3\xC7\xE0,37.5700,126.9820,"
       "\xBD\xC5\xC8\xA3,60\r\n"
       "A0003,\xBC\xAD\xBF\xEF\xC6\xAF\xBA\xB0\xBD\xC3,\xC7\xCF\xC7\xE0,37.5800,126.9900,"
       "\xB1\xE2\xC5\xB8,30\r\n",
       {"TYPE=\xEB\x8B\xA8\xEC\x86\x8D\xEA\xB5\xAC\xEB\xB6\x84"},
       {"TYPE:\xEA\xB3\xBC\xEC\x86\x8D=1,\xEC\x8B\xA0\xED\x98\xB8=2,"
        "\xEA\xB5\xAC\xEA\xB0\x84\xEB\x8B\xA8\xEC\x86\x8D=3"},
       "126.9780\t37.5665\t1\t50\t0\t0\r\n126.9820\t37.5700\t2\t60\t0\t0\r\n",
       "kr.csv: note: X from \"\xEA\xB2\xBD\xEB\x8F\x84\", Y from \"\xEC\x9C\x84\xEB\x8F\x84\", "
       "TYPE from \"\xEB\x8B\xA8\xEC\x86\x8D\xEA\xB5\xAC\xEB\xB6\x84\", SPEED from "
       "\"\xEC\xA0\x9C\xED\x95\x9C\xEC\x86\x8D\xEB\x8F\x84\"; not used: "
       "\xEB\xAC\xB4\xEC\x9D\xB8\xEA\xB5\x90\xED\x86\xB5\xEB\x8B\xA8\xEC\x86\x8D\xEC\xB9\xB4\xEB"
       "\xA9\x94\xEB\x9D\xBC\xEA\xB4\x80\xEB\xA6\xAC\xEB\xB2\x88\xED\x98\xB8, "
       "\xEC\x8B\x9C\xEB\x8F\x84\xEB\xAA\x85, "
       "\xEB\x8F\x84\xEB\xA1\x9C\xEB\x85\xB8\xEC\x84\xA0\xEB\xB0\xA9\xED\x96\xA5 "
       "(--field FIELD=NAME takes one)\n"
       "kr.csv:4: error: TYPE \"\xEA\xB8\xB0\xED\x83\x80\" is not among --values TYPE (give *=N "
       "for the rest); skipped\n"},
      {"a default for unlisted values, a unit after the name",
       "kr.csv",
       "lat,lon,kind,\xEC\xA0\x9C\xED\x95\x9C\xEC\x86\x8D\xEB\x8F\x84(km/h)\n"
       "37.5,127.1,fixed,50\n37.6,127.2,mobile,60\n",
       {"TYPE=Kind"},
       {"TYPE:fixed=2,*=7"},
       "127.1000\t37.5000\t2\t50\t0\t0\r\n127.2000\t37.6000\t7\t60\t0\t0\r\n",
       "kr.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"kind\", SPEED from "
       "\"\xEC\xA0\x9C\xED\x95\x9C\xEC\x86\x8D\xEB\x8F\x84(km/h)\"\n"},
      {"--field replaces the built-in names of its field",
       "a.csv",
       "X,Y,speed,VMAX_KMH,Max Speed\n127.1,37.5,30,80,90\n",
       {"SPEED=vmax_kmh"},
       {},
       "127.1000\t37.5000\t1\t80\t0\t0\r\n",
       "a.csv: note: X from \"X\", Y from \"Y\", SPEED from \"VMAX_KMH\"; not used: speed, Max "
       "Speed (--field FIELD=NAME takes one)\n"
       "a.csv: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n"},
      {"a second column of a field feeds nothing; some rows with TYPE",
       "a.csv",
       "lon,lat,type,speed,maxspeed,sample\n127.1,37.5,2,30,80,no\n127.2,37.5,,40,90,\n"
       "127.3,37.5,,50,90,no\n",
       {},
       {},
       "127.1000\t37.5000\t2\t30\t0\t0\r\n127.2000\t37.5000\t1\t40\t0\t0\r\n"
       "127.3000\t37.5000\t1\t50\t0\t0\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\", SPEED from \"speed\", "
       "SAMPLE from \"sample\"; not used: maxspeed (--field FIELD=NAME takes one)\n"
       "a.csv: warning: no TYPE: 2 of 3 cameras take TYPE 1 (--type N or --field TYPE=NAME)\n"},
      {"My Maps KML: Data names",
       "m.kml",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n  <Document>\n"
       "    <name>Verkehrskameras</name>\n"
       "    <Placemark>\n      <name>Blitzer A9</name>\n      <styleUrl>#icon-1</styleUrl>\n"
       "      <ExtendedData>\n"
       "        <Data name=\"Speed limit\">\n          <value>120</value>\n        </Data>\n"
       "        <Data name=\"Heading\">\n          <value>NE</value>\n        </Data>\n"
       "        <Data name=\"Notes\">\n          <value>fixed</value>\n        </Data>\n"
       "      </ExtendedData>\n"
       "      <Point>\n        <coordinates>\n          11.5820,48.1351,0\n"
       "        </coordinates>\n      </Point>\n    </Placemark>\n  </Document>\n</kml>\n",
       {},
       {},
       "11.5820\t48.1351\t1\t120\t1\t45\r\n",
       "m.kml: note: SPEED from \"Speed limit\", DIRECTION from \"Heading\"; not used: Notes "
       "(--field FIELD=NAME takes one)\n"
       "m.kml: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n"},
      {"ogr2ogr KML: SimpleData, TYPE by --field",
       "o.kml",
       "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
       "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
       "<Document id=\"root_doc\">\n<Schema name=\"cameras\" id=\"cameras\">\n"
       "\t<SimpleField name=\"id\" type=\"int\"></SimpleField>\n"
       "\t<SimpleField name=\"camera_type\" type=\"string\"></SimpleField>\n"
       "\t<SimpleField name=\"speed_limit\" type=\"int\"></SimpleField>\n</Schema>\n"
       "<Folder><name>cameras</name>\n  <Placemark>\n"
       "\t<ExtendedData><SchemaData schemaUrl=\"#cameras\">\n"
       "\t\t<SimpleData name=\"id\">1</SimpleData>\n"
       "\t\t<SimpleData name=\"camera_type\">red_light</SimpleData>\n"
       "\t\t<SimpleData name=\"speed_limit\">50</SimpleData>\n"
       "\t</SchemaData></ExtendedData>\n"
       "      <Point><coordinates>69.2797,41.311</coordinates></Point>\n  </Placemark>\n"
       "</Folder>\n</Document></kml>\n",
       {"TYPE=camera_type"},
       {"TYPE:speed=1,red_light=2"},
       "69.2797\t41.3110\t2\t50\t0\t0\r\n",
       "o.kml: note: TYPE from \"camera_type\", SPEED from \"speed_limit\"; not used: id "
       "(--field FIELD=NAME takes one)\n"},
      {"GPX extension elements by --field; the GPX type element is no TYPE",
       "g.gpx",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<gpx version=\"1.1\" creator=\"GPSBabel - https://www.gpsbabel.org\" "
       "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
       "  <wpt lat=\"48.135100000\" lon=\"11.582000000\">\n    <name>CAM1</name>\n"
       "    <type>Speed Camera</type>\n    <extensions>\n"
       "      <limit>80</limit>\n      <facing>180</facing>\n    </extensions>\n  </wpt>\n"
       "</gpx>\n",
       {"DIRECTION=facing"},
       {},
       "11.5820\t48.1351\t1\t80\t1\t180\r\n",
       "g.gpx: note: SPEED from \"limit\", DIRECTION from \"facing\"\n"
       "g.gpx: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n"},
      {"ogr2ogr GeoJSON: a JSON number through --values",
       "o.geojson",
       "{\n\"type\": \"FeatureCollection\",\n\"name\": \"cameras\",\n\"features\": [\n"
       "{ \"type\": \"Feature\", \"properties\": { \"id\": 1, \"speed_limit\": 60, "
       "\"camera_class\": 4, \"compass_direction\": 350.0 }, \"geometry\": { \"type\": "
       "\"Point\", \"coordinates\": [ 69.2797, 41.311 ] } },\n"
       "{ \"type\": \"Feature\", \"properties\": { \"id\": 2, \"speed_limit\": null, "
       "\"camera_class\": 5, \"compass_direction\": null }, \"geometry\": { \"type\": "
       "\"Point\", \"coordinates\": [ 69.3, 41.4 ] } }\n]\n}\n",
       {"TYPE=camera_class"},
       {"TYPE:4=2"},
       "69.2797\t41.3110\t2\t60\t1\t350\r\n",
       "o.geojson: feature 2: error: TYPE \"5\" is not among --values TYPE (give *=N for the "
       "rest); skipped\n"
       "o.geojson: note: TYPE from \"camera_class\", SPEED from \"speed_limit\", DIRECTION from "
       "\"compass_direction\"; not used: id (--field FIELD=NAME takes one)\n"},
  });
}

TEST(ImportFields, ValuesForAFieldWithoutSource) {
  const std::string gpx =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"GPSBabel - https://www.gpsbabel.org\" "
      "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
      "  <wpt lat=\"48.135100000\" lon=\"11.582000000\">\n    <name>CAM1</name>\n  </wpt>\n"
      "</gpx>\n";
  RunTable({
      {"*=N gives every camera N, and the note says so in place of the warning",
       "uz.csv",
       "id,latitude,longitude,speed_limit\n1,41.3110,69.2797,60\n2,41.4,69.3,\n",
       {},
       {"TYPE:*=2"},
       "69.2797\t41.3110\t2\t60\t0\t0\r\n69.3000\t41.4000\t2\t0\t0\t0\r\n",
       "uz.csv: note: X from \"longitude\", Y from \"latitude\", TYPE from --values TYPE:*=2, "
       "SPEED from \"speed_limit\"; not used: id (--field FIELD=NAME takes one)\n"},
      {"an empty value takes the default too",
       "a.csv",
       "lon,lat,kind\n127.1,37.5,fixed\n127.2,37.6,\n",
       {"TYPE=kind"},
       {"TYPE:fixed=3,*=2"},
       "127.1000\t37.5000\t3\t0\t0\t0\r\n127.2000\t37.6000\t2\t0\t0\t0\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"kind\"\n"},
      {"a direction for every camera is used: DIRTYPE 1",
       "g.gpx",
       gpx,
       {},
       {"SPEED:*=50", "DIRECTION:*=90"},
       "11.5820\t48.1351\t1\t50\t1\t90\r\n",
       "g.gpx: note: SPEED from --values SPEED:*=50, DIRECTION from --values DIRECTION:*=90\n"
       "g.gpx: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n"},
      {"a --field name that is not there: the default, named",
       "a.csv",
       "lon,lat\n127.1,37.5\n",
       {"TYPE=kind"},
       {"TYPE:*=4"},
       "127.1000\t37.5000\t4\t0\t0\t0\r\n",
       "a.csv: note: X from \"lon\", Y from \"lat\", TYPE from --values TYPE:*=4\n"},
      {"values to map without their source: a usage error",
       "uz.csv",
       "latitude,longitude,type\n41.3110,69.2797,1\n",
       {},
       {"SPEED:fast=90"},
       "",
       "",
       "--values SPEED: uz.csv has no SPEED to map: name its source with --field SPEED=NAME, or "
       "give SPEED:*=N for every camera"},
  });
}

TEST(ImportFields, PositionByNameWhereAGeometryGivesIt) {
  RunTable({
      {"GeoJSON of a table: no geometry, the position in properties",
       "t.geojson",
       "{\n\"type\": \"FeatureCollection\",\n\"name\": \"blitzer\",\n\"features\": [\n"
       "{ \"type\": \"Feature\", \"properties\": { \"lon_wgs84\": 127.1, \"lat_wgs84\": \"37.5\", "
       "\"speed\": 60 }, \"geometry\": null },\n"
       "{ \"type\": \"Feature\", \"properties\": { \"lon_wgs84\": 127.2, \"lat_wgs84\": null }, "
       "\"geometry\": null },\n"
       "{ \"type\": \"Feature\", \"properties\": { \"lon_wgs84\": \"east\", \"lat_wgs84\": 37.6 }, "
       "\"geometry\": { \"type\": \"Point\", \"coordinates\": [ 127.3, 37.6 ] } },\n"
       "{ \"type\": \"Feature\", \"properties\": { \"lon_wgs84\": 127.4, \"lat_wgs84\": 37.7 }, "
       "\"geometry\": { \"type\": \"Point\", \"coordinates\": [ 1, 2 ] } }\n]\n}\n",
       {"X=lon_wgs84", "Y=lat_wgs84"},
       {"TYPE:*=1"},
       "127.1000\t37.5000\t1\t60\t0\t0\r\n127.4000\t37.7000\t1\t0\t0\t0\r\n",
       "t.geojson: feature 2: error: no \"lat_wgs84\" for Y; skipped\n"
       "t.geojson: feature 3: error: X \"east\" from \"lon_wgs84\" is not a number; skipped\n"
       "t.geojson: note: X from \"lon_wgs84\", Y from \"lat_wgs84\", TYPE from --values "
       "TYPE:*=1, SPEED from \"speed\"\n"},
      {"GeoJSON: one axis by name, the other from the geometry",
       "p.geojson",
       "{\"type\":\"FeatureCollection\",\"features\":[\n"
       "{\"type\":\"Feature\",\"properties\":{\"y_corr\":37.55,\"type\":2},"
       "\"geometry\":{\"type\":\"Point\",\"coordinates\":[127.1,37.5]}},\n"
       "{\"type\":\"Feature\",\"properties\":{\"type\":2},"
       "\"geometry\":{\"type\":\"Point\",\"coordinates\":[127.2,37.6]}}]}\n",
       {"Y=y_corr"},
       {},
       "127.1000\t37.5500\t2\t0\t0\t0\r\n",
       "p.geojson: feature 2: error: no \"y_corr\" for Y; skipped\n"
       "p.geojson: note: Y from \"y_corr\", TYPE from \"type\"\n"},
      {"KML Data names give the position; a Placemark needs no Point then",
       "m.kml",
       "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><name>Blitzer</name>\n"
       "<Placemark><name>A1</name><ExtendedData><Data name=\"Laengengrad\"><value>13.4050"
       "</value></Data><Data name=\"Breitengrad\"><value>52.5200</value></Data></ExtendedData>"
       "</Placemark>\n<Placemark><name>A2</name><ExtendedData><Data name=\"Laengengrad\">"
       "<value>13.5</value></Data><Data name=\"Breitengrad\"><value></value></Data>"
       "</ExtendedData><Point><coordinates>13.5,52.6,0</coordinates></Point></Placemark>\n"
       "</Document></kml>\n",
       {"X=Laengengrad", "Y=Breitengrad"},
       {},
       "13.4050\t52.5200\t1\t0\t0\t0\r\n",
       "m.kml:3: error: no \"Breitengrad\" for Y; skipped\n"
       "m.kml: note: X from \"Laengengrad\", Y from \"Breitengrad\"\n"
       "m.kml: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n"},
      {"GPX: the longitude from an extension element",
       "g.gpx",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<gpx version=\"1.1\" creator=\"OsmAnd\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
       "  <wpt lat=\"48.1351\" lon=\"0\">\n    <name>CAM1</name>\n    <extensions>\n"
       "      <lon_deg>11.582</lon_deg>\n    </extensions>\n  </wpt>\n</gpx>\n",
       {"X=lon_deg"},
       {"TYPE:*=3"},
       "11.5820\t48.1351\t3\t0\t0\t0\r\n",
       "g.gpx: note: X from \"lon_deg\", TYPE from --values TYPE:*=3\n"},
  });
}

TEST(ImportFields, ShapesOfTheSameData) {
  const std::string mercator =
      "{\n\"type\": \"FeatureCollection\",\n\"name\": \"cameras\",\n\"crs\": { \"type\": "
      "\"name\", \"properties\": { \"name\": \"urn:ogc:def:crs:EPSG::3857\" } },\n"
      "\"features\": [\n{ \"type\": \"Feature\", \"properties\": { \"speed\": 60 }, "
      "\"geometry\": { \"type\": \"Point\", \"coordinates\": [ 14137575.330745745, "
      "4509031.393076654 ] } }\n]\n}\n";
  const auto with_crs = [&](const std::string& name) {
    std::string text = mercator;
    text.replace(text.find("urn:ogc:def:crs:EPSG::3857"), 26, name);
    return text;
  };
  // The crs as a member after the features: the features are read before it.
  const auto crs_last = [](const std::string& name) {
    return "{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\","
           "\"properties\":{\"speed\":60},\"geometry\":{\"type\":\"Point\","
           "\"coordinates\":[127.0,37.5]}}],\"crs\":{\"type\":\"name\",\"properties\":"
           "{\"name\":\"" +
           name + "\"}}}\n";
  };
  RunTable({
      {"EPSG:3857 after the features is refused: they were read as degrees",
       "late.geojson",
       crs_last("EPSG:3857"),
       {},
       {},
       "",
       "late.geojson: warning: no TYPE: the camera takes TYPE 1 (--type N or --field "
       "TYPE=NAME)\n",
       "late.geojson: the crs \"EPSG:3857\" comes after the features, which it must precede (as "
       "ogr2ogr writes it)"},
      {"CRS84 after the features changes nothing",
       "late.geojson",
       crs_last("urn:ogc:def:crs:OGC:1.3:CRS84"),
       {},
       {"TYPE:*=1"},
       "127.0000\t37.5000\t1\t60\t0\t0\r\n",
       "late.geojson: note: TYPE from --values TYPE:*=1, SPEED from \"speed\"\n"},
      {"ogr2ogr CSV with GEOMETRY=AS_WKT",
       "w.csv",
       "WKT,id,speed_limit,compass_direction\n\"POINT (69.2797 41.311)\",1,60,90\n"
       "\"POINT Z (69.3 41.4 455)\",2,,\n\"LINESTRING (69 41,70 42)\",3,,\n\"POINT EMPTY\",4,,\n",
       {},
       {"TYPE:*=2"},
       "69.2797\t41.3110\t2\t60\t1\t90\r\n69.3000\t41.4000\t2\t0\t0\t0\r\n",
       "w.csv: note: TYPE from --values TYPE:*=2, SPEED from \"speed_limit\", DIRECTION from "
       "\"compass_direction\", WKT from \"WKT\"; not used: id (--field FIELD=NAME takes one)\n"
       "w.csv:4: error: WKT \"LINESTRING (69 41,70 42)\" is not a POINT (lon lat); skipped\n"
       "w.csv:5: error: WKT \"POINT EMPTY\" is not a POINT (lon lat); skipped\n"},
      {"ogr2ogr CSV with GEOMETRY=AS_XY, QGIS's wkt_geom beside it",
       "xy.csv",
       "X,Y,wkt_geom,maxspeed\n69.2797,41.311,Point (69.2797 41.311),60\n",
       {"TYPE=maxspeed"},
       {},
       "69.2797\t41.3110\t60\t0\t0\t0\r\n",
       "xy.csv: note: X from \"X\", Y from \"Y\", TYPE from \"maxspeed\", WKT from \"wkt_geom\"\n"},
      {"a JSON array of records by the CSV names",
       "r.json",
       "[\n  {\"id\": 1, \"latitude\": 41.311, \"longitude\": 69.2797, \"speed_limit\": \"60\", "
       "\"type\": 2, \"sample\": false},\n  {\"id\": 2, \"latitude\": \"41.4\", \"longitude\": "
       "69.3, \"speed_limit\": null, \"type\": 3, \"heading\": 270},\n  {\"id\": 3, "
       "\"longitude\": 69.4, \"type\": 1}\n]\n",
       {},
       {},
       "69.2797\t41.3110\t2\t60\t0\t0\r\n69.3000\t41.4000\t3\t0\t1\t270\r\n",
       "r.json: feature 3: error: latitude Y missing or unreadable; skipped\n"
       "r.json: note: X from \"longitude\", Y from \"latitude\", TYPE from \"type\", SPEED from "
       "\"speed_limit\", DIRECTION from \"heading\", SAMPLE from \"sample\"; not used: id "
       "(--field FIELD=NAME takes one)\n"},
      {"GeoJSON in EPSG:3857, as ogr2ogr writes it",
       "m.geojson",
       mercator,
       {},
       {},
       "127.0000\t37.5000\t1\t60\t0\t0\r\n",
       "m.geojson: note: SPEED from \"speed\"\n"
       "m.geojson: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n"},
      {"an old name of EPSG:3857",
       "m.geojson",
       with_crs("EPSG:900913"),
       {},
       {},
       "127.0000\t37.5000\t1\t60\t0\t0\r\n",
       "m.geojson: note: SPEED from \"speed\"\n"
       "m.geojson: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n"},
      {"another crs is refused",
       "m.geojson",
       with_crs("urn:ogc:def:crs:EPSG::2154"),
       {},
       {},
       "",
       "",
       "m.geojson: the crs \"urn:ogc:def:crs:EPSG::2154\" is neither WGS84 degrees nor EPSG:3857 "
       "(ogr2ogr -t_srs EPSG:4326 converts it)"},
      {"ESRI's number of EPSG:3857",
       "m.geojson",
       with_crs("ESRI:102100"),
       {},
       {},
       "127.0000\t37.5000\t1\t60\t0\t0\r\n",
       "m.geojson: note: SPEED from \"speed\"\n"
       "m.geojson: warning: no TYPE: the camera takes TYPE 1 (--type N or --field TYPE=NAME)\n"},
      {"degrees on another datum are refused",
       "m.geojson",
       with_crs("urn:ogc:def:crs:OGC:1.3:CRS83"),
       {},
       {},
       "",
       "",
       "m.geojson: the crs \"urn:ogc:def:crs:OGC:1.3:CRS83\" is neither WGS84 degrees nor "
       "EPSG:3857 (ogr2ogr -t_srs EPSG:4326 converts it)"},
  });
}

TEST(ExportCsv, RowsByTheImportNamesWithTheSampleRowsMarked) {
  const std::string text = std::string(kHead) +
                           "127.000000\t37.500000\t3\t60\t1\t90\r\n"
                           "126.950100\t37.389400\t9\t80\t0\t247\r\n";
  std::string fault;
  const auto db = testing::EncodeText(text, fault);
  ASSERT_TRUE(db) << fault;
  // In the database's order (by cell); the two sample rows generate appended
  // marked, the text's own row at the same place not.
  EXPECT_EQ(testing::Exported(*db, ExportFormat::kCsv),
            "x,y,type,speed,dirtype,direction,sample\r\n"
            "126.9501,37.3894,9,80,0,247,false\r\n"
            "126.9501,37.3894,5,80,0,247,true\r\n"
            "126.9807,37.4163,1,70,1,15,true\r\n"
            "127,37.5,3,60,1,90,false\r\n");
}

TEST(ImportFields, NamesMatchWithoutCaseSeparatorsOrUnit) {
  const struct {
    const char* name;
    Column column;
  } cases[] = {
      {" Max_Speed ", Column::kSpeed},
      {"speed-limit", Column::kSpeed},
      {"\xEC\xA0\x9C\xED\x95\x9C\xEC\x86\x8D\xEB\x8F\x84(km/h)", Column::kSpeed},
      {"SPEED (km/h)", Column::kSpeed},
      {"Camera:Direction", Column::kDirection},
      {"Compass Direction", Column::kDirection},
      {"road_direction", Column::kNone},
      {"\xEB\x8F\x84\xEB\xA1\x9C\xEB\x85\xB8\xEC\x84\xA0\xEB\xB0\xA9\xED\x96\xA5", Column::kNone},
      {"(speed)", Column::kNone},  // no name before the parentheses
      {"speedy", Column::kNone},
      {"camera_type", Column::kNone},
      {"LONG", Column::kX},
      {"\xEC\x9C\x84\xEB\x8F\x84", Column::kY},
  };
  for (const auto& c : cases) EXPECT_EQ(BuiltInColumn(c.name), c.column) << c.name;
  for (const char* yes : {"true", " TRUE ", "Yes", "1"}) EXPECT_TRUE(ReadSample(yes)) << yes;
  for (const char* no : {"", "false", "0", "no", "2", "truth"}) EXPECT_FALSE(ReadSample(no)) << no;
}

TEST(ImportFields, OptionsRefusedWithTheirReason) {
  const struct {
    bool field;  ///< --field, else --values
    const char* text;
    const char* failure;  ///< empty: taken
  } cases[] = {
      {true, "speed=vmax", ""},
      {true, "SPEED", "--field \"SPEED\": FIELD=NAME expected"},
      {true, "CELL=id",
       "--field \"CELL=id\": CELL is no field (X, Y, TYPE, SPEED, DIRTYPE, "
       "DIRECTION, SAMPLE or WKT)"},
      {true, "TYPE= _ ", "--field \"TYPE= _ \": a name expected after ="},
      {true, "TYPE=V-max", "--field \"TYPE=V-max\": \"V-max\" is given for SPEED"},
      {false, "TYPE:a=1,b=255,*=0", ""},
      {false, "DIRECTION:n=0,s=359", ""},
      {false, "TYPE a=1", "--values \"TYPE a=1\": FIELD:FROM=TO,... expected"},
      {false, "X:a=1", "--values \"X:a=1\": values map TYPE, SPEED, DIRTYPE or DIRECTION only"},
      {false, "SPEED:fast", "--values \"SPEED:fast\": \"fast\" is not FROM=TO"},
      {false, "SPEED:=5", "--values \"SPEED:=5\": \"=5\" is not FROM=TO"},
      {false, "SPEED:a=b", "--values \"SPEED:a=b\": \"b\" is not a whole number"},
      {false, "SPEED:a=-1", "--values \"SPEED:a=-1\": \"-1\" is not a whole number"},
      {false, "SPEED:a=256", "--values \"SPEED:a=256\": SPEED 256 is outside 0 to 255"},
      {false, "DIRECTION:a=360", "--values \"DIRECTION:a=360\": DIRECTION 360 is outside 0 to 359"},
      {false, "TYPE:c=1,*=2,*=3", "--values \"TYPE:c=1,*=2,*=3\": \"*\" is given twice"},
      {false, "TYPE:a=4", "--values \"TYPE:a=4\": \"a\" is given twice"},
  };
  FieldRules rules;
  for (const auto& c : cases) {
    std::string failure;
    const bool taken = c.field ? ParseFieldOption(c.text, rules, failure)
                               : ParseValuesOption(c.text, rules, failure);
    EXPECT_EQ(taken, failure.empty()) << c.text;
    EXPECT_EQ(failure, c.failure) << c.text;
  }
  // What was taken: in the order given, the values of one field merged.
  EXPECT_EQ(rules.names[static_cast<int>(Column::kSpeed)], std::vector<std::string>{"vmax"});
  const auto& type = *rules.values[static_cast<int>(Column::kType)];
  EXPECT_EQ(type.values.size(), 2u);
  EXPECT_EQ(type.otherwise, 0);
  EXPECT_EQ(rules.values[static_cast<int>(Column::kDirection)]->values.back().second, 359);
}

}  // namespace
}  // namespace korvel
