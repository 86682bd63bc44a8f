#pragma once
// Writes SVG elements to a stream, in large pieces, with numbers rounded to
// a tenth of a page unit so that the same map gives the same bytes.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "exchange/map/projection.h"

namespace korvel::map {

class SvgWriter {
 public:
  explicit SvgWriter(std::ostream& out);
  ~SvgWriter();
  SvgWriter(const SvgWriter&) = delete;
  SvgWriter& operator=(const SvgWriter&) = delete;

  /// Markup as it stands.
  SvgWriter& operator<<(std::string_view markup);
  SvgWriter& operator<<(std::uint64_t value);
  /// A page coordinate or length, one decimal at most.
  SvgWriter& Number(double value);
  /// Text content or an attribute value, escaped, as XmlSafe makes it.
  SvgWriter& Text(std::string_view text);

  /// `<NAME` and `name="value"` pairs for numbers: Attr(" cx", 3.5).
  SvgWriter& Attr(std::string_view name, double value);

  /// A path: MoveTo starts a piece, LineTo continues it; points that round
  /// to the last one written are skipped.
  void MoveTo(const PagePoint& p);
  void LineTo(const PagePoint& p);

  void Flush();

 private:
  std::ostream& out_;
  std::string buffer_;
  /// One path command at a point in tenths, which becomes the last point.
  void PathCommand(char command, std::int64_t x, std::int64_t y);

  std::int64_t last_x_ = INT64_MIN, last_y_ = INT64_MIN;
};

/// The text of `value` with at most one decimal, "-0" written as "0".
std::string FormatNumber(double value);

}  // namespace korvel::map
