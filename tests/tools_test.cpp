// The operator tools' core: telling the file kinds apart, the faults found,
// the inspect report, the exports read back, diff and unpack.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "camdb/parser.h"
#include "generate/db_encoder.h"
#include "generate/diff.h"
#include "generate/export.h"
#include "generate/inspect.h"
#include "generate/package.h"
#include "generate/pipeline.h"
#include "generate/unpack.h"
#include "platform/path.h"
#include "platform/text_file.h"
#include "support/byte_diff.h"
#include "support/golden.h"
#include "support/memory_file_system.h"

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)
#include "support/cli_folder.h"
#endif

namespace korvel {
namespace {

using testing::MemoryFileSystem;
using testing::SameBytes;

GPS_POINT P(std::uint32_t x, std::uint32_t y, std::uint8_t type = 1, std::uint8_t speed = 60) {
  GPS_POINT p;
  p.x = x;
  p.y = y;
  p.id = CellId(x, y);
  p.type = type;
  p.speed = speed;
  return p;
}

Bytes Encode(std::initializer_list<GPS_POINT> points, const char* version = "V1.0 563412") {
  RunState state;
  MemoryFileSystem fs;
  state.DB_VERSION = version;
  state.GPS_DB.assign(points.begin(), points.end());
  EXPECT_EQ(WriteDbFile(state, fs, nullptr), WriteDbResult::kOk);
  return fs.files["TempDb.bin"];
}

Bytes Package(const Bytes& db, std::uint32_t fw = 3, std::uint32_t voice = 2) {
  Bytes out = PackageHeader(fw, voice, static_cast<std::uint32_t>(db.size()));
  out.resize(kDbOffset);
  std::fill(out.begin() + kFwOffset, out.begin() + kFwOffset + fw, 0x5A);
  std::fill(out.begin() + kVoiceOffset, out.begin() + kVoiceOffset + voice, 0x3C);
  out.insert(out.end(), db.begin(), db.end());
  return out;
}

std::vector<std::string> FaultsOf(const CameraFile& file) {
  return file.faults.kept();
}

// One cell of three points, then a cell of one: offsets 43 and 97.
const Bytes kFourPoints =
    Encode({P(1269650, 373950), P(1269610, 373950), P(1269700, 373901), P(1269900, 373950)});

Bytes With(Bytes bytes, std::size_t offset, std::initializer_list<std::uint8_t> values) {
  for (std::uint8_t v : values) bytes[offset++] = v;
  return bytes;
}

TEST(ToolsReader, KindAndFaultsTable) {
  Bytes trailing = kFourPoints;
  trailing.push_back(0);
  Bytes big_points;  // over 5 MiB: kind must not follow the size
  const struct {
    const char* name;
    Bytes bytes;
    FileKind kind;
    std::vector<std::string> faults;
  } cases[] = {
      {"sample database", kSampleDb, FileKind::kDatabase, {}},
      {"sample package", Package(kSampleDb), FileKind::kPackage, {}},
      {"empty", {}, FileKind::kUnknown, {}},
      {"text", Bytes(6000000, 'V'), FileKind::kUnknown, {}},
      {"package one byte long",
       [] {
         Bytes b = Package(kSampleDb);
         b.push_back(0);
         return b;
       }(),
       FileKind::kUnknown,
       {}},
      {"trailing byte", trailing, FileKind::kDatabase, {"1 bytes after the last point"}},
      {"points out of order",
       With(kFourPoints, 43 + 18 + 4, {0xBA}),
       FileKind::kDatabase,
       {"point 2: out of order"}},
      {"cell offset off by one",
       With(kFourPoints, 23 + 10 + 6, {96}),
       FileKind::kDatabase,
       {"cell 1: offset 96 where its points start at 97"}},
      {"cell offset outside",
       With(kFourPoints, 23 + 6, {0, 0, 1}),
       FileKind::kDatabase,
       {"cell 0: offset 65536 lies outside the points"}},
      {"cell table disagrees",
       With(kFourPoints, 23 + 4, {2}),
       FileKind::kDatabase,
       {"cell 1: offset 97 where its points start at 79",
        "cell 1: point 2 has id 122493132, not the cell's 122493133",
        "cell counts add up to 3, the header says 4 points"}},
      {"point not in its cell",
       With(kFourPoints, 43 + 17, {1}),
       FileKind::kDatabase,
       {"point 0: reserved byte is not 0"}},
      {"version",
       With(kSampleDb, 12, {'v', 0, 0, 0, 0, '/'}),
       FileKind::kDatabase,
       {"version field does not start with V", "version byte 1 cannot stand in a text line",
        "version byte 2 cannot stand in a text line", "version byte 3 cannot stand in a text line",
        "version byte 4 cannot stand in a text line",
        "version character 5 cannot stand in a file name"}},
      {"package header bytes and fill",
       With(With(Package(kSampleDb), 0, {1}), 13, {0, 0, 7}),
       FileKind::kPackage,
       {"header byte 0 is 0x01, not 0", "header byte 15 is 0x07, not 0"}},
      {"package fill",
       With(With(Package(kSampleDb), 0x13, {9}), 0x4FFFFF, {1}),
       FileKind::kPackage,
       {"fill after the firmware is not zero at 0x000013",
        "fill after the voice image is not zero at 0x4FFFFF"}},
      {"package holding no database",
       Package(Bytes(30, 0)),
       FileKind::kPackage,
       {"database: magic is 0, not 200", "database: version field does not start with V",
        "database: version byte 1 cannot stand in a text line",
        "database: version byte 2 cannot stand in a text line",
        "database: version byte 3 cannot stand in a text line",
        "database: version byte 4 cannot stand in a text line",
        "database: version character 5 cannot stand in a file name",
        "database: 7 bytes after the last point"}},
      {"package with a cut database",
       Package(Bytes(kSampleDb.begin(), kSampleDb.end() - 1)),
       FileKind::kPackage,
       {"database: the counts give 79 bytes, there are 78"}},
  };
  for (const auto& c : cases) {
    const CameraFile file = ReadCameraFile(c.bytes);
    EXPECT_EQ(file.kind, c.kind) << c.name;
    EXPECT_EQ(FaultsOf(file), c.faults) << c.name;
  }
}

TEST(ToolsReader, BigDatabaseAndEveryTruncation) {
  RunState state;
  MemoryFileSystem fs;
  state.DB_VERSION = "V1.0 563412";
  for (std::uint32_t i = 0; i < 300000; ++i)
    state.GPS_DB.push_back(P(1260000 + i % 9000, 370000 + i / 40));
  ASSERT_EQ(WriteDbFile(state, fs, nullptr), WriteDbResult::kOk);
  const Bytes& big = fs.files["TempDb.bin"];
  ASSERT_GT(big.size(), kDbOffset);
  const CameraFile file = ReadCameraFile(big);
  EXPECT_EQ(file.kind, FileKind::kDatabase);
  EXPECT_EQ(file.faults.total(), 0u);

  const Bytes package = Package(kSampleDb);
  const std::span<const std::uint8_t> all(package), db(kSampleDb);
  for (std::size_t length = 0; length < package.size(); ++length) {
    ASSERT_EQ(ReadCameraFile(all.first(length)).kind, FileKind::kUnknown) << length;
  }
  for (std::size_t length = 0; length < db.size(); ++length) {
    ASSERT_EQ(ReadCameraFile(db.first(length)).kind, FileKind::kUnknown) << length;
  }
}

TEST(ToolsInspect, PackageReportAndJson) {
  InspectEntry entry{"out/K93_F0102_V0034_D3456.bin", ReadCameraFile(Package(kSampleDb)), ""};
  EXPECT_EQ(InspectText(entry),
            "out/K93_F0102_V0034_D3456.bin: K93 package, 5242959 bytes\n"
            "  firmware: 3 bytes at 0x000010\n"
            "  voice image: 2 bytes at 0x100000\n"
            "  database: 79 bytes at 0x500000\n"
            "  name tags: F0102 V0034 D3456\n"
            "  version: \"V1.0 563412\"\n"
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

struct GenerateRun : GenerateView {
  void SetStatus(const std::string& text) override { status = text; }
  void SetOutputPath(const std::string&) override {}
  void DisableGenerate() override {}
  void ShowFileError(const FileError&) override {}
  std::string status;
};

/// The per-model run of generate on `text`, in memory; TempDb.bin's bytes.
Bytes Generate(const std::string& text) {
  MemoryFileSystem fs;
  RunState state;
  fs.SetFile("/in/cams.txt", text);
  state.K93_MODE = 1;
  state.DB_TEXT_PATH = "/in/cams.txt";
  state.DB_TEXT_FOLDER = "/in/";
  state.DB_LINE_COUNT = CountLines(fs, "/in/cams.txt").value();
  GenerateRun view;
  GenerateFile(state, kGeneratePerModel, fs, view, nullptr);
  EXPECT_EQ(view.status, gen_status::kSuccess);
  return fs.files["TempDb.bin"];
}

TEST(ToolsExport, TsvRoundTripIsByteIdentical) {
  const std::string text =
      "V2.0 123456 operator's tail\nX\tY\tTYPE\n"
      "126.900099\t37.999999\t3\t300\t1\t65537\n"    // floats just below the value
      "126.950100\t37.389400\t5\t80\t0\t247\n"       // a sample row given by hand
      "126.950100\t37.389400\t9\t80\t0\t247\n"       // same place, other type: order kept
      "-126.5\t0\t1\t2\t3\t4\n"                      // largest value
      "126.95012345\t37.38941234\t255\t0\t255\t0\n"  // more digits than survive
      "127.000000\t37.500000\t3\t60\t1\t90";
  const Bytes first = Generate(text);
  const auto db = DecodeDb(first, nullptr);
  ASSERT_TRUE(db);
  std::ostringstream exported;
  const ExportResult result = ExportCameras(*db, ExportFormat::kTsv, exported);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.missing_samples, 0);
  const std::string head = "V2.0 123456\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n";
  EXPECT_EQ(exported.str().substr(0, head.size()), head);
  EXPECT_TRUE(SameBytes(Generate(exported.str()), first));
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
  const auto& first = json["features"][0];
  EXPECT_EQ(first["geometry"]["coordinates"], nlohmann::json({126.9501, 37.3894}));
  EXPECT_EQ(first["properties"],
            nlohmann::json(
                {{"type", 5}, {"speed", 80}, {"flag", 0}, {"angle", 247}, {"cell", 122493131}}));
}

TEST(ToolsDiff, CasesTable) {
  const GPS_POINT a = P(1269501, 373894), b = P(1269807, 374163), c = P(1270000, 375000);
  const struct {
    const char* name;
    std::vector<GPS_POINT> old_points, new_points;
    std::string lines;  // before the version lines
    std::string summary;
  } cases[] = {
      {"same", {a, b}, {b, a}, "", "0 added, 0 removed, 0 changed, 2 unchanged"},
      {"added and removed",
       {a, b},
       {b, c},
       "- 126.9501\t37.3894\t1\t60\t0\t0\n+ 127.0000\t37.5000\t1\t60\t0\t0\n",
       "1 added, 1 removed, 0 changed, 1 unchanged"},
      {"changed at one place",
       {a, b},
       {a, P(1269807, 374163, 1, 80)},
       "~ 126.9807\t37.4163\t1\t60\t0\t0 -> 126.9807\t37.4163\t1\t80\t0\t0\n",
       "0 added, 0 removed, 1 changed, 1 unchanged"},
      {"duplicate gone",
       {a, a},
       {a},
       "- 126.9501\t37.3894\t1\t60\t0\t0\n",
       "0 added, 1 removed, 0 changed, 1 unchanged"},
      {"two at a place, one changed",
       {a, a},
       {a, P(1269501, 373894, 2)},
       "~ 126.9501\t37.3894\t1\t60\t0\t0 -> 126.9501\t37.3894\t2\t60\t0\t0\n",
       "0 added, 0 removed, 1 changed, 1 unchanged"},
      {"empty to one",
       {},
       {c},
       "+ 127.0000\t37.5000\t1\t60\t0\t0\n",
       "1 added, 0 removed, 0 changed, 0 unchanged"},
  };
  for (const auto& c : cases) {
    DecodedDb old_db, new_db;
    old_db.version = "V1.0 563412";
    new_db.version = "V1.0 573412";
    old_db.points = c.old_points;
    new_db.points = c.new_points;
    std::ostringstream out;
    const DiffCounts counts = DiffCameras(old_db, new_db, out);
    EXPECT_EQ(out.str(), c.lines + "old version: \"V1.0 563412\"\nnew version: \"V1.0 573412\"\n" +
                             c.summary + "\n")
        << c.name;
    EXPECT_EQ(counts.same(), c.lines.empty()) << c.name;
  }
}

TEST(ToolsUnpack, NamesRefusalsAndWrites) {
  // Paths as the platform joins them (a backslash on Windows).
  const auto Out = [](const char* name) { return JoinPath("/out", name); };
  const Bytes package = Package(kSampleDb);
  const struct {
    const char* name;
    std::string package_name;
    std::vector<std::string> existing;
    bool force;
    UnpackStatus status;
    std::string path;
    std::vector<std::string> after;  // files in /out afterwards
  } cases[] = {
      {"tagged",
       "K93_F0102_V0034_D3456.bin",
       {},
       false,
       UnpackStatus::kOk,
       "",
       {Out("K93_FW_v0102.bin"), Out("K93_Voice_v0034.bin"), Out("TempDb.bin")}},
      {"untagged",
       "pkg.bin",
       {},
       false,
       UnpackStatus::kOk,
       "",
       {Out("TempDb.bin"), Out("firmware.bin"), Out("voice.bin")}},
      {"refuses",
       "pkg.bin",
       {Out("voice.bin")},
       false,
       UnpackStatus::kExists,
       Out("voice.bin"),
       {Out("voice.bin")}},
      {"forced",
       "pkg.bin",
       {Out("voice.bin")},
       true,
       UnpackStatus::kOk,
       "",
       {Out("TempDb.bin"), Out("firmware.bin"), Out("voice.bin")}},
  };
  for (const auto& c : cases) {
    MemoryFileSystem fs;
    for (const std::string& path : c.existing) fs.SetFile(path, "old");
    const UnpackResult result = Unpack(fs, package, c.package_name, "/out", c.force);
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_EQ(result.path, c.path) << c.name;
    std::vector<std::string> after;
    for (const auto& [path, bytes] : fs.files) after.push_back(path);
    EXPECT_EQ(after, c.after) << c.name;
    if (c.status == UnpackStatus::kOk) {
      EXPECT_TRUE(SameBytes(fs.files[Out("TempDb.bin")], kSampleDb)) << c.name;
      EXPECT_EQ(
          fs.Text(c.after[0]).size() + fs.Text(c.after[1]).size() + fs.Text(c.after[2]).size(),
          3u + 2 + 79)
          << c.name;
    } else {
      EXPECT_EQ(fs.Text(Out("voice.bin")), "old") << c.name;
    }
  }
  MemoryFileSystem fs;
  EXPECT_EQ(Unpack(fs, kSampleDb, "TempDb.bin", "/out", false).status, UnpackStatus::kNotPackage);
  fs.fail_rename.insert(Out("voice.bin"));
  const UnpackResult failed = Unpack(fs, package, "pkg.bin", "/out", false);
  EXPECT_EQ(failed.status, UnpackStatus::kWriteFailed);
  EXPECT_EQ(failed.path, Out("voice.bin"));
  EXPECT_EQ(fs.files.size(), 1u);  // firmware.bin, whole; no temporary file left
}

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)

// The four subcommands' exit statuses and what they print, run as a shell runs them.
TEST(ToolsCli, ExitStatusesTable) {
  const testing::CliFolder folder("korvel-tools");
  const auto write = [&](const char* name, const Bytes& bytes) {
    folder.Write(name, std::string(bytes.begin(), bytes.end()));
  };
  write("TempDb.bin", kSampleDb);
  write("K93_F0102_V0034_D3456.bin", Package(kSampleDb));
  write("other.bin", Encode({P(1270000, 375000)}));
  write("cams.txt", Bytes(kHeaderOnlyText, kHeaderOnlyText + sizeof kHeaderOnlyText - 1));
  const std::string pkg = "K93_F0102_V0034_D3456.bin";
  const struct {
    std::string args;
    int status;
    std::string out_end, err_part;
  } cases[] = {
      {"inspect TempDb.bin " + pkg, 0, "  valid\n", ""},
      {"inspect --json cams.txt", 1, "}\n", ""},
      {"inspect none.bin", 2, "", "none.bin: No such file or directory"},
      {"export " + pkg, 0, "V1.0 123456\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n", ""},
      {"export TempDb.bin --format gpx -o - ", 0, "</gpx>\n", ""},
      {"export cams.txt -o out.txt", 1, "", "cams.txt: not a camera database or K93 package"},
      {"export TempDb.bin --format csv", 2, "", "Try 'korvel-cli export --help'"},
      {"diff TempDb.bin " + pkg, 0, "0 added, 0 removed, 0 changed, 2 unchanged\n", ""},
      {"diff other.bin " + pkg, 1, "2 added, 1 removed, 0 changed, 0 unchanged\n", ""},
      {"diff TempDb.bin cams.txt", 2, "", "not a camera database or K93 package"},
      {"unpack TempDb.bin", 1, "", "TempDb.bin: not a K93 package"},
      {"unpack " + pkg + " -o parts", 0, "wrote parts/TempDb.bin\n", ""},
      {"unpack " + pkg + " -o parts", 1, "", "parts/K93_FW_v0102.bin exists; --force replaces it"},
      {"unpack --force -o parts " + pkg, 0, "wrote parts/TempDb.bin\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out, err;
    EXPECT_EQ(folder.Run(c.args, out, err), c.status);
    EXPECT_TRUE(out.ends_with(c.out_end)) << out;
    EXPECT_NE(err.find(c.err_part), std::string::npos) << err;
  }
  EXPECT_FALSE(std::filesystem::exists(folder.dir / "out.txt"));
}

#endif

}  // namespace
}  // namespace korvel
