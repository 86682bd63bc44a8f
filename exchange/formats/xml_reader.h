#pragma once
// A small streaming XML reader for GPX and KML: expat on Linux (as libosmium
// uses), the system's XmlLite on Windows, one file each behind this header.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace korvel {

/// An attribute value longer than this comes cut to one byte over it.
constexpr std::size_t kMaxAttributeValue = std::size_t{1} << 16;
/// The most a parser itself may hold at once: a tag, comment or other piece
/// of markup that needs more is refused, whatever the file's size.
constexpr std::size_t kMaxParserMemory = std::size_t{32} << 20;

/// Why a document with such a piece of markup is refused.
inline std::string MarkupTooLarge() {
  return "a tag, comment or other markup over " + std::to_string(kMaxParserMemory >> 20) +
         " MiB; no GPX or KML holds one";
}

/// An element's attributes by local name (namespace prefixes dropped).
using XmlAttributes = std::vector<std::pair<std::string, std::string>>;

/// Receives a document's elements and text in order. Names are local names.
class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  /// `line` is the one-based line the element starts on.
  virtual void Start(std::string_view name, const XmlAttributes& attributes,
                     std::uint64_t line) = 0;
  virtual void End(std::string_view name) = 0;
  /// Character data, possibly in several pieces.
  virtual void Text(std::string_view text) = 0;
  /// Whether Start needs the attribute of this local name; no other is copied.
  virtual bool Wants(std::string_view attribute) const = 0;
  /// True once the handler needs nothing more: the parse ends at once.
  virtual bool Stopped() const = 0;
};

/// How reading a document ended.
enum class XmlOutcome { kRead, kUnreadable, kMalformed, kUnsupported };

/// Streams the XML document in `file` into `handler`, until its end or until
/// the handler stops. Unless kRead, `failure` says why; for kMalformed `line`
/// is where.
XmlOutcome ParseXmlFile(BinaryFile& file, XmlHandler& handler, std::string& failure,
                        std::uint64_t& line);

}  // namespace korvel
