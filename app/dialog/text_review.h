#pragma once
// What "Generate File" shows of the chosen text before it writes anything:
// the problems `korvel-cli check` finds, from the same checker.

#include <optional>
#include <string>

#include "app/dialog/dialog_window.h"
#include "platform/file_system.h"

namespace korvel {

/// Problems listed in a box; the rest are counted.
inline constexpr int kReviewShown = 10;

/// Checks the text at `path` (shown as `name`) with Generate's limits, in one
/// run of the checker. Nothing for a text without problems, or one that
/// cannot be opened (the run itself reports that); with errors, their list
/// (kErrors); with warnings only, the question whether to go on (kQuestion).
/// The caption is left to the dialog.
std::optional<DialogMessage> ReviewText(FileSystem& fs, const std::string& path,
                                        const std::string& name, bool per_model);

}  // namespace korvel
