#pragma once
// Reads the pixels of a PNG file as rsvg-convert writes them (8 bits a
// channel, RGB or RGBA, not interlaced), for tests that look at a rendering.

#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace korvel::testing {

struct PngImage {
  std::uint32_t width = 0, height = 0, channels = 0;
  std::vector<std::uint8_t> pixels;  ///< rows of width * channels bytes

  /// "#RRGGBB" of the pixel at x, y.
  std::string Colour(std::uint32_t x, std::uint32_t y) const {
    const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * channels];
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", p[0], p[1], p[2]);
    return text;
  }
};

inline std::uint32_t PngU32(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) << 24 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 2])) << 8 |
         static_cast<std::uint8_t>(bytes[at + 3]);
}

/// The image in `bytes`; empty pixels when it is not a PNG of that kind.
inline PngImage DecodePng(const std::string& bytes) {
  PngImage image;
  if (bytes.size() < 33 || bytes.compare(1, 3, "PNG") != 0) return image;
  std::string data;
  int colour_type = 0;
  for (std::size_t at = 8; at + 8 <= bytes.size();) {
    const std::uint32_t length = PngU32(bytes, at);
    const std::string type = bytes.substr(at + 4, 4);
    if (type == "IHDR") {
      image.width = PngU32(bytes, at + 8);
      image.height = PngU32(bytes, at + 12);
      colour_type = static_cast<std::uint8_t>(bytes[at + 17]);
      if (bytes[at + 16] != 8 || bytes[at + 20] != 0) return {};
    } else if (type == "IDAT") {
      data += bytes.substr(at + 8, length);
    }
    at += 12 + length;
  }
  image.channels = colour_type == 6 ? 4 : colour_type == 2 ? 3 : 0;
  if (image.channels == 0) return {};
  const std::size_t stride = static_cast<std::size_t>(image.width) * image.channels;
  std::vector<std::uint8_t> raw((stride + 1) * image.height);
  uLongf raw_length = static_cast<uLongf>(raw.size());
  if (uncompress(raw.data(), &raw_length, reinterpret_cast<const Bytef*>(data.data()),
                 static_cast<uLong>(data.size())) != Z_OK ||
      raw_length != raw.size())
    return {};
  image.pixels.resize(stride * image.height);
  const std::size_t bpp = image.channels;
  for (std::size_t y = 0; y < image.height; ++y) {
    const std::uint8_t filter = raw[y * (stride + 1)];
    const std::uint8_t* in = &raw[y * (stride + 1) + 1];
    std::uint8_t* out = &image.pixels[y * stride];
    const std::uint8_t* up = y > 0 ? out - stride : nullptr;
    for (std::size_t i = 0; i < stride; ++i) {
      const int a = i >= bpp ? out[i - bpp] : 0, b = up ? up[i] : 0,
                c = i >= bpp && up ? up[i - bpp] : 0;
      int predicted = 0;
      switch (filter) {
        case 1:
          predicted = a;
          break;
        case 2:
          predicted = b;
          break;
        case 3:
          predicted = (a + b) / 2;
          break;
        case 4: {
          const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
      }
      out[i] = static_cast<std::uint8_t>(in[i] + predicted);
    }
  }
  return image;
}

}  // namespace korvel::testing
