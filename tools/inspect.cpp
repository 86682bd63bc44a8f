// korvel-inspect: reads a device database file or a K93 package back, checks
// everything the devices rely on and prints what it holds.
//
//   korvel-inspect [--points] FILE...
//
// Exit status 0 when every file is sound, 1 when one is not, 2 on usage.

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "generate/db_reader.h"
#include "generate/package.h"
#include "platform/real_file_system.h"

namespace korvel {
namespace {

bool AllZero(const Bytes& bytes, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

bool ShowDatabase(const Bytes& bytes, bool points) {
  std::string error;
  const auto db = DecodeDb(bytes, &error);
  if (!db) {
    std::cout << "  database: INVALID: " << error << "\n";
    return false;
  }
  std::cout << "  database: " << bytes.size() << " bytes, version \"" << db->version << "\", "
            << db->cells.size() << " cells, " << db->points.size() << " points\n";
  if (points) {
    for (const GPS_POINT& p : db->points) {
      std::printf("    id=%u x=%u y=%u type=%u speed=%u flag=%u angle=%u\n", p.id, p.x, p.y, p.type,
                  p.speed, p.flag, p.angle);
    }
  }
  return true;
}

bool ShowPackage(const Bytes& bytes, bool points) {
  const std::uint32_t fw = LoadU32(bytes.data() + 1);
  const std::uint32_t voice = LoadU32(bytes.data() + 5);
  const std::uint32_t db = LoadU32(bytes.data() + 9);
  std::cout << "  K93 package: firmware " << fw << " bytes, voice " << voice << " bytes, database "
            << db << " bytes\n";
  bool ok = true;
  auto fault = [&ok](const char* text) {
    std::cout << "  INVALID: " << text << "\n";
    ok = false;
  };
  if (bytes[0] != 0 || bytes[13] != 0 || bytes[14] != 0 || bytes[15] != 0) {
    fault("header bytes 0 and 13 to 15 are not zero");
  }
  if (fw > kFwRoom) fault("firmware longer than its room");
  if (voice > kVoiceRoom) fault("voice image longer than its room");
  if (bytes.size() != std::uint64_t{kDbOffset} + db) fault("length is not 0x500000 + database");
  if (!ok) return false;
  if (!AllZero(bytes, kFwOffset + fw, kVoiceOffset)) fault("fill after the firmware not zero");
  if (!AllZero(bytes, kVoiceOffset + voice, kDbOffset)) fault("fill after the voice not zero");
  const Bytes database(bytes.begin() + kDbOffset, bytes.end());
  return ShowDatabase(database, points) && ok;
}

int Main(int argc, char** argv) {
  bool points = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--points") {
      points = true;
    } else if (arg == "--help" || arg.rfind("--", 0) == 0) {
      std::cerr << "usage: korvel-inspect [--points] FILE...\n";
      return arg == "--help" ? 0 : 2;
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    std::cerr << "usage: korvel-inspect [--points] FILE...\n";
    return 2;
  }
  RealFileSystem fs;
  bool all_ok = true;
  for (const std::string& path : files) {
    std::cout << path << "\n";
    Bytes bytes;
    if (ReadWholeFile(fs, path, bytes) != ReadResult::kOk) {
      std::cout << "  cannot be read\n";
      all_ok = false;
      continue;
    }
    const bool package = bytes.size() >= kDbOffset;
    all_ok = (package ? ShowPackage(bytes, points) : ShowDatabase(bytes, points)) && all_ok;
  }
  return all_ok ? 0 : 1;
}

}  // namespace
}  // namespace korvel

int main(int argc, char** argv) {
  return korvel::Main(argc, argv);
}
