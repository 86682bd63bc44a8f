// KMZ: the KML inside a zip archive, as Google My Maps and Google Earth write
// it (doc.kml deflated, beside its icons), and the archives that must fail.

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "exchange/formats/field_map.h"
#include "exchange/import/import.h"
#include "platform/system.h"
#include "support/memory_file_system.h"

namespace korvel {
namespace {

struct ZipFile {
  std::string name, data;
  int method = 8;                                    ///< 0 stored, 8 deflated
  std::optional<uLong> crc = std::nullopt;           ///< in place of the data's own
  std::optional<std::uint32_t> size = std::nullopt;  ///< in place of the data's own
};

void Put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::string RawDeflate(const std::string& data) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

/// A zip archive as the zip format's own note lays it out: local headers and
/// data, the central directory, its end record.
std::string Zip(const std::vector<ZipFile>& files) {
  std::string out, directory;
  for (const ZipFile& file : files) {
    const std::string packed = file.method == 8 ? RawDeflate(file.data) : file.data;
    const uLong crc = file.crc.value_or(
        crc32(0, reinterpret_cast<const Bytef*>(file.data.data()), file.data.size()));
    const std::uint32_t size = file.size.value_or(static_cast<std::uint32_t>(file.data.size()));
    const auto offset = static_cast<std::uint32_t>(out.size());
    std::string common;
    Put16(common, 0);  // flags
    Put16(common, file.method);
    Put32(common, 0x58210000);  // time and date
    Put32(common, static_cast<std::uint32_t>(crc));
    Put32(common, static_cast<std::uint32_t>(packed.size()));
    Put32(common, size);
    Put16(common, static_cast<std::uint32_t>(file.name.size()));
    Put16(common, 0);  // extra
    Put32(out, 0x04034b50);
    Put16(out, 20);
    out += common + file.name + packed;
    Put32(directory, 0x02014b50);
    Put16(directory, 0x031E);
    Put16(directory, 20);
    directory += common;
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, 0);  // external attributes
    Put32(directory, offset);
    directory += file.name;
  }
  const auto at = static_cast<std::uint32_t>(out.size());
  out += directory;
  Put32(out, 0x06054b50);
  Put32(out, 0);
  Put16(out, static_cast<std::uint32_t>(files.size()));
  Put16(out, static_cast<std::uint32_t>(files.size()));
  Put32(out, static_cast<std::uint32_t>(directory.size()));
  Put32(out, at);
  Put16(out, 0);
  return out;
}

const std::string kKml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n  <Document>\n"
    "    <name>Verkehrskameras Usbekistan</name>\n"
    "    <Placemark>\n      <name>Kamera 1</name>\n      <styleUrl>#icon-1</styleUrl>\n"
    "      <ExtendedData>\n        <Data name=\"Tempolimit\">\n          <value>60</value>\n"
    "        </Data>\n      </ExtendedData>\n"
    "      <Point>\n        <coordinates>\n          69.2797,41.311,0\n        </coordinates>\n"
    "      </Point>\n    </Placemark>\n  </Document>\n</kml>\n";

TEST(ImportKmz, ZipArchivesAsMyMapsWritesThem) {
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(40, '\x01');
  const std::string cameras =
      "V1.0 123456 test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n"
      "69.2797\t41.3110\t1\t60\t0\t0\r\n";
  const struct {
    const char* name;
    std::string zip;
    std::string result;  ///< the text, or the failure from the file name on
  } cases[] = {
      {"doc.kml deflated after its icon", Zip({{"images/icon-1.png", png, 0}, {"doc.kml", kKml}}),
       cameras},
      {"another .kml, stored", Zip({{"files/Cameras.KML", kKml, 0}}), cameras},
      {"doc.kml before any other", Zip({{"a.kml", "<kml/>"}, {"doc.kml", kKml}}), cameras},
      {"a CRC that is not the data's", Zip({{"doc.kml", kKml, 8, 0x12345678}}),
       "m.kmz: the KML in it is damaged (its size or CRC is not the archive's)"},
      {"more bytes than the directory says",
       Zip({{"doc.kml", kKml, 8, std::nullopt, static_cast<std::uint32_t>(kKml.size() - 1)}}),
       "m.kmz: the KML in it is damaged (its size or CRC is not the archive's)"},
      {"fewer bytes than the directory says",
       Zip({{"doc.kml", kKml, 0, std::nullopt, static_cast<std::uint32_t>(kKml.size() + 1)}}),
       "m.kmz: the KML in it is damaged (its size or CRC is not the archive's)"},
      {"no KML inside", Zip({{"images/icon-1.png", png, 0}}),
       "m.kmz: the zip archive holds no .kml file"},
      {"packed another way", Zip({{"doc.kml", kKml, 12}}),
       "m.kmz: doc.kml in the zip archive is encrypted or packed with method 12, which is not "
       "read (only stored and deflated)"},
      {"a name in CP949, packed another way", Zip({{"\xC4\xAB\xB8\xDE\xB6\xF3.kml", kKml, 12}}),
       "m.kmz: \xEC\xB9\xB4\xEB\xA9\x94\xEB\x9D\xBC.kml in the zip archive is encrypted or "
       "packed with method 12, which is not read (only stored and deflated)"},
      {"a name of no encoding, packed another way", Zip({{"\xFF\n.kml", kKml, 12}}),
       "m.kmz: \\xFF\\n.kml in the zip archive is encrypted or packed with method 12, which is "
       "not read (only stored and deflated)"},
      {"cut before its directory", Zip({{"doc.kml", kKml}}).substr(0, 60),
       "m.kmz: not a zip archive: no end of its directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::MemoryFileSystem fs;
    fs.SetFile("m.kmz", c.zip);
    ImportOptions options;
    options.inputs = {"m.kmz"};
    options.version_line = "V1.0 123456 test";
    options.type = 1;
    std::string wrong;
    ASSERT_TRUE(ParseFieldOption("SPEED=Tempolimit", options.fields, wrong));
    const ImportResult result = RunImport(options, fs, [](const std::string&) {});
    std::ostringstream text;
    if (result.failure.message.empty()) {
      WriteImportText(result, text);
    } else {
      EXPECT_EQ(result.outcome, ImportOutcome::kMalformed);
      text << FailureText(result.failure);
    }
    EXPECT_EQ(text.str(), c.result);
  }
}

}  // namespace
}  // namespace korvel
