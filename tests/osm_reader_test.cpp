#include "exchange/formats/osm_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/real_file_system.h"
#include "support/memory_file_system.h"

#ifdef KORVEL_HAVE_OSMIUM
#include <unistd.h>
#include <osmium/io/pbf_output.hpp>
#include <osmium/io/reader.hpp>
#include <osmium/io/writer.hpp>
#include <osmium/io/xml_input.hpp>
#endif

namespace korvel {
namespace {

namespace fs = std::filesystem;

const std::string kCameras = std::string(KORVEL_TEST_DATA_DIR) + "/cameras.osm";

// Everything the reader handed over, in its order, one line each.
std::vector<std::string> Read(const std::string& path, FileSystem* memory = nullptr) {
  std::vector<std::string> seen;
  RealFileSystem disk;
  SourceFile source(memory ? *memory : disk, path);
  Problem failure;
  const bool ok = ReadOsmCameras(
      source,
      [&](const OsmCamera& c) {
        char line[128];
        std::snprintf(line, sizeof line, "%lld %.2f %.2f %d %d %d",
                      static_cast<long long>(c.node_id), c.lon, c.lat, c.speed, c.dirtype,
                      c.direction);
        seen.push_back(line);
      },
      [&](const OsmProblem& p) {
        seen.push_back(std::to_string(p.node_id) + (p.error ? " error: " : " warning: ") +
                       p.message);
      },
      failure);
  if (!ok) seen.push_back("failed: " + FailureText(failure));
  if (seen.empty()) seen.push_back("nothing");
  return seen;
}

#ifdef KORVEL_HAVE_OSMIUM

TEST(OsmReader, XmlAndPbfGiveEveryCameraByTheMappingRules) {
  const std::vector<std::string> expected = {
      "1 127.00 37.50 50 1 90",
      "2 127.01 37.51 48 1 23",  // 30 mph; NNE is 22.5 degrees
      "3 warning: direction \"0-90\" is a range: DIRTYPE 0",
      "3 127.02 37.52 37 0 0",  // 20 knots
      "4 warning: maxspeed \"signals\" is not a number: SPEED 0",
      "4 warning: direction \"forward\" points along a way, which a node has not: DIRTYPE 0",
      "4 127.03 37.53 0 0 0",
      "5 warning: maxspeed \"KR:urban\" is not a number: SPEED 0",
      "5 127.04 37.54 0 0 0",  // a route relation gives no bearing
      "6 warning: maxspeed \"none\" is not a number: SPEED 0",
      "6 127.00 37.50 0 1 38",  // bearing from node 7, which comes after it
      // Node 8 is no camera; node 9's own direction stands beside its relation.
      "9 warning: direction \"90;270\" holds more than one value: DIRTYPE 0",
      "9 127.06 37.56 61 0 0",
      "10 warning: direction \"359.6\" is outside 0 to 359: taken as 0",
      "10 127.07 37.57 100 1 0",
      "11 warning: direction \"-30\" is outside 0 to 359: taken as 330",
      "11 127.08 37.58 0 1 330",
      "12 warning: enforcement relation 3: from node 99 is not in the file: DIRTYPE 0",
      "12 127.09 37.59 0 0 0",
  };
  EXPECT_EQ(Read(kCameras), expected);

  const fs::path pbf = fs::temp_directory_path() / ("korvel-osm-" + std::to_string(getpid()));
  {
    osmium::io::Reader reader(kCameras);
    osmium::io::Writer writer(osmium::io::File(pbf.string(), "pbf"), reader.header(),
                              osmium::io::overwrite::allow);
    while (osmium::memory::Buffer buffer = reader.read()) writer(std::move(buffer));
    writer.close();
    reader.close();
  }
  EXPECT_EQ(Read(pbf.string()), expected);

  // Cut in the length before the data block: libosmium alone takes it for
  // the file's end. Cut in the block itself, or through a failed read.
  testing::MemoryFileSystem memory;
  std::ifstream in(pbf, std::ios::binary);
  const std::string whole{std::istreambuf_iterator<char>(in), {}};
  in.close();
  fs::remove(pbf);
  const std::size_t block = whole.find("OSMData") - 6;
  const struct {
    std::size_t size;
    std::string last;
  } cuts[] = {
      {block + 1, "failed: a.pbf: PBF error: truncated data (EOF encountered)"},
      {block + 3, "failed: a.pbf: PBF error: truncated data (EOF encountered)"},
      {block + 20, "failed: a.pbf: PBF error: unexpected EOF"},
      {whole.size() - 1, "failed: a.pbf: PBF error: unexpected EOF"},
      {whole.size(), expected.back()},
  };
  for (const auto& cut : cuts) {
    memory.SetFile("a.pbf", whole.substr(0, cut.size));
    EXPECT_EQ(Read("a.pbf", &memory).back(), cut.last) << cut.size;
  }
  memory.fail_read_at["a.pbf"] = block + 100;
  EXPECT_EQ(Read("a.pbf", &memory).back(), "failed: a.pbf: the file cannot be read");
}

TEST(OsmReader, RefusesWhatIsNoOpenStreetMapFile) {
  const std::string gpx = std::string(KORVEL_GOLDEN_DIR) + "/cameras.gpx";
  const std::string text = std::string(KORVEL_GOLDEN_DIR) + "/cameras.txt";
  EXPECT_EQ(Read(gpx).back(), "failed: " + gpx + ": not an OpenStreetMap file");
  EXPECT_EQ(Read(text).back(), "failed: " + text + ": not an OpenStreetMap file");
  EXPECT_EQ(Read("/nonexistent/x.osm").back(),
            "failed: /nonexistent/x.osm: No such file or directory");
}

#else

TEST(OsmReader, NeedsTheLinuxBuild) {
  EXPECT_EQ(Read(kCameras).back(),
            "failed: " + kCameras + ": OpenStreetMap files need the Linux build of korvel-cli");
}

#endif

}  // namespace
}  // namespace korvel
