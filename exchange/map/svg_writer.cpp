#include "exchange/map/svg_writer.h"

#include <charconv>
#include <cmath>
#include <ostream>

#include "exchange/map/xml_text.h"

namespace korvel::map {
namespace {

constexpr std::size_t kChunk = 1 << 16;

/// Tenths of a unit, the precision every coordinate is written with.
std::int64_t Tenths(double value) {
  return static_cast<std::int64_t>(std::llround(value * 10));
}

std::size_t PutTenths(std::int64_t tenths, char* out) {
  char* at = out;
  if (tenths < 0) {
    *at++ = '-';
    tenths = -tenths;
  }
  at = std::to_chars(at, at + 24, tenths / 10).ptr;
  if (tenths % 10 != 0) {
    *at++ = '.';
    *at++ = static_cast<char>('0' + tenths % 10);
  }
  return static_cast<std::size_t>(at - out);
}

}  // namespace

SvgWriter::SvgWriter(std::ostream& out) : out_(out) {
  buffer_.reserve(kChunk + 4096);
}

SvgWriter::~SvgWriter() {
  Flush();
}

SvgWriter& SvgWriter::operator<<(std::string_view markup) {
  buffer_.append(markup);
  if (buffer_.size() >= kChunk) Flush();
  return *this;
}

SvgWriter& SvgWriter::operator<<(std::uint64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
}

SvgWriter& SvgWriter::Number(double value) {
  char text[32];
  return *this << std::string_view(text, PutTenths(Tenths(value), text));
}

SvgWriter& SvgWriter::Text(std::string_view text) {
  for (char c : XmlSafe(text)) {
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
      default:
        buffer_ += c;
    }
  }
  if (buffer_.size() >= kChunk) Flush();
  return *this;
}

SvgWriter& SvgWriter::Attr(std::string_view name, double value) {
  *this << name << "=\"";
  return Number(value) << "\"";
}

void SvgWriter::MoveTo(const PagePoint& p) {
  PathCommand('M', Tenths(p.x), Tenths(p.y));
}

void SvgWriter::LineTo(const PagePoint& p) {
  const std::int64_t x = Tenths(p.x), y = Tenths(p.y);
  if (x == last_x_ && y == last_y_) return;
  PathCommand('L', x, y);
}

void SvgWriter::PathCommand(char command, std::int64_t x, std::int64_t y) {
  last_x_ = x;
  last_y_ = y;
  char text[64];
  std::size_t n = 0;
  text[n++] = command;
  n += PutTenths(x, text + n);
  text[n++] = ' ';
  n += PutTenths(y, text + n);
  *this << std::string_view(text, n);
}

void SvgWriter::Flush() {
  out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  buffer_.clear();
}

std::string FormatNumber(double value) {
  char text[32];
  return std::string(text, PutTenths(Tenths(value), text));
}

}  // namespace korvel::map
