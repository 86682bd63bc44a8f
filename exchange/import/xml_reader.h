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
};

/// How reading a document ended.
enum class XmlOutcome { kRead, kUnreadable, kMalformed, kUnsupported };

/// Streams the XML file at `path` into `handler`. Unless kRead, `failure`
/// says why as "LINE: REASON" (kMalformed) or "REASON".
XmlOutcome ParseXmlFile(const std::string& path, XmlHandler& handler, std::string& failure);

/// The same for a document read from `file` (a KML inflated from a KMZ). The
/// Windows build answers kUnsupported.
XmlOutcome ParseXmlStream(BinaryFile& file, XmlHandler& handler, std::string& failure);

}  // namespace korvel
