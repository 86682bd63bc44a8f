#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvel {

/// Cuts `text` at every character of `delimiters` (a set, not a word) and
/// appends the pieces to `fields`. Runs of delimiters separate once and no
/// field is ever empty; an empty delimiter set gives the whole text.
void SplitString(std::string_view text, std::vector<std::string>& fields,
                 std::string_view delimiters);

/// The same, appending views into `text` (no copies); for the hot path.
void SplitString(std::string_view text, std::vector<std::string_view>& fields,
                 std::string_view delimiters);

}  // namespace korvel
