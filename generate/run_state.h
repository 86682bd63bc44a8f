#pragma once
// Everything one run of the tool keeps between button presses. The tool holds
// one of these for its whole life; tests build a fresh one per case.

#include <array>
#include <cstdint>
#include <string>

#include "format/db_encoder.h"
#include "platform/bytes.h"

namespace korvel {

/// Four version characters and a terminating zero, as "%c%c%c%c" writes them.
using VersionTag = std::array<char, 5>;

/// The tag's text up to its terminating zero.
std::string TagText(const VersionTag& tag);
/// A tag from four characters.
VersionTag MakeTag(char a, char b, char c, char d);

inline constexpr char kTempDbText[] = "TempDbFile.txt";
inline constexpr char kTempDbBin[] = "TempDb.bin";

struct RunState : DbEncoderState {
  std::uint8_t K93_VOICE = 0;  ///< 1 once a K93 voice image was checked in K93 mode
  std::string FW_PATH;
  std::string VOICE_PATH;
  std::string DB_TEXT_PATH;
  std::string DB_TEXT_FOLDER;  ///< folder of DB_TEXT_PATH with its trailing separator
  VersionTag FW_VERSION_TAG{};
  VersionTag VOICE_VERSION_TAG{};
  VersionTag DB_VERSION_TAG{};
  std::string TEMP_DB_TEXT = kTempDbText;  ///< bare name, then the copy's full path
  std::string TEMP_DB_BIN = kTempDbBin;    ///< working database, relative to the working folder
  std::string OUTPUT_PATH;                 ///< last output file
  Bytes IMAGE_BUFFER;                      ///< a piece of an input image as it is copied
};

}  // namespace korvel
