#pragma once

#include <cstdint>
#include <string>

#include "camdb/gps_point.h"

namespace korvel {

/// The run state the text parser reads and writes.
struct DbState {
  GpsDb GPS_DB;                     ///< points of the last parse
  std::string DB_VERSION;           ///< version line of the last parse, after the K93 exchange
  std::uint32_t DB_LINE_COUNT = 0;  ///< lines of the chosen text file
  std::uint8_t K93_MODE = 0;        ///< 1 once a K93 firmware image was accepted
};

}  // namespace korvel
