#include "camdb/problem.h"

#include <utility>

#include "platform/system.h"

namespace korvel {
namespace {

/// The length of the UTF-8 sequence at the start of `text`, or 0 when it is
/// none (a stray, overlong, surrogate or cut sequence).
std::size_t Utf8Length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t extra = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() <= extra) return 0;
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(text[k]);
    if ((next & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  const bool overlong = (extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return overlong || surrogate || code > 0x10FFFF ? 0 : extra + 1;
}

void AppendByte(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.append("\\x").push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 0xFu]);
}

/// Appends a control character as \n, \r, \t or \xNN; false for any
/// other byte.
bool AppendControl(std::string& out, unsigned char byte) {
  if (byte == '\n') {
    out += "\\n";
  } else if (byte == '\r') {
    out += "\\r";
  } else if (byte == '\t') {
    out += "\\t";
  } else if (byte < 0x20 || byte == 0x7F) {
    AppendByte(out, byte);
  } else {
    return false;
  }
  return true;
}

/// Appends the character at the start of `text` as EscapeText shows it;
/// returns the bytes it took.
std::size_t AppendShown(std::string& out, std::string_view text) {
  const auto byte = static_cast<unsigned char>(text[0]);
  if (AppendControl(out, byte)) return 1;
  if (byte < 0x80) {
    out.push_back(static_cast<char>(byte));
    return 1;
  }
  const std::size_t length = Utf8Length(text);
  if (length == 0) {
    AppendByte(out, byte);
    return 1;
  }
  out.append(text.substr(0, length));
  return length;
}

bool IsUtf8(std::string_view text) {
  while (!text.empty()) {
    const std::size_t length = static_cast<unsigned char>(text[0]) < 0x80 ? 1 : Utf8Length(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

}  // namespace

std::string_view ProblemKindText(ProblemKind kind) {
  switch (kind) {
    case ProblemKind::kError:
      return "error";
    case ProblemKind::kWarning:
      return "warning";
    case ProblemKind::kNote:
      return "note";
  }
  return "error";
}

Problem FileProblem(std::string path, std::string message, Fault fault) {
  return Problem{std::move(path), PlaceKind::kFile,  0, ProblemKind::kError,
                 fault,           std::move(message)};
}

Problem LineProblem(std::string path, std::uint64_t line, std::string message, Fault fault) {
  return Problem{
      std::move(path), PlaceKind::kLine,  static_cast<std::int64_t>(line), ProblemKind::kError,
      fault,           std::move(message)};
}

std::string PlaceText(std::string_view path, PlaceKind place, std::int64_t number) {
  std::string text(path);
  switch (place) {
    case PlaceKind::kFile:
      break;
    case PlaceKind::kLine:
      text.append(":").append(std::to_string(number));
      break;
    case PlaceKind::kFeature:
      text.append(": feature ").append(std::to_string(number));
      break;
    case PlaceKind::kNode:
      text.append(": node ").append(std::to_string(number));
      break;
  }
  return text;
}

std::string FailureText(const Problem& problem) {
  if (problem.path.empty()) return OneLine(problem.message);
  return OneLine(PlaceText(problem.path, problem.place, problem.number)) + ": " +
         OneLine(problem.message);
}

std::string ProblemLine(const Problem& problem) {
  std::string line = OneLine(PlaceText(problem.path, problem.place, problem.number));
  if (!line.empty()) line += ": ";
  return line.append(ProblemKindText(problem.kind)).append(": ").append(OneLine(problem.message));
}

std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (!AppendControl(out, static_cast<unsigned char>(c))) out.push_back(c);
  }
  return out;
}

std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) text.remove_prefix(AppendShown(out, text));
  return out;
}

std::string ShownText(std::string_view text) {
  std::string converted;
  return EscapeText(!IsUtf8(text) && Cp949ToUtf8(text, converted) ? converted : text);
}

std::string QuotedText(std::string_view text, std::size_t limit) {
  std::string converted;
  if (!IsUtf8(text) && Cp949ToUtf8(text, converted)) text = converted;
  std::string quoted(1, '"');
  std::string piece;
  while (!text.empty()) {
    piece.clear();
    const std::size_t length = AppendShown(piece, text);
    if (quoted.size() - 1 + piece.size() > limit) return quoted.append("...\"");
    quoted += piece;
    text.remove_prefix(length);
  }
  return quoted.append("\"");
}

}  // namespace korvel
