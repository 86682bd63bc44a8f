#pragma once
// The last step of the Generate File command outside the per-model mode:
// TempDb.bin packed with the firmware and voice images into the K93 package.

#include <string>

#include "generate/generate_view.h"
#include "generate/run_state.h"
#include "platform/file_system.h"

namespace korvel {

/// "K93_F<fw>_V<voice>_D<db>.bin" from the three tags.
std::string PackageName(const RunState& state);

/// Builds the package in the program's folder, reports on `view` and ends the
/// command: "   Success.." with the path, or a failure status.
void BuildK93Package(RunState& state, FileSystem& fs, GenerateView& view);

}  // namespace korvel
