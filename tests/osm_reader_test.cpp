#include "exchange/formats/osm_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/real_file_system.h"
#include "platform/system.h"
#include "support/memory_file_system.h"

#ifdef KORVEL_HAVE_OSMIUM
#include <zlib.h>

#include <protozero/pbf_writer.hpp>
#endif

namespace korvel {
namespace {

const std::string kCameras = std::string(KORVEL_TEST_DATA_DIR) + "/cameras.osm";
// cameras.osm as `osmium cat cameras.osm -o cameras.osm.pbf` writes it.
const std::string kCamerasPbf = kCameras + ".pbf";

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

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

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
#ifndef _WIN32
  EXPECT_EQ(Read(kCameras), expected);
#endif
  EXPECT_EQ(Read(kCamerasPbf), expected);

  // Cut anywhere but after a whole block: in the length before the data
  // block, in its header, in the block itself, or through a failed read.
  testing::MemoryFileSystem memory;
  const std::string whole = Contents(kCamerasPbf);
  const std::size_t block = whole.find("OSMData") - 6;
  const struct {
    std::size_t size;
    std::string last;
  } cuts[] = {
      {block, "nothing"},
      {block + 1, "failed: a.pbf: PBF error: truncated data (EOF encountered)"},
      {block + 3, "failed: a.pbf: PBF error: truncated data (EOF encountered)"},
      {block + 4, "failed: a.pbf: PBF error: unexpected EOF"},
      {block + 10, "failed: a.pbf: PBF error: unexpected EOF"},
      {block + 20, "failed: a.pbf: PBF error: unexpected EOF"},
      {whole.size() - 1, "failed: a.pbf: PBF error: unexpected EOF"},
      {whole.size(), expected.back()},
  };
  for (const auto& cut : cuts) {
    memory.SetFile("a.pbf", whole.substr(0, cut.size));
    EXPECT_EQ(Read("a.pbf", &memory).back(), cut.last) << cut.size;
  }
  memory.SetFile("a.pbf", whole);
  memory.fail_read_at["a.pbf"] = block + 100;
  EXPECT_EQ(Read("a.pbf", &memory).back(), "failed: a.pbf: the file cannot be read");
#ifndef _WIN32
  // Past the first 4096 bytes, which tell the format.
  std::string xml = Contents(kCameras);
  xml.insert(xml.find("<osm "), 5000, ' ');
  memory.SetFile("a.osm", xml);
  memory.fail_read_at["a.osm"] = 6000;
  EXPECT_EQ(Read("a.osm", &memory).back(), "failed: a.osm: the file cannot be read");
#endif
}

// PBF built field by field as osmformat.proto and fileformat.proto lay it out.
std::string Message(const std::function<void(protozero::pbf_writer&)>& fill) {
  std::string bytes;
  protozero::pbf_writer message(bytes);
  fill(message);
  return bytes;
}

std::string BigEndian(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

// A block: the length of its BlobHeader (`header`), the header, the blob.
std::string Framed(const std::string& header, const std::string& blob) {
  return BigEndian(static_cast<std::uint32_t>(header.size())) + header + blob;
}

// A block of `type` whose header gives the blob's own size.
std::string Block(const std::string& type, const std::string& blob) {
  return Framed(Message([&](protozero::pbf_writer& m) {
                  m.add_string(1, type);
                  m.add_int32(3, static_cast<std::int32_t>(blob.size()));
                }),
                blob);
}

// A header giving `type` and a size the blob need not have.
std::string Header(const std::string& type, std::optional<std::int32_t> size) {
  return Message([&](protozero::pbf_writer& m) {
    m.add_string(1, type);
    if (size) m.add_int32(3, *size);
  });
}

std::string Raw(const std::string& data) {
  return Message([&](protozero::pbf_writer& m) { m.add_bytes(1, data); });
}

std::string Zlib(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &size,
           reinterpret_cast<const Bytef*>(data.data()), data.size());
  packed.resize(size);
  return Message([&](protozero::pbf_writer& m) {
    m.add_int32(2, static_cast<std::int32_t>(data.size()));
    m.add_bytes(3, packed);
  });
}

std::string HeaderBlock(const std::vector<std::string>& required) {
  return Message([&](protozero::pbf_writer& m) {
    for (const std::string& feature : required) m.add_string(4, feature);
    m.add_string(16, "korvel tests");
  });
}

// Nodes 1 to `count` at 127.0, 37.5 (in units of 100 nanodegrees): cameras
// with maxspeed 60.
std::string CameraBlock(int count = 1) {
  const std::string strings = Message([](protozero::pbf_writer& m) {
    for (const char* s : {"", "highway", "speed_camera", "maxspeed", "60"}) m.add_bytes(1, s);
  });
  const auto node = [](int id) {
    return Message([id](protozero::pbf_writer& m) {
      const std::uint32_t keys[] = {1, 3}, values[] = {2, 4};
      m.add_sint64(1, id);
      m.add_packed_uint32(2, std::begin(keys), std::end(keys));
      m.add_packed_uint32(3, std::begin(values), std::end(values));
      m.add_sint64(8, 375000000);
      m.add_sint64(9, 1270000000);
    });
  };
  return Message([&](protozero::pbf_writer& m) {
    m.add_message(1, strings);
    m.add_message(2, Message([&](protozero::pbf_writer& g) {
                    for (int id = 1; id <= count; ++id) g.add_message(1, node(id));
                  }));
  });
}

TEST(OsmReader, PbfBlocksAsTheFormatLaysThemOut) {
  const std::string head = Block("OSMHeader", Raw(HeaderBlock({"OsmSchema-V0.6", "DenseNodes"})));
  const std::string data = CameraBlock();
  const std::string camera = "1 127.00 37.50 60 0 0";
  const std::string error = "failed: a.pbf: PBF error: ";
  const std::string no_size = error + "PBF format error: BlobHeader.datasize missing or zero.";
  const std::string wrong_type = error +
                                 "blob does not have expected type (OSMHeader in first blob, "
                                 "OSMData in following blobs)";
  const struct {
    const char* what;
    std::string file;
    std::string last;
  } cases[] = {
      {"raw", head + Block("OSMData", Raw(data)), camera},
      {"zlib", head + Block("OSMData", Zlib(data)), camera},
      {"zlib header", Block("OSMHeader", Zlib(HeaderBlock({"OsmSchema-V0.6"}))), "nothing"},
      {"header alone", head, "nothing"},
      {"two blocks", head + Block("OSMData", Raw(data)) + Block("OSMData", Zlib(data)), camera},
      {"zero length", head + BigEndian(0) + Block("OSMData", Raw(data)), no_size},
      {"no size", head + Framed(Header("OSMData", std::nullopt), Raw(data)), no_size},
      {"header 64 KiB", head + BigEndian(64 * 1024) + Raw(data), error + "unexpected EOF"},
      {"header over 64 KiB", head + BigEndian(64 * 1024 + 1) + Raw(data),
       error + "invalid BlobHeader size (> max_blob_header_size)"},
      {"blob 32 MiB", head + Framed(Header("OSMData", 32 << 20), Raw(data)),
       error + "unexpected EOF"},
      {"blob over 32 MiB", head + Framed(Header("OSMData", (32 << 20) + 1), Raw(data)),
       error + "invalid blob size: 33554433"},
      {"negative size", head + Framed(Header("OSMData", -1), Raw(data)),
       error + "invalid blob size: -1"},
      {"second header", head + Block("OSMHeader", Raw(data)), wrong_type},
      {"type cut short", head + Block("OSMDat", Raw(data)), wrong_type},
      {"no type", head + Block("", Raw(data)), wrong_type},
      {"unknown feature",
       Block("OSMHeader", Raw(HeaderBlock({"OsmSchema-V0.6", "LocationsOnWays"}))),
       error + "required feature not supported: LocationsOnWays"},
      {"lzma", head + Block("OSMData", Message([&](protozero::pbf_writer& m) {
                              m.add_int32(2, static_cast<std::int32_t>(data.size()));
                              m.add_bytes(4, data);
                            })),
       error + "lzma blobs not supported"},
      {"two bytes after", head + Block("OSMData", Raw(data)) + std::string(2, '\0'),
       error + "truncated data (EOF encountered)"},
  };
  testing::MemoryFileSystem memory;
  for (const auto& c : cases) {
    memory.SetFile("a.pbf", c.file);
    EXPECT_EQ(Read("a.pbf", &memory).back(), c.last) << c.what;
  }
  // More objects in one blob than libosmium's first 64 KiB buffer holds:
  // every one, in file order.
  memory.SetFile("a.pbf", head + Block("OSMData", Zlib(CameraBlock(5000))));
  const std::vector<std::string> many = Read("a.pbf", &memory);
  ASSERT_EQ(many.size(), 5000u);
  for (std::size_t i = 0; i < many.size(); ++i) {
    ASSERT_EQ(many[i], std::to_string(i + 1) + " 127.00 37.50 60 0 0");
  }
}

#ifdef _WIN32

TEST(OsmReader, WindowsRefusesXmlWithTheCommandThatConvertsIt) {
  testing::MemoryFileSystem memory;
  memory.SetFile("a b.osm.gz", "\x1f\x8b\x08");
  memory.SetFile("x.osm.bz2", "BZh91AY&SY");
  memory.SetFile("-", "<osm version='0.6'/>");
  memory.SetFile("export.xml", "<?xml version='1.0'?>\n<osm version='0.6'>\n");
  const struct {
    std::string path;
    std::string last;
  } cases[] = {
      {kCameras, kCameras +
                     ": the Windows build reads OpenStreetMap PBF, not XML: convert the "
                     "file, e.g. osmium cat " +
                     kCameras + " -o " + kCamerasPbf},
      {"a b.osm.gz",
       "a b.osm.gz: the Windows build reads OpenStreetMap PBF, not XML: convert "
       "the file, e.g. osmium cat \"a b.osm.gz\" -o \"a b.osm.pbf\""},
      {"x.osm.bz2",
       "x.osm.bz2: the Windows build reads OpenStreetMap PBF, not XML: convert "
       "the file, e.g. osmium cat x.osm.bz2 -o x.osm.pbf"},
      {"-",
       "-: the Windows build reads OpenStreetMap PBF, not XML: convert the file, e.g. "
       "osmium cat cameras.osm -o cameras.osm.pbf"},
      {"export.xml",
       "export.xml: the Windows build reads OpenStreetMap PBF, not XML: convert "
       "the file, e.g. osmium cat export.xml -o export.xml.pbf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Read(c.path, c.path == kCameras ? nullptr : &memory).back(), "failed: " + c.last);
  }
}

#endif

TEST(OsmReader, RefusesWhatIsNoOpenStreetMapFile) {
#ifdef _WIN32
  const int kPathNotFound = 3;  // ERROR_PATH_NOT_FOUND
#else
  const int kPathNotFound = ENOENT;
#endif
  const std::string gpx = std::string(KORVEL_GOLDEN_DIR) + "/cameras.gpx";
  const std::string text = std::string(KORVEL_GOLDEN_DIR) + "/cameras.txt";
  EXPECT_EQ(Read(gpx).back(), "failed: " + gpx + ": not an OpenStreetMap file");
  EXPECT_EQ(Read(text).back(), "failed: " + text + ": not an OpenStreetMap file");
  EXPECT_EQ(Read("/nonexistent/x.osm").back(),
            "failed: /nonexistent/x.osm: " + SystemErrorText(kPathNotFound));
}

#else

TEST(OsmReader, NeedsABuildWithLibosmium) {
  EXPECT_EQ(Read(kCameras).back(), "failed: " + kCameras +
                                       ": OpenStreetMap files need a build of korvel-cli with "
                                       "libosmium");
}

#endif

}  // namespace
}  // namespace korvel
