// korvel-cli as an operator's shell sees it: exit statuses, the status and
// output lines, the files it leaves, and runs at the same time on the same
// folders.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>

#include "support/byte_diff.h"
#include "support/golden.h"

#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)
#include "support/cli_folder.h"
#endif

namespace korvel {
namespace {

// The runs go through a POSIX shell; the Windows build has its own front end.
#if defined(KORVEL_CLI_PATH) && !defined(_WIN32)

namespace fs = std::filesystem;
using testing::ReadText;
using testing::SameBytes;

Bytes ReadBytes(const fs::path& path) {
  const std::string text = ReadText(path);
  return Bytes(text.begin(), text.end());
}

/// CliFolder running korvel-cli.
struct CliFolder : testing::CliFolder {
  using testing::CliFolder::CliFolder;
  int Run(const std::string& args, std::string& out, std::string& err,
          const std::string& setup = "", const std::string& out_to = "stdout.txt") const {
    return RunCli(KORVEL_CLI_PATH, args, out, err, setup, out_to);
  }
};

TEST(CliTest, ExitStatusesLinesAndFiles) {
  const CliFolder folder("korvel-cli");
  const fs::path dir = folder.dir, out_dir = dir / "out", models = dir / "models";
  const auto write = [&](const std::string& name, const Bytes& bytes) {
    folder.Write(name, std::string(bytes.begin(), bytes.end()));
  };
  const Bytes fw = Pattern(249856, 7), voice = Pattern(0x400000, 8);  // the voice fills its room
  write("K93_FW_v0102.bin", fw);
  write("K93_Voice_v0034.bin", voice);
  folder.Write("cams.txt", kHeaderOnlyText);
  folder.Write("one.txt", std::string(kHeaderOnlyText) + "127.000000\t37.500000\t3\t60\t1\t90\r\n");
  // Exported and generated again, this gives the same database byte for byte.
  folder.Write("rows.txt",
               "V2.0 123456 operator's tail\nX\tY\tTYPE\n"
               "126.900099\t37.999999\t3\t300\t1\t65537\n"    // floats just below the value
               "126.950100\t37.389400\t5\t80\t0\t247\n"       // a sample row given by hand
               "126.950100\t37.389400\t9\t80\t0\t247\n"       // same place, other type: order kept
               "-126.5\t0\t1\t2\t3\t4\n"                      // largest value
               "126.95012345\t37.38941234\t255\t0\t255\t0\n"  // more digits than survive
               "127.000000\t37.500000\t3\t60\t1\t90");
  folder.Write("bad.txt", "V1.0 123456\r\nX\tY\tTYPE\r\n1\t2\r\n");
  folder.Write("kml.txt", "V1.0 240601 kml\r\nX\tY\tTYPE\r\n127.5\t37.5\t3\t60\t1\t90\r\n");
  folder.Write("K93_FW_v12.bin", std::string(249856, '\0'));
  folder.Write("blocker", "");
  std::string warn = "V1.0 123456\nX\tY\tTYPE\n";
  for (int i = 0; i < 25; ++i) warn += "127,5\t37.5\t1\t60\t1\t90\n";
  folder.Write("warn.txt", warn);
  const std::string too_long(300, 'n');
  const std::string generate = "generate --fw K93_FW_v0102.bin --voice K93_Voice_v0034.bin --db ";
  const std::string usage = "Try 'korvel-cli";
  const std::string package = (out_dir / "K93_F0102_V0034_D3456.bin").string();
  const std::string pkg = "out/K93_F0102_V0034_D3456.bin";
  // An earlier package, longer than the new one.
  ASSERT_TRUE(fs::create_directory(out_dir));
  folder.Write(pkg, std::string(6000000, 'x'));
  // Rows below the first group stand alone: they read only the files made
  // here, and their setup makes the rest.
  ASSERT_TRUE(fs::create_directory(dir / "given"));
  write("given/TempDb.bin", kSampleDb);
  write("given/K93_F0102_V0034_D3456.bin", ExpectedPackage(fw, voice, kSampleDb));
  Bytes unwritable = kSampleDb;  // a longitude no text reads back as, in the first point
  StoreU32(unwritable.data() + 23 + 2 * 10 + 4, 4000000001u);
  write("given/unwritable.bin", unwritable);
  Bytes empty(kSampleDb.begin(), kSampleDb.begin() + 23);  // no cells, no points
  std::fill(empty.begin() + 4, empty.begin() + 12, 0);
  write("given/empty.bin", empty);
  folder.Write("negative.txt", std::string(kHeaderOnlyText) + "-127\t37.5\t3\t60\t1\t90\r\n");
  const std::string cut_long = "export given/TempDb.bin -o " + std::string(240, 'e');
  const std::string cli = "'" KORVEL_CLI_PATH "' ";
  // Setups: the database of rows.txt; a first unpack into parts.
  const std::string rows_db =
      cli + generate + "rows.txt --per-model --out-dir rows >/dev/null 2>&1; ";
  const std::string unpack_first =
      "rm -rf parts; " + cli + "unpack -o parts given/K93_F0102_V0034_D3456.bin >/dev/null; ";
  const std::string header_only = "V1.0 123456\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n";
  const std::string same_two =
      "old version: \"V1.0 563412\" (the text's \"V1.0 123456\")\n"
      "new version: \"V1.0 563412\" (the text's \"V1.0 123456\")\n"
      "0 added, 0 removed, 0 changed, 2 unchanged\n";
  const std::string rows_diff =
      "- -1\t0.0000\t1\t2\t3\t4\n- 126.9501\t37.3894\t5\t80\t0\t247\n"
      "- 126.9501\t37.3894\t9\t80\t0\t247\n- 126.9501\t37.3894\t255\t0\t255\t0\n"
      "- 127.0000\t37.5000\t3\t60\t1\t90\n- 126.9001\t38.0000\t3\t44\t1\t1\n"
      "old version: \"V2.0 563412\" (the text's \"V2.0 123456\")\n"
      "new version: \"V1.0 563412\" (the text's \"V1.0 123456\")\n"
      "0 added, 6 removed, 0 changed, 2 unchanged\n";
  // Every line of a whole run, which ends with `output`.
  const auto run_lines = [](const std::string& output) {
    return "status: Please open read file..\nstatus: Please select voice file..\n"
           "status: Please select DB text file..\nstatus:    Press Start button..\noutput: " +
           output + "\nstatus:    Success..\n";
  };
  const std::string unpacked =
      "wrote parts/K93_FW_v0102.bin\nwrote parts/K93_Voice_v0034.bin\nwrote parts/TempDb.bin\n";
  const std::string given_report =
      "given/TempDb.bin: database, 79 bytes\n"
      "  version: \"V1.0 563412\" (the text's \"V1.0 123456\")\n  cells: 2, points: 2\n"
      "  bounding box: longitude 126.9501 to 126.9807, latitude 37.3894 to 37.4163\n"
      "  fullest cell: 122493131 with 1 of 65535 points\n  points per type: 1: 1, 5: 1\n"
      "  size: 79 of 8388608 bytes\n  valid\n";
  const std::string images_chosen =
      "status: Please open read file..\nstatus: Please select voice file..\n"
      "status: Please select DB text file..\n";
  // The lines up to "Generate File", which a run's own lines follow.
  const std::string pressed = images_chosen + "status:    Press Start button..\n";
  const std::string waiting = pressed + "status:  Waiting for another run..\n";
  // Arguments, exit status, the whole of standard output (or, after "...",
  // how it ends) and what standard error holds (empty: nothing); then the
  // shell's setup and where standard output goes.
  struct Row {
    std::string args;
    int exit_status;
    std::string out, err_part;
    std::string setup = "";
    std::string out_to = "stdout.txt";
  };
  // clang-format off
  const Row cases[] = {
      {generate + "cams.txt --out-dir out", 0, run_lines(package), "cams.txt: warning: the text holds no camera rows: the database would hold only the two sample rows\n"},
      {generate + "cams.txt --strict --out-dir strict", 1, "", "korvel-cli: --strict: cams.txt: 0 rows, 0 errors, 1 warning; nothing written\n"},
      // The encoder's trace ends just before the output line.
      {generate + "rows.txt --per-model --trace --out-dir models", 0,
       "...\nBodys\n\noutput: " + (models / "ulma_db_ver2.bin").string() + "\nstatus:    Success..\n", "rows.txt:3: warning: SPEED 300 is outside 0 to 255: stored as 44\n"},
      {generate + "bad.txt", 1, pressed + "status: Error : Line 3\n", ""},
      {generate + "none.txt", 1, images_chosen,
       "DB text file none.txt: No such file or directory\n"},
      {generate + too_long, 1, images_chosen, too_long + ": File name too long\n"},
      {"generate --fw K93_FW_v12.bin --voice K93_Voice_v0034.bin --db cams.txt", 1,
       "status: Please open read file..\nstatus: Cannot file FW file..\n", "was not accepted"},
      {generate + "cams.txt --out-dir blocker/sub", 1, "", "cannot create output folder blocker/sub: Not a directory\n"},
      {generate + "cams.txt --out-dir " + too_long + "/x", 1, "", "cannot create output folder " + too_long + "/x: File name too long\n"},
      // The first 20 warnings, then a count; --strict stops before the output folder is made.
      {generate + "warn.txt --out-dir=warned", 0, run_lines((dir / "warned" / "K93_F0102_V0034_D3456.bin").string()), "warn.txt:22: warning: X \"127,5\" has a decimal comma: read as 127\nwarn.txt: 5 more; 'korvel-cli check warn.txt' lists them all\n"},
      {generate + "warn.txt --strict --out-dir strict", 1, "", "korvel-cli: --strict: warn.txt: 25 rows, 0 errors, 25 warnings; nothing written\n"},
      {"check one.txt", 0, "one.txt: 1 row, 0 errors, 0 warnings\n", ""},
      {"check --strict - <warn.txt", 1, "...-:27: warning: X \"127,5\" has a decimal comma: read as 127\n-: 25 rows, 0 errors, 25 warnings\n", ""},
      {"check bad.txt none.txt", 2, "bad.txt:3: error: 2 fields, 6 TAB-separated fields expected (the dialog shows \"Error : Line 3\")\nbad.txt: 0 rows, 1 error, 0 warnings\n", "korvel-cli: none.txt: No such file or directory\n"},
      {"check bad.txt", 1, "bad.txt:3: error: 2 fields, 6 TAB-separated fields expected (the dialog shows \"Error : Line 3\")\nbad.txt: 0 rows, 1 error, 0 warnings\n", ""},
      {"inspect given/TempDb.bin", 0, given_report, ""},
      {"inspect cams.txt bad.txt", 1,
       "cams.txt: camera text, 45 bytes, which generate encodes as a database, 79 bytes\n"
       "  version: \"V1.0 563412\" (the text's \"V1.0 123456\")\n  cells: 2, points: 2\n"
       "  bounding box: longitude 126.9501 to 126.9807, latitude 37.3894 to 37.4163\n"
       "  fullest cell: 122493131 with 1 of 65535 points\n  points per type: 1: 1, 5: 1\n"
       "  size: 79 of 8388608 bytes\n  valid\n"
       "bad.txt: generate stops on this camera text with \"Error : Line 3\" ('korvel-cli check bad.txt' lists every problem)\n", ""},
      {"inspect bad.txt", 1, "bad.txt: generate stops on this camera text with \"Error : Line 3\" ('korvel-cli check bad.txt' lists every problem)\n", ""},
      {"inspect none.bin", 2, "", "none.bin: No such file or directory"},
      {"export given/K93_F0102_V0034_D3456.bin", 0, header_only, ""},
      {"export given/TempDb.bin -o - ", 0, header_only, ""},
      // Exported and generated again: the same database, byte for byte.
      {generate + "exported.txt --per-model --out-dir again", 0, run_lines((dir / "again" / "ulma_db_ver2.bin").string()), "exported.txt:3: warning: longitude X -1 is negative", rows_db + cli + "export rows/TempDb.bin -o exported.txt; "},
      {"export bad.txt -o out.txt", 1, "", "korvel-cli: bad.txt: generate stops on this camera text with \"Error : Line 3\""},
      {"export blocker -o out.txt", 1, "", "blocker: not a camera database or K93 package"},
      {"export given/TempDb.bin --format xlsx", 2, "", "Try 'korvel-cli export --help'"},
      {"export given/TempDb.bin --format csv", 0,
       "x,y,type,speed,dirtype,direction,sample\r\n126.9501,37.3894,5,80,0,247,true\r\n"
       "126.9807,37.4163,1,70,1,15,true\r\n",
       ""},
      {"diff given/TempDb.bin given/K93_F0102_V0034_D3456.bin", 0, same_two, ""},
      {"diff rows/TempDb.bin given/K93_F0102_V0034_D3456.bin", 1, rows_diff, "", rows_db},
      {"diff given/TempDb.bin cams.txt", 0, same_two, ""},
      {"diff given/TempDb.bin blocker", 2, "", "blocker: not a camera database or K93 package"},
      // A camera text's whole version line goes out and comes back in; a
      // database keeps only its first 11 characters.
      {"export kml.txt -o k.tsv && " + cli + "import k.tsv 2>/dev/null | head -1", 0, "V1.0 240601 kml\r\n", ""},
      {"export kml.txt --format geojson -o k.geojson && " + cli + "import k.geojson 2>/dev/null | head -1", 0, "V1.0 240601 kml\r\n", ""},
      {"export kml.txt --format gpx -o k.gpx && " + cli + "import k.gpx 2>/dev/null | head -1", 0, "V1.0 240601 kml\r\n", ""},
      {"export kml.txt --format kml -o k.kml && " + cli + "import k.kml 2>/dev/null | head -1", 0, "V1.0 240601 kml\r\n", ""},
      {"export kmldb/TempDb.bin --format kml -o d.kml && " + cli + "import d.kml 2>/dev/null | head -1", 0, "V1.0 240601\r\n", "", cli + generate + "kml.txt --per-model --out-dir kmldb >/dev/null 2>&1; "},
      {"export bad.txt --format geojson", 1, "", "korvel-cli: bad.txt: generate stops on this camera text with \"Error : Line 3\""},
      // Failures of every command in one form; a name in CP949 keeps its bytes.
      {"export none.bin", 2, "", "korvel-cli: none.bin: No such file or directory\n"},
      {"export \"$(printf 'n\\300\\247.bin')\"", 2, "", "korvel-cli: n\xC0\xA7.bin: No such file or directory\n"},
      {"export given/TempDb.bin -o blocker/x.txt", 2, "", "korvel-cli: cannot lock folder blocker: "},
      {"diff none.bin cams.txt", 2, "", "korvel-cli: none.bin: No such file or directory\n"},
      {"diff cams.txt bad.txt", 2, "", "korvel-cli: bad.txt: generate stops on this camera text with \"Error : Line 3\""},
      {"unpack none.bin", 2, "", "korvel-cli: none.bin: No such file or directory\n"},
      {"inspect \"$(printf '\\300\\247\\n.bin')\"", 2, "", "korvel-cli: \xC0\xA7\\n.bin: No such file or directory\n"},
      {"unpack given/TempDb.bin", 1, "", "given/TempDb.bin: not a K93 package"},
      {"unpack given/K93_F0102_V0034_D3456.bin -o parts", 0, unpacked, ""},
      {"unpack given/K93_F0102_V0034_D3456.bin -o parts", 1, "", "parts/K93_FW_v0102.bin exists; --force replaces it", unpack_first},
      {"unpack --force -o parts given/K93_F0102_V0034_D3456.bin", 0, unpacked, "", unpack_first},
      {"", 2, "", "korvel-cli: a command is required\n" + usage + " --help' for more information.\n"},
      {"chek one.txt", 2, "", "korvel-cli: unknown command 'chek'; did you mean 'check'?\n"},
      {"--versio", 2, "", "korvel-cli: unknown option '--versio'; did you mean '--version'?\n"},
      {"check --strict=yes one.txt", 2, "", "korvel-cli: option '--strict' takes no value\n"},
      {"check --bogus", 2, "", "korvel-cli: unknown option '--bogus'\nTry 'korvel-cli check --help'"},
      {"generate --fw a --fw b --voice c --db d", 2, "", "korvel-cli: --fw: given more than once\n"},
      {"diff - - <cams.txt", 2, "", "korvel-cli: standard input can be read only once; give '-' for one of OLD and NEW\n"},
      {"build", 2, "", "korvel-cli: unknown command 'build'\n"},
      {"check", 2, "", "korvel-cli: FILE is required\nTry 'korvel-cli check --help'"},
      {"generate --fw", 2, "", "--fw: needs a value\n"},
      {"generate --fw '' --voice x --db y", 2, "", "--fw: needs a value\n"},
      {"generate --fw K93_FW_v0102.bin --voice K93_Voice_v0034.bin", 2, "", "--db is required\n"},
      {generate + "cams.txt --bogus", 2, "", "unknown option '--bogus'\nTry 'korvel-cli generate --help'"},
      {"generate --help", 0, "...2 for a usage error.\n", ""},
      {"check --help", 0, "...2 for a usage error or a file that cannot be read.\n", ""},
      {"-V", 0, "korvel-cli 1.0.0.1\n", ""}, {"--version", 0, "korvel-cli 1.0.0.1\n", ""},
      // Each unpack and export -o holds the folder's lock: here it waits for a
      // holder. A lock file that is a FIFO or a link is refused, by generate too.
      {"unpack given/K93_F0102_V0034_D3456.bin -o held", 0, "wrote held/K93_FW_v0102.bin\nwrote held/K93_Voice_v0034.bin\nwrote held/TempDb.bin\n", "korvel-cli: waiting for another run to let go of held\n", "mkdir held && { flock held/.korvel.lock sleep 2 & } && until [ -e held/.korvel.lock ]; do sleep 0.05; done; sleep 0.2; "},
      {"unpack given/K93_F0102_V0034_D3456.bin -o fifo", 2, "", "korvel-cli: cannot lock folder fifo: .korvel.lock is not a regular file (a FIFO)\n", "mkdir fifo && mkfifo fifo/.korvel.lock; "},
      {"export given/TempDb.bin -o link/x.txt", 2, "", "korvel-cli: cannot lock folder link: .korvel.lock is a symbolic link\n", "mkdir link && ln -s /nowhere/korvel link/.korvel.lock; "},
      {generate + "cams.txt --out-dir lockfifo", 1, pressed + "status:  Folder lock Fail..\n", "korvel-cli: cannot lock folder " + (dir / "lockfifo").string() + ": .korvel.lock is not a regular file (a FIFO)\n", "mkdir lockfifo && mkfifo lockfifo/.korvel.lock; "},
      // Another user's run can open a lock file made under umask 077.
      {"unpack given/K93_F0102_V0034_D3456.bin -o umask >/dev/null && stat -c %a umask/.korvel.lock", 0, "644\n", "", "umask 077; "},
      // A target keeps its mode and its link, and a device is written into.
      {"export given/TempDb.bin -o private.txt && stat -c %a private.txt", 0, "600\n", "", "touch private.txt && chmod 600 private.txt && "},
      {"export given/TempDb.bin -o linked.txt && { readlink linked.txt; head -c 13 real.txt; }", 0, "real.txt\nV1.0 123456\r\n", "", "ln -s real.txt linked.txt && "},
      {"export given/TempDb.bin -o /dev/stdout", 0, header_only, ""},
      {"export given/TempDb.bin -o /dev/full", 2, "", "korvel-cli: /dev/full: No space left on device\n"},
      {cut_long + " && ls | grep -c eeee", 0, "1\n", ""},
      // A point no map can place is left out of the map formats, not of tsv.
      {"export neg/TempDb.bin --format kml -o /dev/null", 0, "", "neg/TempDb.bin: warning: camera 2 at stored X 4294967295 has no map position; left out\n", "'" KORVEL_CLI_PATH "' " + generate + "negative.txt --per-model --out-dir neg >/dev/null 2>&1; "},
      // Reports that do not reach standard output whole.
      {"check one.txt", 2, "", "korvel-cli: standard output: No space left on device\n", "", "/dev/full"},
      {"inspect --json given/TempDb.bin given/K93_F0102_V0034_D3456.bin", 2, "", "korvel-cli: standard output: No space left on device\n", "", "/dev/full"},
      {"diff given/TempDb.bin given/TempDb.bin", 2, "", "korvel-cli: standard output: No space left on device\n", "", "/dev/full"},
      // The waiting line shows while the run waits, not after.
      {generate + "cams.txt --out-dir waits >w.txt & { sleep 1; cat w.txt; wait; }", 0, waiting, "", "mkdir waits && { flock waits/.korvel.lock sleep 2 & } && sleep 0.3; "},
      // Huge, endless, truncated and unwritable inputs.
      {"inspect huge.bin", 2, "", "korvel-cli: huge.bin: 600 MiB is over the 512 MiB a database can hold\n", "truncate -s 600M huge.bin && "},
      {"export cut.bin", 1, "", "korvel-cli: cut.bin: truncated: 40 bytes, at least 79 expected\n", "head -c 40 given/TempDb.bin >cut.bin && "},
      {"unpack cut.bin", 1, "", "korvel-cli: cut.bin: truncated: 100 bytes, at least 5242959 expected\n", "head -c 100 given/K93_F0102_V0034_D3456.bin >cut.bin && "},
      {"export given/unwritable.bin", 1, "", "point 0 has a coordinate no text reads back as\n"},
      // map: the SVG goes to a file, and only when every input gives cameras.
      {"map one.txt", 2, "", "korvel-cli: --output is required\n"},
      {"map one.txt -o -", 2, "", "korvel-cli: the map goes to a file: give its name, not '-'\nTry 'korvel-cli map --help'"},
      {"map one.txt --bbox 127,37,126,38 -o bad.svg", 2, "", "--bbox: '127,37,126,38' is not LON1,LAT1,LON2,LAT2"},
      {"map one.txt blocker -o bad.svg", 2, "", "korvel-cli: blocker: not a camera database or K93 package\n"},
      {"map given/empty.bin -o bad.svg", 2, "", "korvel-cli: given/empty.bin: holds no cameras\n"},
      {"map cut.bin -o bad.svg", 2, "", "korvel-cli: cut.bin: truncated: 100 bytes"},
      {"map none.txt -o bad.svg", 2, "", "korvel-cli: none.txt: No such file or directory\n"},
      {"map one.txt bad.txt -o bad.svg", 1, "", "bad.txt:3: error: 2 fields, 6 TAB-separated fields expected (the dialog shows \"Error : Line 3\")\nkorvel-cli: bad.txt: generate stops on this camera text"},
      {"map neg/TempDb.bin -o neg.svg", 0, "", "neg/TempDb.bin: warning: camera 2 at stored X 4294967295 has no map position; left out\n"},
      {"-V >/dev/null && grep -c '<g class=\"camera[ \"]' neg.svg", 0, "2\n", ""},
      {"map - -o stdin.svg <one.txt && grep -c 'line 3</title>' stdin.svg", 0, "1\n", ""},
      {"diff given/TempDb.bin cams.txt --map same.svg", 0, same_two, ""},
      {"diff given/TempDb.bin one.txt --map -", 2, "", "give its name, not '-'"},
      {"diff given/TempDb.bin one.txt --map /dev/full", 2, "+ 127.0000\t37.5000\t3\t60\t1\t90\n" + same_two.substr(0, same_two.rfind("0 added")) + "1 added, 0 removed, 0 changed, 2 unchanged\n", "korvel-cli: /dev/full: No space left on device\n"}};
  // clang-format on
  for (const auto& [args, exit_status, expected_out, err_part, setup, out_to] : cases) {
    SCOPED_TRACE(args);
    std::string out, err;
    EXPECT_EQ(folder.Run(args, out, err, setup, out_to), exit_status);
    if (expected_out.starts_with("...")) {
      EXPECT_TRUE(out.ends_with(expected_out.substr(3))) << out;
    } else {
      EXPECT_EQ(out, expected_out);
    }
    EXPECT_TRUE(err_part.empty() ? err.empty() : err.find(err_part) != std::string::npos) << err;
  }
  EXPECT_TRUE(SameBytes(ReadBytes(out_dir / "TempDb.bin"), kSampleDb));
  EXPECT_TRUE(SameBytes(ReadBytes(package), ExpectedPackage(fw, voice, kSampleDb)));
  EXPECT_EQ(ReadText(models / "narv_db_ver2_563412.bin"), ReadText(models / "TempDb.bin"));
  EXPECT_TRUE(
      SameBytes(ReadBytes(dir / "again" / "TempDb.bin"), ReadBytes(dir / "rows/TempDb.bin")));
  EXPECT_EQ(ReadText(dir / "cams.txt"), kHeaderOnlyText);
  for (const char* gone : {"TempDbFile.txt", "strict", "out.txt", "bad.svg"}) {
    EXPECT_FALSE(fs::exists(dir / gone)) << gone;
  }
}

// The map exports, inspect --json of a small database and its package, and
// the SVG maps of its text and of a diff,
// byte for byte as committed (tests/golden/make-goldens writes them again).
TEST(CliImport, ExitStatusesProblemsAndTheOutputFile) {
  const CliFolder folder("korvel-import");
  std::string csv = "lon,lat,type\n";
  for (int i = 0; i < 25; ++i) csv += "-127," + std::to_string(30 + i) + ",1\n";
  folder.Write("bad.csv", csv + "127,37,1\n");
  folder.Write("good.csv", "lon,lat,type\n127,37,1\n");
  folder.Write("empty.csv", "lon,lat,type\n");
  folder.Write("notype.csv", "lon,lat\n127,37\n");
  const auto overpass = [](const std::string& lat) {
    return "{\"version\":0.6,\"generator\":\"Overpass API\",\"elements\":[{\"type\":"
           "\"node\",\"id\":11,\"lat\":" +
           lat + ",\"lon\":127,\"tags\":{\"highway\":\"speed_camera\"}}]}\n";
  };
  folder.Write("osm.json", overpass("37"));
  folder.Write("south.json", overpass("-37"));
  folder.Write("broken.geojson", "{\"type\":");
  folder.Write("old.txt", "keep");
  folder.Write("nul.dat", std::string("lon,lat,type\n127,3\0"
                                      "7,1\n128,36,1\n",
                                      31));
  folder.Write(
      "good.txt",
      "V1.0 654321 base\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n128\t36\t1\t0\t0\t0\r\n");
  const std::string version = "--version-line 'V1.0 123456 test' ";
  std::string out, err;
  const struct {
    std::string args;
    int status;
    std::string written;  ///< old.txt afterwards
    std::string err_has;
    std::string setup = "";      ///< a pipe into korvel-cli
    std::string err_lacks = "";  ///< what standard error must not hold
  } cases[] = {
      {version + "good.csv -o old.txt", 0,
       "V1.0 123456 "
       "test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "good.csv: note: X from \"lon\", Y from \"lat\", TYPE from \"type\"\nkorvel-cli: import: 1 "
       "camera written; 0 errors, 0 warnings, 1 notes; version line from --version-line\n"},
      {"--version-line \"$(printf 'V1.0 123456\\r\\n1.5\\t1.5')\" good.csv -o old.txt", 2, "keep",
       "korvel-cli: import: --version-line \"V1.0 123456\\r\\n1.5\\t1.5\" holds a control "
       "character at character 12: a version line is one line of printable text\n"},
      {"--version-line \"$(printf 'V1.0 123456 \\177')\" good.csv -o old.txt", 2, "keep",
       "holds a control character at character 13"},
      {version + "--from csv nul.dat -o old.txt", 1,
       "V1.0 123456 "
       "test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n128.0000\t36.0000\t1\t0\t0\t0\r\n",
       "nul.dat:2: error: a NUL byte in column 2; skipped\n"},
      {"--base good.txt good.csv -o old.txt", 0,
       "V1.0 654321 "
       "base\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n128.0000\t36.0000\t1\t0\t0\t0\r\n"
       "127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "version line from --base good.txt\n"},
      {version + "bad.csv -o old.txt", 1,
       "V1.0 123456 "
       "test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "bad.csv:4: error: longitude X -127 is west or south: the device stores no sign; "
       "skipped\nbad.csv: 22 more errors like \"longitude X -127 is west or south: the device "
       "stores no sign; skipped\"\nkorvel-cli: import: 1 camera written; 25 errors"},
      {version + "--max-problems 0 bad.csv -o old.txt", 1,
       "V1.0 123456 "
       "test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "bad.csv:26: error: longitude X -127 is west or south: the device stores no sign; "
       "skipped\nkorvel-cli: import: 1 camera written"},
      {version + "--max-problems 2 bad.csv -o old.txt", 1,
       "V1.0 123456 "
       "test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "bad.csv:2: error: longitude X -127 is west or south: the device stores no sign; "
       "skipped\nkorvel-cli: 3 more problems not shown\n"},
      {version + "--strict bad.csv -o old.txt", 1, "keep", "nothing written"},
      {version + "broken.geojson -o old.txt", 1, "keep", "broken.geojson: not GeoJSON"},
      {"good.csv -o old.txt", 2, "keep", "no version line"},
      {version + "empty.csv -o old.txt", 1, "keep",
       "korvel-cli: import: no camera to write: the inputs hold none; nothing written\n"},
      {version + "--near nan good.csv -o old.txt", 2, "keep",
       "korvel-cli: --near: nan is not a distance from 0.1 to 10000 metres\n"},
      {version + "--dedupe near --near 1e300 good.csv -o old.txt", 2, "keep",
       "korvel-cli: --near: 1e300 is not a distance from 0.1 to 10000 metres\n"},
      {version + "--field TYPE=kind --values TYPE:a=3 good.csv -o old.txt", 0,
       "V1.0 123456 "
       "test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "good.csv: note: X from \"lon\", Y from \"lat\"; not used: type (--field FIELD=NAME takes "
       "one)\ngood.csv: warning: no TYPE: the camera takes TYPE 1 (--type N or --field "
       "TYPE=NAME)\n"},
      {version + "--values TYPE:a=3 notype.csv -o old.txt", 2, "keep",
       "korvel-cli: import: --values TYPE: notype.csv has no TYPE to map: name its source with "
       "--field TYPE=NAME, or give TYPE:*=N for every camera\nTry"},
      {version + "--values TYPE:a=3,*=4 notype.csv -o old.txt", 0,
       "V1.0 123456 "
       "test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n127.0000\t37.0000\t4\t0\t0\t0\r\n",
       "notype.csv: note: X from \"lon\", Y from \"lat\", TYPE from --values TYPE:*=4\n"
       "korvel-cli: import: 1 camera written; 0 errors, 0 warnings, 1 notes"},
      {version + "--field Y=lat osm.json -o old.txt", 2, "keep",
       "korvel-cli: import: --field Y: osm.json holds OpenStreetMap data, whose nodes give the "
       "positions: --field X and Y name no tag\nTry",
       "", "ODbL"},
      // The licence note only with cameras from OpenStreetMap written.
      {version + "osm.json -o old.txt", 0,
       "V1.0 123456 "
       "test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "Database License (ODbL)"},
      {version + "osm.json broken.geojson -o old.txt", 1, "keep", "not GeoJSON", "", "ODbL"},
      {version + "south.json -o old.txt", 1, "keep", "no camera to write", "", "ODbL"},
      {version + "south.json good.csv -o old.txt", 1,
       "V1.0 123456 "
       "test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "1 camera written", "", "ODbL"},
      {version + "--field SPEED good.csv -o old.txt", 2, "keep",
       "korvel-cli: import: --field \"SPEED\": FIELD=NAME expected\nTry"},
      {version + "--values TYPE:a=300 good.csv -o old.txt", 2, "keep",
       "--values \"TYPE:a=300\": TYPE 300 is outside 0 to 255"},
      {version + "missing.csv -o old.txt", 2, "keep", "missing.csv: "},
#ifdef KORVEL_HAVE_OSMIUM
      {version + "--from osm missing.osm -o old.txt", 2, "keep",
       "korvel-cli: missing.osm: No such file or directory\n"},
#endif
      // Detection peeks: a pipe keeps its first bytes.
      {version + "/dev/stdin -o old.txt", 0,
       "V1.0 123456 "
       "test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "1 camera written", "cat good.csv | "},
      {version + "- -o old.txt", 0,
       "V1.0 123456 "
       "test\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n127.0000\t37.0000\t1\t0\t0\t0\r\n",
       "1 camera written", "cat good.csv | "},
#ifdef KORVEL_HAVE_OSMIUM
      {version + "/dev/stdin -o old.txt", 2, "keep",
       "korvel-cli: /dev/stdin: the file reads otherwise the second time (a pipe?); "
       "OpenStreetMap data is read twice, so give a file\n",
       "printf '<osm version=\"0.6\">\\n</osm>\\n' | "},
#endif
      {version + "- -o old.txt", 1, "keep",
       "korvel-cli: -: not GeoJSON: a FeatureCollection or a Feature expected; nothing written\n",
       "echo '{\"type\":\"Point\"}' | "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    folder.Write("old.txt", "keep");
    EXPECT_EQ(folder.Run("import " + c.args, out, err, c.setup), c.status);
    EXPECT_EQ(ReadText(folder.dir / "old.txt"), c.written);
    EXPECT_NE(err.find(c.err_has), std::string::npos) << err;
    if (!c.err_lacks.empty()) {
      EXPECT_EQ(err.find(c.err_lacks), std::string::npos) << err;
    }
  }
}

TEST(CliGolden, MapExportsAndInspectJson) {
  const CliFolder folder("korvel-golden");
  const fs::path golden = KORVEL_GOLDEN_DIR;
  ASSERT_EQ(folder.Shell("'" + (golden / "make-goldens").string() + "' '" KORVEL_CLI_PATH "' ."),
            0);
  for (const char* name : {"cameras.geojson", "cameras.gpx", "cameras.kml", "inspect.json",
                           "map.svg", "diff-map.svg"}) {
    SCOPED_TRACE(name);
    const Bytes made = ReadBytes(folder.dir / name);
    EXPECT_FALSE(made.empty());
    EXPECT_TRUE(SameBytes(made, ReadBytes(golden / name)));
  }
}

TEST(ConcurrentRuns, SameFoldersGiveEachRunItsOwnWholeOutputs) {
  const CliFolder folder("korvel-runs");
  const fs::path dir = folder.dir, out = dir / "out";
  folder.Write("K93_FW_v0102.bin", std::string(249856, 'Z'));
  folder.Write("K93_Voice_v0034.bin", std::string(70000, 'V'));
  // Two texts in one folder share the working copy; big enough to overlap.
  for (const char* name : {"a.txt", "b.txt"}) {
    std::ofstream text(dir / name, std::ios::binary);
    text << "V1.0 123456\r\nX\tY\tTYPE\tSPEED\tFLAG\tANGLE\r\n";
    char row[80];
    for (int i = 0; i < 40000; ++i) {
      std::snprintf(row, sizeof row, "%.6f\t%.6f\t%c\t60\t1\t90\r\n", 126.0 + i * 1e-5,
                    37.0 + (i % 977) * 1e-4, name[0] == 'a' ? '3' : '1');
      text << row;
    }
  }
  const std::string cli = "'" KORVEL_CLI_PATH
                          "' generate --fw K93_FW_v0102.bin "
                          "--voice K93_Voice_v0034.bin --out-dir out --db ";
  const std::string runs[] = {cli + "a.txt", cli + "b.txt --per-model"};
  const fs::path package = out / "K93_F0102_V0034_D3456.bin", ulma = out / "ulma_db_ver2.bin";
  ASSERT_EQ(folder.Shell(runs[0] + " >/dev/null && " + runs[1] + " >/dev/null"), 0);
  const std::string alone_package = ReadText(package), alone_ulma = ReadText(ulma);
  fs::remove_all(out);

  std::string together, waits;
  for (int i = 0; i < 8; ++i) {
    const std::string n = std::to_string(i);
    together += runs[i % 2] + " | grep -q '^status:    Success..$' & p" + n + "=$!; ";
    waits += "wait $p" + n + " || echo " + n + " >>failed; ";
  }
  ASSERT_EQ(folder.Shell(together + waits), 0);
  EXPECT_FALSE(fs::exists(dir / "failed")) << ReadText(dir / "failed");
  EXPECT_TRUE(ReadText(package) == alone_package && ReadText(ulma) == alone_ulma &&
              ReadText(out / "narv_db_ver2_563412.bin") == alone_ulma);
  for (const fs::path& folder : {dir, out}) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name.find(".tmp") == std::string::npos && name != "TempDbFile.txt") << name;
    }
  }
}

#endif

}  // namespace
}  // namespace korvel
