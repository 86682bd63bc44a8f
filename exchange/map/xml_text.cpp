#include "exchange/map/xml_text.h"

#include <cstdint>

#include "platform/system.h"

namespace korvel::map {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

/// The length of the valid UTF-8 sequence at the start of `text` and its code
/// point; 0 when none starts there (overlong forms and surrogates included).
std::size_t Sequence(std::string_view text, std::uint32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  std::uint32_t min = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool XmlAllows(std::uint32_t code) {
  if (code < 0x20) return code == '\t' || code == '\n' || code == '\r';
  return code != 0xFFFE && code != 0xFFFF;
}

}  // namespace

void AppendXmlSafe(std::string_view text, std::string& out) {
  while (!text.empty()) {
    std::uint32_t code = 0;
    const std::size_t length = Sequence(text, code);
    if (length == 0 || !XmlAllows(code)) {
      out += kReplacement;
      text.remove_prefix(length == 0 ? 1 : length);
      continue;
    }
    out.append(text.substr(0, length));
    text.remove_prefix(length);
  }
}

std::string XmlSafe(std::string_view text) {
  std::string out;
  AppendXmlSafe(text, out);
  return out;
}

std::string FileNameText(std::string_view name) {
  std::string out;
  bool utf8 = true;
  for (std::string_view rest = name; !rest.empty() && utf8;) {
    std::uint32_t code = 0;
    const std::size_t length = Sequence(rest, code);
    utf8 = length != 0;
    rest.remove_prefix(length);
  }
  if (utf8) return std::string(name);
  if (Cp949ToUtf8(name, out)) return out;
  out.clear();
  static constexpr char kHex[] = "0123456789ABCDEF";
  while (!name.empty()) {
    std::uint32_t code = 0;
    const std::size_t length = Sequence(name, code);
    if (length != 0) {
      out.append(name.substr(0, length));
      name.remove_prefix(length);
      continue;
    }
    const auto byte = static_cast<unsigned char>(name[0]);
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
    name.remove_prefix(1);
  }
  return out;
}

}  // namespace korvel::map
