// korvel-make-samples DIR [ROWS]: writes the sample inputs of the main job
// into DIR, the same bytes on every run and every machine:
//   K93_FW_v0102.bin     a K93 firmware image, 249856 bytes of noise
//   K93_Voice_v0034.bin  a voice image, 1500000 bytes of noise
//   cameras.txt          a camera text of ROWS rows (default 3000) around
//                        Seoul, CR LF lines; the first 3000 rows never change

#include <CLI/CLI.hpp>

#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

#include "app/cli/usage.h"
#include "platform/path.h"
#include "platform/real_file_system.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kFirmwareLength = 249856;
constexpr std::uint32_t kVoiceLength = 1500000;
constexpr long kDefaultCameraRows = 3000;
/// Enough for the speed runs; 300 grid cells keep every cell under 65535 points.
constexpr long kMaxCameraRows = 10000000;
/// The version characters at positions 5 to 10 are the database version.
constexpr char kVersionLine[] = "V1.0 211105 synthetic";
constexpr char kHeaderLine[] = "X\tY\tTYPE\tSPEED\tFLAG\tANGLE";

// Coordinates in millionths of a degree: a box over Seoul.
constexpr std::int64_t kLonMin = 126800000;
constexpr std::int64_t kLonSpan = 400000;
constexpr std::int64_t kLatMin = 37400000;
constexpr std::int64_t kLatSpan = 300000;
constexpr int kSpeeds[] = {30, 40, 50, 60, 70, 80, 100, 110};

/// xorshift32: small, fast and the same everywhere, which is all the samples
/// need. The seed fixes every byte written.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  /// A value in [0, bound).
  std::uint32_t Below(std::uint32_t bound) { return Next() % bound; }

 private:
  std::uint32_t state_;
};

/// "126.950100" from 126950100.
std::string Degrees(std::int64_t micro) {
  std::string fraction = std::to_string(micro % 1000000);
  fraction.insert(0, 6 - fraction.size(), '0');
  return std::to_string(micro / 1000000) + "." + fraction;
}

/// Writes `bytes` to `path` whole, through a temporary name.
bool WriteFile(korvel::FileSystem& files, const std::string& path, std::string_view bytes) {
  korvel::FileError error{path, 0, "cannot be written"};
  korvel::StagedFile staged(files, path);
  auto file = staged.Create(&error);
  const bool written = file && file->Write(bytes.data(), bytes.size());
  if (!(written && file->Close() && staged.Commit())) {
    std::cerr << "korvel-make-samples: " << path << ": " << error.description << std::endl;
    return false;
  }
  std::cout << "wrote " << path << " (" << bytes.size() << " bytes)" << std::endl;
  return true;
}

std::string Noise(std::uint32_t length, std::uint32_t seed) {
  Random random(seed);
  std::string bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random.Next() >> 24);
  return bytes;
}

std::string CameraText(long rows) {
  Random random(0x4B393333);
  std::string text = std::string(kVersionLine) + "\r\n" + kHeaderLine + "\r\n";
  text.reserve(static_cast<std::size_t>(rows) * 34 + text.size());
  for (long row = 0; row < rows; ++row) {
    const std::int64_t lon = kLonMin + random.Below(kLonSpan + 1);
    const std::int64_t lat = kLatMin + random.Below(kLatSpan + 1);
    const std::uint32_t type = 1 + random.Below(9);
    const int speed = kSpeeds[random.Below(std::size(kSpeeds))];
    const std::uint32_t flag = random.Below(2);
    const std::uint32_t angle = random.Below(360);
    text += Degrees(lon) + '\t' + Degrees(lat) + '\t' + std::to_string(type) + '\t' +
            std::to_string(speed) + '\t' + std::to_string(flag) + '\t' + std::to_string(angle) +
            "\r\n";
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(
      "Writes the synthetic sample inputs: a K93 firmware image, a voice image and a\n"
      "camera text around Seoul, the same bytes on every run and every machine.",
      "korvel-make-samples");
  std::string dir;
  long rows = kDefaultCameraRows;
  app.add_option("DIR", dir, "folder for the three files, made when missing")->required();
  app.add_option("ROWS", rows, "camera rows of cameras.txt (default 3000)")
      ->check(CLI::Range(0L, kMaxCameraRows));
  app.footer("Exit status: 0 when written, 1 when a file cannot be written, 2 for a usage error.");
  if (auto status = korvel::cli::ParseCommandLine(app, argc, argv)) return *status;
  try {
    std::error_code error;
    fs::create_directories(dir, error);
    if (error || !fs::is_directory(dir)) {
      std::cerr << "korvel-make-samples: cannot create " << dir << ": "
                << (error ? error.message() : "not a folder") << std::endl;
      return 1;
    }
    korvel::RealFileSystem files;
    const auto in_dir = [&](const char* name) { return korvel::JoinPath(dir, name); };
    const bool ok =
        WriteFile(files, in_dir("K93_FW_v0102.bin"), Noise(kFirmwareLength, 0x0102F00D)) &&
        WriteFile(files, in_dir("K93_Voice_v0034.bin"), Noise(kVoiceLength, 0x0034B0CE)) &&
        WriteFile(files, in_dir("cameras.txt"), CameraText(rows));
    if (ok) std::cout << "cameras.txt holds " << rows << " camera rows" << std::endl;
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "korvel-make-samples: " << e.what() << std::endl;
    return 1;
  }
}
