// Draws the program icon and writes it as a Windows .ico file: a camera on a
// blue tile, at 16, 32 and 48 pixels, each in 16 colours (for old displays
// and the classic theme) and in 32-bit colour with alpha.
//
// Usage: make_korvel_icon OUTPUT.ico
//
// A single file with no dependencies: the cross build compiles it with the
// host's compiler and runs it before the resources are compiled.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;
};

struct Rgb {
  std::uint8_t r, g, b;
};

/// The sixteen colours of the classic palette, in their usual order.
constexpr std::array<Rgb, 16> kPalette = {{
    {0, 0, 0},
    {128, 0, 0},
    {0, 128, 0},
    {128, 128, 0},
    {0, 0, 128},
    {128, 0, 128},
    {0, 128, 128},
    {192, 192, 192},
    {128, 128, 128},
    {255, 0, 0},
    {0, 255, 0},
    {255, 255, 0},
    {0, 0, 255},
    {255, 0, 255},
    {0, 255, 255},
    {255, 255, 255},
}};

struct Image {
  int size;
  int bits;  // 4 or 32
};

/// The six images, in the order they stand in the file.
constexpr std::array<Image, 6> kImages = {{
    {48, 32},
    {32, 32},
    {16, 32},
    {48, 4},
    {32, 4},
    {16, 4},
}};

