// Encoders for the picture fixtures of the tests, the fuzz seeds and the
// benchmark: small pictures made here rather than files of unknown origin.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrava::test {

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

// A picture to encode: rows top-down.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<Rgba> pixels;
  Rgba at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// A w x h test pattern whose every pixel differs from its neighbours.
Pixels pattern(int width, int height, bool with_alpha = false);

std::string encode_jpeg(const Pixels& picture, int quality = 90, bool progressive = false,
                        bool grayscale = false);

// CMYK with an Adobe marker, stored inverted as Adobe writes it: the
// picture's r, g, b become C, M, Y and K is 255 (no black ink).
std::string encode_jpeg_cmyk(const Pixels& picture, int quality = 95);

enum class PngColor { rgba, rgb, gray, palette };
std::string encode_png(const Pixels& picture, PngColor color = PngColor::rgba,
                       bool interlaced = false);

// Little-endian byte writing for the hand-made formats.
void put_u8(std::string& out, unsigned value);
void put_u16(std::string& out, unsigned value);
void put_u32(std::string& out, std::uint32_t value);

// GIF through giflib: one frame per entry, palette-indexed.
struct GifFrame {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::uint8_t> indexes;
  std::vector<Rgba> palette;  // local colour table when not empty
  int delay_cs = 0;
  int disposal = 0;
  int transparent = -1;
  bool interlaced = false;
};
std::string encode_gif(int width, int height, const std::vector<Rgba>& global_palette,
                       const std::vector<GifFrame>& frames);

// BMP: the colour table of indexed pictures is the picture's distinct
// colours in order of appearance.
enum class BmpCompression : std::uint32_t { rgb = 0, rle8 = 1, rle4 = 2, bitfields = 3 };
struct BmpOptions {
  int bits = 24;
  int header_size = 40;  // 12, 40, 56 or 124
  BmpCompression compression = BmpCompression::rgb;
  bool top_down = false;
  std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha for bitfields
  bool rle_absolute = false;              // RLE rows as absolute runs instead of repeats
  bool icon_mask = false;                 // doubled height and an AND mask set where alpha is 0
};
std::vector<Rgba> distinct_colors(const Pixels& picture);
std::string encode_dib(const Pixels& picture, const BmpOptions& options);
std::string encode_bmp(const Pixels& picture, const BmpOptions& options = {});

// Icon or cursor: a directory over the given images (a DIB with icon_mask or
// a PNG each); the directory's sizes are taken from the pictures.
struct IconImage {
  int width = 0, height = 0, bits = 32;
  std::string data;
};
std::string encode_icon(const std::vector<IconImage>& images, bool cursor = false);

// PCX, run-length encoded: bits/planes 1/1, 1/4, 4/1, 8/1 (palette at the
// end), 8/3 and 8/4.
std::string encode_pcx(const Pixels& picture, int bits, int planes);

}  // namespace kestrava::test
