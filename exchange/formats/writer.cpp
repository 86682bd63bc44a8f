#include "exchange/formats/writer.h"

#include <algorithm>
#include <charconv>

#include "camdb/parser.h"

namespace korvel {
namespace {

/// The largest stored longitude and latitude a map can place.
constexpr std::uint32_t kMaxMapX = kMaxUnits[0], kMaxMapY = kMaxUnits[1];

}  // namespace

bool HasMapPosition(const GPS_POINT& point) {
  return point.x <= kMaxMapX && point.y <= kMaxMapY;
}

std::string LeftOutText(const GPS_POINT& p, std::size_t index) {
  std::string where;
  if (p.x > kMaxMapX) where = "X " + std::to_string(p.x);
  if (p.y > kMaxMapY) where += (where.empty() ? "Y " : ", Y ") + std::to_string(p.y);
  return "camera " + std::to_string(index) + " at stored " + where +
         " has no map position; left out";
}

std::array<std::size_t, 2> SampleIndices(const DecodedDb& db) {
  std::array<std::size_t, 2> found = {db.points.size(), db.points.size()};
  for (int s = 0; s < 2; ++s) {
    const GPS_POINT sample = SamplePoint(s);
    for (std::size_t i = db.points.size(); i-- > 0;) {
      if (SamePoint(db.points[i], sample)) {
        found[s] = i;
        break;
      }
    }
  }
  return found;
}

std::string MapVersionLine(std::string_view version_line) {
  const bool plain = std::all_of(version_line.begin(), version_line.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F &&
           c != '\\';
  });
  return plain ? std::string(version_line) : PrintableVersion(version_line);
}

WriterSink& WriterSink::operator<<(std::uint64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
}

WriterSink& WriterSink::Degrees(std::uint32_t units) {
  char text[24];
  return *this << std::string_view(text, FormatDegrees(units, text, false));
}

WriterSink& WriterSink::Xml(std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&':
        buffer_ += "&amp;";
        break;
      case '<':
        buffer_ += "&lt;";
        break;
      case '>':
        buffer_ += "&gt;";
        break;
      case '"':
        buffer_ += "&quot;";
        break;
      case '\'':
        buffer_ += "&apos;";
        break;
      default:
        buffer_ += c;
    }
  }
  return *this;
}

}  // namespace korvel
