// The OpenStreetMap reader over any bytes, written to a scratch file since the
// reader takes a path and reads it twice. It must hand over only cameras the
// device rules allow for the fields it fills (a direction 0..359, none without
// DIRTYPE 1, no negative speed), a reason with every failure and every problem,
// and never throw.
//
// Input: the file's bytes (XML, PBF, or anything else).

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "exchange/formats/osm_reader.h"
#include "fuzz/fuzz_check.h"
#include "platform/real_file_system.h"

namespace korvel::fuzz {
namespace {

// A scratch file for one input, removed after it: libFuzzer ends the process
// without running static destructors.
class ScratchFile {
 public:
  ScratchFile() {
    std::string name = "/tmp/korvel-fuzz-osm-XXXXXX";
    const int fd = mkstemp(name.data());
    Require(fd >= 0, "no scratch file");
    close(fd);
    path_ = name;
  }
  ~ScratchFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int FuzzOsm(const std::uint8_t* data, std::size_t size) {
  const ScratchFile scratch;
  {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(scratch.path().c_str(), "wb"));
    Require(file && std::fwrite(data, 1, size, file.get()) == size,
            "cannot write the scratch file");
  }
  Problem failure;
  RealFileSystem fs;
  SourceFile source(fs, scratch.path());
  const bool ok = ReadOsmCameras(
      source,
      [](const OsmCamera& camera) {
        Require(camera.direction >= 0 && camera.direction <= 359,
                "direction " + std::to_string(camera.direction) + " outside 0..359");
        Require(camera.dirtype == 1 || (camera.dirtype == 0 && camera.direction == 0),
                "DIRTYPE " + std::to_string(camera.dirtype) + " with direction " +
                    std::to_string(camera.direction));
        Require(camera.speed >= 0, "negative speed " + std::to_string(camera.speed));
      },
      [](const OsmProblem& problem) {
        Require(!problem.message.empty(), "a problem without words");
      },
      failure);
  Require(ok || !failure.message.empty(), "failed without a reason");
  return 0;
}

}  // namespace korvel::fuzz

KORVEL_FUZZ_ENTRY(FuzzOsm)
