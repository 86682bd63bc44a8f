#pragma once
// The device's check of one imported camera, the same for every format: the
// camera as the device stores it, or the error that keeps it out.

#include <cstdint>
#include <optional>
#include <vector>

#include "exchange/formats/source.h"
#include "platform/memory.h"

namespace korvel {

/// A camera as the device stores it, with the place it came from.
struct ImportedCamera {
  std::uint32_t x = 0, y = 0;  ///< 1/10000 degree
  std::uint8_t type = 0, speed = 0, dirtype = 0;
  /// Bit 0: FourDecimalsReadBack(x) holds, bit 1: of y; for the writer.
  std::uint8_t four_decimals = 0;
  std::uint16_t direction = 0;
  Place place;
};

/// The kept cameras. In huge pages: a million cameras in small pages cost
/// thousands of page faults.
using ImportedCameras = std::vector<ImportedCamera, HugePageAllocator<ImportedCamera>>;

/// The camera the device stores for `source`, or nullopt after an error
/// ("...; skipped"). Warnings go to `problems` too. A missing TYPE takes
/// `type` (1 when none; the caller counts those), a missing DIRTYPE is 1 when
/// a DIRECTION was read, a DIRECTION outside 0 to 359 is taken modulo 360.
std::optional<ImportedCamera> DeviceCamera(const SourceCamera& source, std::optional<int> type,
                                           CameraSink& problems);

/// Whether `camera` is sample point `which` (0 or 1), field by field.
bool IsSampleCamera(const ImportedCamera& camera, int which);

}  // namespace korvel