bool InRoundedRect(double x, double y, double left, double top, double right, double bottom,
                   double radius) {
  if (x < left || x > right || y < top || y > bottom) return false;
  const double cx = std::clamp(x, left + radius, right - radius);
  const double cy = std::clamp(y, top + radius, bottom - radius);
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

bool InCircle(double x, double y, double cx, double cy, double r) {
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

Rgba Opaque(int r, int g, int b) {
  return {r / 255.0, g / 255.0, b / 255.0, 1.0};
}

/// The picture at (x, y), both from 0 (left, top) to 1 (right, bottom). The
/// classic drawing uses colours of the 16-colour palette only.
Rgba Sample(double x, double y, bool classic) {
  if (InCircle(x, y, 0.74, 0.45, 0.055)) return classic ? Opaque(255, 0, 0) : Opaque(224, 48, 48);
  if (InCircle(x, y, 0.45, 0.51, 0.04)) return Opaque(255, 255, 255);
  if (InCircle(x, y, 0.5, 0.57, 0.10)) return classic ? Opaque(0, 0, 255) : Opaque(79, 163, 224);
  if (InCircle(x, y, 0.5, 0.57, 0.175)) return classic ? Opaque(0, 0, 0) : Opaque(30, 42, 56);
  if (InRoundedRect(x, y, 0.14, 0.34, 0.86, 0.80, 0.06) ||
      InRoundedRect(x, y, 0.26, 0.24, 0.46, 0.38, 0.03)) {
    return classic ? Opaque(255, 255, 255) : Opaque(242, 242, 242);
  }
  if (InRoundedRect(x, y, 0.0, 0.0, 1.0, 1.0, 0.2)) {
    if (classic) return Opaque(0, 0, 128);
    // The tile darkens from top to bottom.
    return {(47 - 24 * y) / 255.0, (109 - 46 * y) / 255.0, (181 - 66 * y) / 255.0, 1.0};
  }
  return {};
}

/// The pixel (px, py) of an image `size` wide: averaged over 4 x 4 samples,
/// or for the classic drawing the one sample at its centre (no blending).
Rgba Pixel(int px, int py, int size, bool classic) {
  if (classic) return Sample((px + 0.5) / size, (py + 0.5) / size, true);
  constexpr int kGrid = 4;
  Rgba sum;
  for (int sy = 0; sy < kGrid; ++sy) {
    for (int sx = 0; sx < kGrid; ++sx) {
      const Rgba s =
          Sample((px + (sx + 0.5) / kGrid) / size, (py + (sy + 0.5) / kGrid) / size, false);
      sum.r += s.r * s.a;
      sum.g += s.g * s.a;
      sum.b += s.b * s.a;
      sum.a += s.a;
    }
  }
  if (sum.a == 0) return {};
  return {sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, sum.a / (kGrid * kGrid)};
}

std::uint8_t ToByte(double v) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
}

int NearestPaletteIndex(const Rgba& c) {
  int best = 0;
  long best_distance = -1;
  for (int i = 0; i < static_cast<int>(kPalette.size()); ++i) {
    const long dr = ToByte(c.r) - kPalette[i].r;
    const long dg = ToByte(c.g) - kPalette[i].g;
    const long db = ToByte(c.b) - kPalette[i].b;
    const long distance = dr * dr + dg * dg + db * db;
    if (best_distance < 0 || distance < best_distance) {
      best = i;
      best_distance = distance;
    }
  }
  return best;
}

void U8(Bytes& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
}
void U16(Bytes& out, unsigned v) {
  U8(out, v & 0xFF);
  U8(out, (v >> 8) & 0xFF);
}
void U32(Bytes& out, std::uint32_t v) {
  U16(out, v & 0xFFFF);
  U16(out, v >> 16);
}

/// Bytes of one bitmap row of `width` pixels at `bits` per pixel, padded to
/// whole 32-bit words.
int RowBytes(int width, int bits) {
  return (width * bits + 31) / 32 * 4;
}

/// One image as the icon file stores it: the bitmap header (twice the height,
/// for the colour bitmap and the mask), the palette, the colour bitmap and
/// the transparency mask, both bottom row first.
Bytes EncodeImage(const Image& image) {
  const int size = image.size;
  const int color_row = RowBytes(size, image.bits);
  const int mask_row = RowBytes(size, 1);
  const int palette_entries = image.bits == 4 ? 16 : 0;

  Bytes out;
  U32(out, 40);
  U32(out, static_cast<std::uint32_t>(size));
  U32(out, static_cast<std::uint32_t>(size * 2));
  U16(out, 1);
  U16(out, static_cast<unsigned>(image.bits));
  U32(out, 0);
  U32(out, static_cast<std::uint32_t>((color_row + mask_row) * size));
  U32(out, 0);
  U32(out, 0);
  U32(out, static_cast<std::uint32_t>(palette_entries));
  U32(out, 0);
  for (int i = 0; i < palette_entries; ++i) {
    U8(out, kPalette[i].b);
    U8(out, kPalette[i].g);
    U8(out, kPalette[i].r);
    U8(out, 0);
  }

  std::vector<Rgba> pixels(static_cast<std::size_t>(size * size));
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      pixels[static_cast<std::size_t>(y * size + x)] = Pixel(x, y, size, image.bits == 4);
    }
  }
  auto transparent = [](const Rgba& p) { return p.a == 0; };

  for (int y = size - 1; y >= 0; --y) {
    Bytes row;
    for (int x = 0; x < size; ++x) {
      const Rgba& p = pixels[static_cast<std::size_t>(y * size + x)];
      if (image.bits == 32) {
        U8(row, ToByte(p.b));
        U8(row, ToByte(p.g));
        U8(row, ToByte(p.r));
        U8(row, ToByte(p.a));
      } else {
        const int index = transparent(p) ? 0 : NearestPaletteIndex(p);
        if (x % 2 == 0) {
          U8(row, static_cast<unsigned>(index << 4));
        } else {
          row.back() = static_cast<std::uint8_t>(row.back() | index);
        }
      }
    }
    row.resize(static_cast<std::size_t>(color_row), 0);
    out.insert(out.end(), row.begin(), row.end());
  }
  for (int y = size - 1; y >= 0; --y) {
    Bytes row(static_cast<std::size_t>(mask_row), 0);
    for (int x = 0; x < size; ++x) {
      if (transparent(pixels[static_cast<std::size_t>(y * size + x)])) {
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

/// The whole .ico file: directory header, one entry per image, the images.
Bytes EncodeIcon() {
  std::vector<Bytes> images;
  for (const Image& image : kImages) images.push_back(EncodeImage(image));

  Bytes out;
  U16(out, 0);
  U16(out, 1);
  U16(out, static_cast<unsigned>(kImages.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * kImages.size());
  for (std::size_t i = 0; i < kImages.size(); ++i) {
    U8(out, static_cast<unsigned>(kImages[i].size));
    U8(out, static_cast<unsigned>(kImages[i].size));
    U8(out, kImages[i].bits == 4 ? 16 : 0);
    U8(out, 0);
    U16(out, 1);
    U16(out, static_cast<unsigned>(kImages[i].bits));
    U32(out, static_cast<std::uint32_t>(images[i].size()));
    U32(out, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_korvel_icon OUTPUT.ico\n";
    return 2;
  }
  const Bytes icon = EncodeIcon();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(icon.data()), static_cast<std::streamsize>(icon.size()));
  out.close();
  if (!out) {
    std::cerr << "make_korvel_icon: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
