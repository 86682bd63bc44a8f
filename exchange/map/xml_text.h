#pragma once
// Text from the inputs (file names, version lines, titles) made fit for an
// XML or HTML file: valid UTF-8 holding only characters XML allows.

#include <string>
#include <string_view>

namespace korvel::map {

/// `text` as valid UTF-8 with every byte that starts no valid sequence, every
/// surrogate, control character (but tab, LF, CR), U+FFFE and U+FFFF replaced
/// by U+FFFD, appended to `out`.
void AppendXmlSafe(std::string_view text, std::string& out);

/// AppendXmlSafe into a new string.
std::string XmlSafe(std::string_view text);

/// A file name as a reader of the map should see it, in UTF-8: as it stands
/// when it is UTF-8, else converted from CP949 (Korean Windows' code page),
/// else with each byte that is no UTF-8 as "\xNN".
std::string FileNameText(std::string_view name);

}  // namespace korvel::map
