#include "platform/picture/picture.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "support/picture_fixtures.h"

namespace kestrava::platform {
namespace {

using test::BmpCompression;
using test::BmpOptions;
using test::GifFrame;
using test::IconImage;
using test::Pixels;
using test::PngColor;
using test::Rgba;

Rgba pixel(const PictureFrame& frame, int width, int x, int y) {
  const auto at = static_cast<std::size_t>((y * width + x) * 4);
  return {frame.rgba[at], frame.rgba[at + 1], frame.rgba[at + 2], frame.rgba[at + 3]};
}

std::string describe(Rgba c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + "," +
         std::to_string(c.a) + ")";
}

// Compares a decoded frame with the picture it came from, channel by channel.
void expect_pixels(const Picture& picture, const Pixels& expected, int tolerance = 0,
                   std::size_t frame = 0) {
  ASSERT_EQ(picture.width, expected.width);
  ASSERT_EQ(picture.height, expected.height);
  ASSERT_LT(frame, picture.frames.size());
  ASSERT_EQ(picture.frames[frame].rgba.size(),
            static_cast<std::size_t>(expected.width * expected.height * 4));
  int failures = 0;
  for (int y = 0; y < expected.height; ++y) {
    for (int x = 0; x < expected.width; ++x) {
      const Rgba got = pixel(picture.frames[frame], picture.width, x, y);
      const Rgba want = expected.at(x, y);
      const bool close = std::abs(got.r - want.r) <= tolerance &&
                         std::abs(got.g - want.g) <= tolerance &&
                         std::abs(got.b - want.b) <= tolerance && got.a == want.a;
      if (!close && ++failures <= 5) {
        ADD_FAILURE() << "pixel " << x << "," << y << ": got " << describe(got) << ", want "
                      << describe(want);
      }
    }
  }
}

// A picture of `count` distinct colours, each pixel's neighbours different.
Pixels indexed(int width, int height, int count) {
  Pixels p{width, height, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int i = (x + 3 * y) % count;
      p.pixels.push_back(Rgba{static_cast<std::uint8_t>(i * 37 % 256),
                              static_cast<std::uint8_t>(255 - i),
                              static_cast<std::uint8_t>(i * 5 % 256), 255});
    }
  }
  return p;
}

// Pixels that do not compress: long image data.
Pixels noise(int width, int height) {
  Pixels p{width, height, {}};
  std::uint32_t state = 12345;
  auto next = [&] {
    state = state * 1664525 + 1013904223;
    return static_cast<std::uint8_t>(state >> 24);
  };
  for (int i = 0; i < width * height; ++i)
    p.pixels.push_back({next(), next(), next(), next()});
  return p;
}

// The picture as a decoder must see it after `bits` per channel.
Pixels quantized(Pixels p, int red_bits, int green_bits, int blue_bits) {
  auto q = [](std::uint8_t c, int bits) {
    const int max = (1 << bits) - 1;
    const int v = c >> (8 - bits);
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
  };
  for (Rgba& c : p.pixels)
    c = {q(c.r, red_bits), q(c.g, green_bits), q(c.b, blue_bits), c.a};
  return p;
}

Pixels opaque(Pixels p) {
  for (Rgba& c : p.pixels)
    c.a = 255;
  return p;
}

// Alpha 0 in a few places, 255 elsewhere: what an AND mask can express.
Pixels masked(Pixels p) {
  for (std::size_t i = 0; i < p.pixels.size(); ++i)
    p.pixels[i].a = i % 5 == 0 ? 0 : 255;
  return p;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---------------------------------------------------------------- kinds

struct KindCase {
  const char* name;
  std::string bytes;
  std::optional<PictureKind> kind;
};

void PrintTo(const KindCase& c, std::ostream* os) {
  *os << c.name;
}

class Kind : public testing::TestWithParam<KindCase> {};

TEST_P(Kind, IsRecognisedByTheFirstBytes) {
  const auto picture = decode_picture(GetParam().bytes);
  ASSERT_EQ(picture.has_value(), GetParam().kind.has_value());
  if (picture) {
    EXPECT_EQ(picture->kind, *GetParam().kind);
    EXPECT_FALSE(picture->frames.empty());
  }
}

std::vector<KindCase> kind_cases() {
  const Pixels p = indexed(3, 2, 2);
  const std::string png = test::encode_png(p);
  return {
      {"Jpeg", test::encode_jpeg(p), PictureKind::jpeg},
      {"Png", png, PictureKind::png},
      {"Gif",
       test::encode_gif(3, 2, {{0, 255, 0, 255}, {37, 254, 5, 255}},
                        {{0, 0, 3, 2, {0, 1, 0, 1, 0, 1}}}),
       PictureKind::gif},
      {"Bmp", test::encode_bmp(p), PictureKind::bmp},
      {"Icon",
       test::encode_icon({{3, 2, 32, test::encode_dib(p, {.bits = 32, .icon_mask = true})}}),
       PictureKind::ico},
      {"Cursor",
       test::encode_icon({{3, 2, 32, test::encode_dib(p, {.bits = 32, .icon_mask = true})}}, true),
       PictureKind::cur},
      {"Pcx", test::encode_pcx(p, 8, 3), PictureKind::pcx},
      {"FiveBytesOfPng", png.substr(0, 5), std::nullopt},
      {"Empty", "", std::nullopt},
      {"Text", "<html><body>not found</body></html>", std::nullopt},
      {"PngWithoutItsSignatureByte", png.substr(1), std::nullopt},
      {"Gif88", "GIF88a" + std::string(20, '\0'), std::nullopt},
  };
}

// ---------------------------------------------------------------- valid pictures

struct ValidCase {
  std::string name;
  std::string bytes;
  Pixels expected;
  int tolerance = 0;
};

void PrintTo(const ValidCase& c, std::ostream* os) {
  *os << c.name;
}

class Valid : public testing::TestWithParam<ValidCase> {};

TEST_P(Valid, DecodesEveryPixel) {
  const auto picture = decode_picture(GetParam().bytes);
  ASSERT_TRUE(picture.has_value());
  ASSERT_EQ(picture->frames.size(), 1U);
  EXPECT_EQ(picture->frames[0].delay_ms, 0);
  expect_pixels(*picture, GetParam().expected, GetParam().tolerance);
}

std::vector<ValidCase> jpeg_cases() {
  // Smooth content, so that the lossy round trip stays close.
  Pixels smooth{48, 40, {}};
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 48; ++x) {
      smooth.pixels.push_back(Rgba{static_cast<std::uint8_t>(x * 5),
                                   static_cast<std::uint8_t>(y * 6),
                                   static_cast<std::uint8_t>(128 + x - y), 255});
    }
  }
  Pixels gray = smooth;
  for (Rgba& c : gray.pixels)
    c = {c.g, c.g, c.g, 255};
  return {
      {"Baseline", test::encode_jpeg(smooth, 95), smooth, 12},
      {"Progressive", test::encode_jpeg(smooth, 95, true), smooth, 12},
      {"Grayscale", test::encode_jpeg(smooth, 95, false, true), gray, 6},
      {"OddSize", test::encode_jpeg(test::pattern(1, 17), 100), test::pattern(1, 17), 24},
      {"AdobeCmyk", test::encode_jpeg_cmyk(smooth), smooth, 12},
  };
}

std::vector<ValidCase> png_cases() {
  const Pixels rgba = test::pattern(19, 11, true);
  const Pixels rgb = test::pattern(19, 11);
  Pixels gray = rgb;
  for (Rgba& c : gray.pixels)
    c = {c.g, c.g, c.g, 255};
  Pixels translucent = indexed(9, 7, 12);
  for (std::size_t i = 0; i < translucent.pixels.size(); ++i) {
    translucent.pixels[i].a = static_cast<std::uint8_t>(translucent.pixels[i].b * 3);
  }
  return {
      {"Rgba", test::encode_png(rgba), rgba},
      {"Rgb", test::encode_png(rgb, PngColor::rgb), rgb},
      {"Gray", test::encode_png(rgb, PngColor::gray), gray},
      {"PaletteWithAlpha", test::encode_png(translucent, PngColor::palette), translucent},
      {"Interlaced", test::encode_png(rgba, PngColor::rgba, true), rgba},
  };
}

std::vector<ValidCase> bmp_cases() {
  const Pixels two = indexed(13, 5, 2);  // 13 bits per row: padding
  const Pixels sixteen = indexed(7, 6, 16);
  const Pixels many = indexed(17, 9, 200);
  const Pixels wide = test::pattern(5, 4);  // 15 bytes per row
  const Pixels alpha = test::pattern(6, 3, true);
  const std::uint32_t argb[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  const std::uint32_t rgb565[4] = {0xF800, 0x07E0, 0x001F, 0};
  const std::uint32_t rgb444[4] = {0x0F00, 0x00F0, 0x000F, 0};
  // Runs of one colour for the RLE cases, with odd widths for RLE4.
  Pixels runs{9, 4, {}};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 9; ++x)
      runs.pixels.push_back(indexed(1, 1, 1).pixels[0]);
  }
  for (int x = 3; x < 7; ++x)
    runs.pixels[static_cast<std::size_t>(x + 9)] = {9, 9, 9, 255};
  runs.pixels[30] = {200, 100, 50, 255};
  return {
      {"OneBit", test::encode_bmp(two, {.bits = 1}), two},
      {"FourBit", test::encode_bmp(sixteen, {.bits = 4}), sixteen},
      {"EightBit", test::encode_bmp(many, {.bits = 8}), many},
      {"EightBitCoreHeader", test::encode_bmp(many, {.bits = 8, .header_size = 12}), many},
      {"SixteenBit555", test::encode_bmp(wide, {.bits = 16}), quantized(wide, 5, 5, 5)},
      {"SixteenBit565",
       test::encode_bmp(wide, {.bits = 16,
                               .compression = BmpCompression::bitfields,
                               .masks = {rgb565[0], rgb565[1], rgb565[2], 0}}),
       quantized(wide, 5, 6, 5)},
      {"SixteenBit444",
       test::encode_bmp(wide, {.bits = 16,
                               .compression = BmpCompression::bitfields,
                               .masks = {rgb444[0], rgb444[1], rgb444[2], 0}}),
       quantized(wide, 4, 4, 4)},
      {"TwentyFourBitBottomUp", test::encode_bmp(wide), wide},
      {"TwentyFourBitTopDown", test::encode_bmp(wide, {.top_down = true}), wide},
      // Plain 32-bit BMPs leave the fourth byte unused: the picture is opaque.
      {"ThirtyTwoBit", test::encode_bmp(alpha, {.bits = 32}), opaque(alpha)},
      {"ThirtyTwoBitWithAlphaMask",
       test::encode_bmp(alpha, {.bits = 32,
                                .header_size = 124,
                                .compression = BmpCompression::bitfields,
                                .masks = {argb[0], argb[1], argb[2], argb[3]}}),
       alpha},
      {"ThirtyTwoBitBitfieldsTopDown",
       test::encode_bmp(alpha, {.bits = 32,
                                .compression = BmpCompression::bitfields,
                                .top_down = true,
                                .masks = {argb[0], argb[1], argb[2], 0}}),
       opaque(alpha)},
      {"Rle8", test::encode_bmp(runs, {.bits = 8, .compression = BmpCompression::rle8}), runs},
      {"Rle8Absolute",
       test::encode_bmp(many,
                        {.bits = 8, .compression = BmpCompression::rle8, .rle_absolute = true}),
       many},
      {"Rle4", test::encode_bmp(runs, {.bits = 4, .compression = BmpCompression::rle4}), runs},
      {"Rle4Absolute",
       test::encode_bmp(sixteen,
                        {.bits = 4, .compression = BmpCompression::rle4, .rle_absolute = true}),
       sixteen},
  };
}

std::vector<ValidCase> icon_cases() {
  const Pixels alpha = test::pattern(16, 16, true);
  const Pixels holes = masked(test::pattern(16, 16));
  const Pixels small = masked(indexed(16, 16, 100));
  const Pixels big = test::pattern(32, 32, true);
  Pixels eight = masked(indexed(24, 24, 200));
  // A cursor's entry keeps its hot spot where an icon keeps planes and bits.
  return {
      {"ThirtyTwoBitAlpha",
       test::encode_icon({{16, 16, 32, test::encode_dib(alpha, {.bits = 32, .icon_mask = true})}}),
       alpha},
      {"TwentyFourBitWithMask",
       test::encode_icon({{16, 16, 24, test::encode_dib(holes, {.bits = 24, .icon_mask = true})}}),
       holes},
      {"EightBitWithMask",
       test::encode_icon({{16, 16, 8, test::encode_dib(small, {.bits = 8, .icon_mask = true})}}),
       small},
      {"PngInside", test::encode_icon({{32, 32, 32, test::encode_png(big)}}), big},
      {"LargestOfThree",
       test::encode_icon({{16, 16, 8, test::encode_dib(small, {.bits = 8, .icon_mask = true})},
                          {32, 32, 32, test::encode_png(big)},
                          {24, 24, 8, test::encode_dib(eight, {.bits = 8, .icon_mask = true})}}),
       big},
      {"Cursor",
       test::encode_icon({{24, 24, 8, test::encode_dib(eight, {.bits = 8, .icon_mask = true})}},
                         true),
       eight},
  };
}

std::vector<ValidCase> pcx_cases() {
  const Pixels mono = [] {
    Pixels p{11, 3, {}};
    for (int i = 0; i < 33; ++i) {
      p.pixels.push_back(i % 3 == 0 ? Rgba{0, 0, 0, 255} : Rgba{255, 255, 255, 255});
    }
    return p;
  }();
  const Pixels sixteen = indexed(13, 5, 16);
  const Pixels many = indexed(70, 9, 256);  // runs of 63 and more
  Pixels flat{150, 3, {}};
  flat.pixels.assign(450, Rgba{0xC5, 0xC5, 0xC5, 255});  // values that need a run byte
  const Pixels rgb = test::pattern(9, 7);
  const Pixels rgba = test::pattern(9, 7, true);
  return {
      {"OneBit", test::encode_pcx(mono, 1, 1), mono},
      {"OneBitFourPlanes", test::encode_pcx(sixteen, 1, 4), sixteen},
      {"FourBit", test::encode_pcx(sixteen, 4, 1), sixteen},
      {"EightBitPaletteAtEnd", test::encode_pcx(many, 8, 1), many},
      {"TwentyFourBit", test::encode_pcx(rgb, 8, 3), rgb},
      {"TwentyFourBitLongRuns", test::encode_pcx(flat, 8, 3), flat},
      {"ThirtyTwoBit", test::encode_pcx(rgba, 8, 4), rgba},
  };
}

std::string valid_name(const testing::TestParamInfo<ValidCase>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Recognition, Kind, testing::ValuesIn(kind_cases()),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Jpeg, Valid, testing::ValuesIn(jpeg_cases()), valid_name);
INSTANTIATE_TEST_SUITE_P(Png, Valid, testing::ValuesIn(png_cases()), valid_name);
INSTANTIATE_TEST_SUITE_P(Bmp, Valid, testing::ValuesIn(bmp_cases()), valid_name);
INSTANTIATE_TEST_SUITE_P(Icon, Valid, testing::ValuesIn(icon_cases()), valid_name);
INSTANTIATE_TEST_SUITE_P(Pcx, Valid, testing::ValuesIn(pcx_cases()), valid_name);

TEST(Placeholder, IsAJpegOf230By306) {
  const auto picture = decode_picture(read_file(KESTRAVA_PLACEHOLDER));
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->kind, PictureKind::jpeg);
  EXPECT_EQ(picture->width, 230);
  EXPECT_EQ(picture->height, 306);
}

// ---------------------------------------------------------------- GIF animation

const std::vector<Rgba> gif_palette = {
    {0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};

std::vector<std::uint8_t> filled(int width, int height, std::uint8_t index) {
  return std::vector<std::uint8_t>(static_cast<std::size_t>(width * height), index);
}

TEST(Gif, StillPictureWithInterlacedRowsAndLocalPalette) {
  const Pixels many = indexed(10, 11, 40);
  const std::vector<Rgba> palette = test::distinct_colors(many);
  std::vector<std::uint8_t> indexes;
  for (const Rgba& c : many.pixels) {
    indexes.push_back(
        static_cast<std::uint8_t>(std::find(palette.begin(), palette.end(), c) - palette.begin()));
  }
  for (bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "progressive rows");
    GifFrame frame{0, 0, 10, 11, indexes, palette};
    frame.interlaced = interlaced;
    const auto picture = decode_picture(test::encode_gif(10, 11, gif_palette, {frame}));
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->kind, PictureKind::gif);
    ASSERT_EQ(picture->frames.size(), 1U);
    EXPECT_EQ(picture->frames[0].delay_ms, 0);
    expect_pixels(*picture, many);
  }
}

TEST(Gif, FramesAreComposedWithTheirDisposalMethods) {
  // Screen 4 x 1. Frame 1 paints it red. Frame 2 paints x=1 green and is
  // removed to the background afterwards; frame 3 paints x=2 blue and is
  // removed to what came before; frame 4 paints x=3 with the transparent
  // index, which leaves the red showing.
  std::vector<GifFrame> frames = {
      {0, 0, 4, 1, filled(4, 1, 1), {}, 10, 1},
      {1, 0, 1, 1, filled(1, 1, 2), {}, 20, 2},
      {2, 0, 1, 1, filled(1, 1, 3), {}, 0, 3},
      {3, 0, 1, 1, filled(1, 1, 0), {}, 1, 1, 0},
  };
  const auto picture = decode_picture(test::encode_gif(4, 1, gif_palette, frames));
  ASSERT_TRUE(picture.has_value());
  ASSERT_EQ(picture->frames.size(), 4U);
  const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255}, clear{0, 0, 0, 0};
  const std::vector<std::vector<Rgba>> want = {
      {red, red, red, red},
      {red, green, red, red},
      {red, clear, blue, red},
      {red, clear, red, red},
  };
  for (std::size_t f = 0; f < want.size(); ++f) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(pixel(picture->frames[f], 4, x, 0), want[f][static_cast<std::size_t>(x)])
          << "frame " << f << " x " << x;
    }
  }
  // Delays of 0 and 1 hundredths play as browsers play them.
  EXPECT_EQ(picture->frames[0].delay_ms, 100);
  EXPECT_EQ(picture->frames[1].delay_ms, 200);
  EXPECT_EQ(picture->frames[2].delay_ms, 100);
  EXPECT_EQ(picture->frames[3].delay_ms, 100);
}

TEST(Gif, TransparentIndexOfTheFirstFrameLeavesTheCanvasClear) {
  const auto picture =
      decode_picture(test::encode_gif(2, 1, gif_palette, {{0, 0, 2, 1, {2, 3}, {}, 0, 0, 3}}));
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(pixel(picture->frames[0], 2, 0, 0), (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(pixel(picture->frames[0], 2, 1, 0), (Rgba{0, 0, 0, 0}));
}

TEST(Gif, FrameCountIsBounded) {
  std::vector<GifFrame> frames(1200, GifFrame{0, 0, 1, 1, {1}, {}, 5});
  const auto picture = decode_picture(test::encode_gif(1, 1, gif_palette, frames));
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->frames.size(), 1000U);
}

// ---------------------------------------------------------------- bad inputs

// Raw GIF pieces for what giflib will not write.
std::string gif_header(int width, int height, bool palette = true) {
  std::string out = "GIF89a";
  test::put_u16(out, static_cast<unsigned>(width));
  test::put_u16(out, static_cast<unsigned>(height));
  test::put_u8(out, palette ? 0x80 : 0x00);  // two colours
  test::put_u8(out, 0);
  test::put_u8(out, 0);
  if (palette)
    out += std::string("\0\0\0\xFF\xFF\xFF", 6);
  return out;
}

std::string gif_image(int left, int top, int width, int height, int min_code_size,
                      const std::vector<unsigned>& codes) {
  std::string out = ",";
  test::put_u16(out, static_cast<unsigned>(left));
  test::put_u16(out, static_cast<unsigned>(top));
  test::put_u16(out, static_cast<unsigned>(width));
  test::put_u16(out, static_cast<unsigned>(height));
  test::put_u8(out, 0);
  test::put_u8(out, static_cast<unsigned>(min_code_size));
  // Variable-width LZW codes, packed as the decoder will widen them.
  std::string data;
  std::uint32_t bits = 0;
  int count = 0;
  int width_bits = min_code_size + 1;
  unsigned next = (1U << min_code_size) + 2;
  bool first = true;
  for (unsigned code : codes) {
    bits |= code << count;
    count += width_bits;
    while (count >= 8) {
      data.push_back(static_cast<char>(bits & 0xFF));
      bits >>= 8;
      count -= 8;
    }
    if (code == (1U << min_code_size)) {
      width_bits = min_code_size + 1;
      next = (1U << min_code_size) + 2;
      first = true;
      continue;
    }
    if (!first && next < 4096)
      ++next;
    first = false;
    if (next == (1U << width_bits) && width_bits < 12)
      ++width_bits;
  }
  if (count > 0)
    data.push_back(static_cast<char>(bits & 0xFF));
  for (std::size_t i = 0; i < data.size(); i += 255) {
    const std::string block = data.substr(i, 255);
    test::put_u8(out, static_cast<unsigned>(block.size()));
    out += block;
  }
  test::put_u8(out, 0);
  return out;
}

std::string with_u16(std::string bytes, std::size_t at, unsigned value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
  return bytes;
}

std::string with_u32(std::string bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

std::string with_u16_be(std::string bytes, std::size_t at, unsigned value) {
  bytes[at] = static_cast<char>(value >> 8);
  bytes[at + 1] = static_cast<char>(value & 0xFF);
  return bytes;
}

// Where the records of a GIF start.
struct GifLayout {
  std::vector<std::size_t> images;
  std::vector<std::size_t> extensions;
};

GifLayout gif_layout(const std::string& gif) {
  auto u8 = [&](std::size_t i) { return static_cast<unsigned char>(gif[i]); };
  GifLayout layout;
  std::size_t at = 13;
  if (u8(10) & 0x80)
    at += 3 * (std::size_t{2} << (u8(10) & 7));
  while (at < gif.size()) {
    if (gif[at] == '!') {
      layout.extensions.push_back(at);
      at += 2;
    } else if (gif[at] == ',') {
      layout.images.push_back(at);
      const unsigned flags = u8(at + 9);
      at += 10;
      if (flags & 0x80)
        at += 3 * (std::size_t{2} << (flags & 7));
      at += 1;  // minimum code size
    } else {
      break;
    }
    while (at < gif.size() && u8(at) != 0)
      at += 1 + u8(at);
    at += 1;
  }
  return layout;
}

// A PNG with another size in its header, the header's CRC made right.
std::string png_with_size(std::string png, std::uint32_t width, std::uint32_t height) {
  for (std::size_t i = 0; i < 4; ++i) {
    png[16 + i] = static_cast<char>(width >> (24 - 8 * i));
    png[20 + i] = static_cast<char>(height >> (24 - 8 * i));
  }
  const auto crc =
      static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17));
  for (std::size_t i = 0; i < 4; ++i)
    png[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  return png;
}

using Check = std::function<void(const Picture&)>;

struct BadCase {
  std::string name;
  std::string bytes;
  bool gives_picture = false;
  Check check = nullptr;
};

void PrintTo(const BadCase& c, std::ostream* os) {
  *os << c.name;
}

class Bad : public testing::TestWithParam<BadCase> {};

TEST_P(Bad, IsRefusedOrDecodedInPart) {
  const auto picture = decode_picture(GetParam().bytes);
  ASSERT_EQ(picture.has_value(), GetParam().gives_picture);
  if (!picture)
    return;
  ASSERT_FALSE(picture->frames.empty());
  for (const PictureFrame& frame : picture->frames) {
    ASSERT_EQ(frame.rgba.size(), static_cast<std::size_t>(picture->width * picture->height * 4));
  }
  if (GetParam().check)
    GetParam().check(*picture);
}

Check size_is(int width, int height) {
  return [=](const Picture& p) {
    EXPECT_EQ(p.width, width);
    EXPECT_EQ(p.height, height);
  };
}

Check pixel_is(int x, int y, Rgba want, std::size_t frame = 0) {
  return [=](const Picture& p) {
    ASSERT_LT(frame, p.frames.size());
    EXPECT_EQ(pixel(p.frames[frame], p.width, x, y), want) << "at " << x << "," << y;
  };
}

Check all_of(std::vector<Check> checks) {
  return [=](const Picture& p) {
    for (const Check& c : checks)
      c(p);
  };
}

// Offsets of the PNG chunks: after the signature, after IHDR, and so on.
std::vector<std::size_t> png_chunk_ends(const std::string& png) {
  std::vector<std::size_t> ends;
  std::size_t at = 8;
  ends.push_back(at);
  while (at + 8 <= png.size()) {
    const auto length = static_cast<std::size_t>(
        static_cast<unsigned char>(png[at]) << 24 | static_cast<unsigned char>(png[at + 1]) << 16 |
        static_cast<unsigned char>(png[at + 2]) << 8 | static_cast<unsigned char>(png[at + 3]));
    at += 12 + length;
    ends.push_back(at);
  }
  return ends;
}

std::vector<BadCase> jpeg_bad_cases() {
  const Pixels p = test::pattern(64, 64);
  const std::string jpeg = test::encode_jpeg(p);
  const std::size_t sof = jpeg.find("\xFF\xC0");
  const std::size_t sos = jpeg.find("\xFF\xDA");
  return {
      {"SoiOnly", jpeg.substr(0, 6)},
      {"CutBeforeFrameHeader", jpeg.substr(0, sof)},
      {"CutBeforeScan", jpeg.substr(0, sos)},
      {"CutInScan", jpeg.substr(0, sos + (jpeg.size() - sos) / 2), true, size_is(64, 64)},
      {"NoEndMarker", jpeg.substr(0, jpeg.size() - 2), true, size_is(64, 64)},
      {"ZeroHeight", with_u16_be(jpeg, sof + 5, 0)},
      {"ZeroWidth", with_u16_be(jpeg, sof + 7, 0)},
      {"HugeDimensions", with_u16_be(with_u16_be(jpeg, sof + 5, 60000), sof + 7, 60000)},
      {"OverPixelBudget", with_u16_be(with_u16_be(jpeg, sof + 5, 16000), sof + 7, 16000)},
      {"GarbageScan", jpeg.substr(0, sos + 20) + std::string(500, '\x55'), true, size_is(64, 64)},
  };
}

std::vector<BadCase> png_bad_cases() {
  const Pixels p = noise(60, 50);
  const std::string png = test::encode_png(p, PngColor::rgba);
  const auto ends = png_chunk_ends(png);  // signature, IHDR, IDAT...
  std::vector<BadCase> cases = {
      {"SignatureOnly", png.substr(0, ends[0])},
      {"CutAfterHeader", png.substr(0, ends[1])},
      {"CutInHeader", png.substr(0, ends[1] - 6)},
      {"CutInImageData", png.substr(0, ends[1] + (ends[2] - ends[1]) * 3 / 4), true,
       all_of({size_is(60, 50), pixel_is(0, 0, p.at(0, 0))})},
      {"NoEndChunk", png.substr(0, png.size() - 12), true, pixel_is(59, 49, p.at(59, 49))},
      {"ZeroWidth", png_with_size(png, 0, 50)},
      {"ZeroHeight", png_with_size(png, 60, 0)},
      {"HugeWidth", png_with_size(png, 20000, 1)},
      {"OverPixelBudget", png_with_size(png, 16384, 16384)},
      {"PixelCountOverflows32Bits", png_with_size(png, 65536, 65536)},
      {"SizeLargerThanData", png_with_size(png, 400, 300), true, size_is(400, 300)},
      {"BadHeaderCrc", with_u16_be(png, 29, 0x1234)},
  };
  return cases;
}

std::vector<BadCase> gif_bad_cases() {
  const std::string trailer = ";";
  // Codes for min code size 2: clear 4, end 5, first new code 6.
  std::vector<unsigned> table_full = {4, 1};
  for (unsigned code = 6; code < 4096; ++code)
    table_full.push_back(code > 300 ? 1 : code);
  for (int i = 0; i < 50; ++i)
    table_full.push_back(4095);  // codes go on with the table full
  table_full.push_back(5);
  const std::string gif = test::encode_gif(
      4, 4, gif_palette,
      {{0, 0, 4, 4, filled(4, 4, 1), {}, 10}, {0, 0, 4, 4, filled(4, 4, 2), {}, 10}});
  const GifLayout layout = gif_layout(gif);
  const std::size_t first_image = layout.images.at(0);
  const std::size_t second_control = layout.extensions.back();
  const Rgba red{255, 0, 0, 255}, white{255, 255, 255, 255}, black{0, 0, 0, 255};
  return {
      {"ZeroScreen", gif_header(0, 0) + gif_image(0, 0, 1, 1, 2, {4, 1, 5}) + trailer},
      {"HugeScreen", gif_header(65535, 65535) + gif_image(0, 0, 1, 1, 2, {4, 1, 5}) + trailer},
      // 65535 x 65535 overflows 32 bits; the frame alone is past the budget.
      {"HugeFrame", gif_header(4, 4) + gif_image(0, 0, 65535, 65535, 2, {4, 1, 5}) + trailer},
      {"FrameOutsideScreen",
       gif_header(4, 4) + gif_image(3, 2, 4, 4, 2, std::vector<unsigned>(17, 1)) + trailer, true,
       all_of({pixel_is(3, 2, white), pixel_is(3, 3, white), pixel_is(2, 2, {0, 0, 0, 0})})},
      {"FrameFarOutsideScreen",
       gif_header(4, 4) + gif_image(60000, 60000, 2, 2, 2, {4, 1, 1, 1, 1, 5}) + trailer, true,
       pixel_is(0, 0, {0, 0, 0, 0})},
      // Index 3 is past the two-colour palette.
      {"IndexPastPalette", gif_header(2, 1) + gif_image(0, 0, 2, 1, 2, {4, 3, 1, 5}) + trailer,
       true, all_of({pixel_is(0, 0, black), pixel_is(1, 0, white)})},
      {"NoPalette", gif_header(2, 1, false) + gif_image(0, 0, 2, 1, 2, {4, 1, 1, 5}) + trailer,
       true, pixel_is(0, 0, black)},
      {"LzwTableFull",
       gif_header(4000, 2000) + gif_image(0, 0, 4000, 2000, 2, table_full) + trailer, true,
       pixel_is(0, 0, white)},
      // The fifth code, 15, is past the codes defined so far.
      {"LzwCodePastTable",
       gif_header(2, 2) + gif_image(0, 0, 2, 2, 2, {4, 1, 1, 1, 15, 1, 5}) + trailer, true,
       pixel_is(1, 0, white)},
      {"LzwMinimumCodeSizeTooBig", gif_header(2, 1) + gif_image(0, 0, 2, 1, 13, {0, 0}) + trailer},
      {"CutAfterSignature", gif.substr(0, 6)},
      {"CutAfterScreen", gif.substr(0, 13)},
      {"CutAfterPalette", gif.substr(0, first_image)},
      {"CutInImageHeader", gif.substr(0, first_image + 5)},
      {"CutInImageData", gif.substr(0, first_image + 12)},
      {"CutBeforeSecondFrame", gif.substr(0, second_control), true,
       [=](const Picture& p) {
         EXPECT_EQ(p.frames.size(), 1U);
         pixel_is(0, 0, red)(p);
       }},
      {"NoTrailer", gif.substr(0, gif.size() - 1), true,
       [](const Picture& p) { EXPECT_EQ(p.frames.size(), 2U); }},
  };
}

std::vector<BadCase> bmp_bad_cases() {
  const Pixels p = indexed(6, 8, 4);
  const std::string bmp = test::encode_bmp(p, {.bits = 8});
  const std::string rgb = test::encode_bmp(test::pattern(6, 8));
  const std::size_t palette_at = 14 + 40;
  const std::size_t pixels_at = palette_at + 4 * 4;
  const std::size_t stride = 8;
  // Hand-made RLE8 bitmaps of 4 x 2 over a palette of one entry.
  auto rle8 = [](const std::string& data, std::uint32_t colors = 1) {
    std::string out = "BM";
    test::put_u32(out, static_cast<std::uint32_t>(14 + 40 + 4 * colors + data.size()));
    test::put_u32(out, 0);
    test::put_u32(out, 14 + 40 + 4 * colors);
    test::put_u32(out, 40);
    test::put_u32(out, 4);
    test::put_u32(out, 2);
    test::put_u16(out, 1);
    test::put_u16(out, 8);
    test::put_u32(out, 1);
    out += std::string(12, '\0');
    test::put_u32(out, colors);
    test::put_u32(out, 0);
    for (std::uint32_t i = 0; i < colors; ++i)
      out += std::string("\x10\x20\x30\x00", 4);
    return out + data;
  };
  const Rgba ink{0x30, 0x20, 0x10, 255}, clear{0, 0, 0, 0}, black{0, 0, 0, 255};
  return {
      {"ZeroWidth", with_u32(bmp, 18, 0)},
      {"ZeroHeight", with_u32(bmp, 22, 0)},
      {"HugeWidth", with_u32(bmp, 18, 100000)},
      {"MostNegativeHeight", with_u32(bmp, 22, 0x80000000)},
      // 65536 x 65536 is 2^32 pixels: zero in 32-bit arithmetic.
      {"PixelCountOverflows32Bits", with_u32(with_u32(bmp, 18, 65536), 22, 65536)},
      {"OverPixelBudget", with_u32(with_u32(bmp, 18, 16384), 22, 8192)},
      {"UnknownHeaderSize", with_u32(bmp, 14, 30)},
      {"UnknownCompression", with_u32(bmp, 30, 9)},
      {"RleWithWrongDepth", with_u32(rgb, 30, 1)},
      {"PixelOffsetPastEnd", with_u32(bmp, 10, 100000)},
      {"HugePaletteCount", with_u32(bmp, 46, 0xFFFFFFFF), true, size_is(6, 8)},
      // Only 2 palette entries: indexes 2 and 3 are past it.
      {"IndexPastPalette", with_u32(bmp, 46, 2), true,
       [=](const Picture& pic) {
         int black_pixels = 0;
         for (int y = 0; y < 8; ++y) {
           for (int x = 0; x < 6; ++x)
             black_pixels += pixel(pic.frames[0], 6, x, y) == black;
         }
         EXPECT_EQ(black_pixels, 24);
       }},
      {"CutInFileHeader", bmp.substr(0, 10)},
      {"CutInInfoHeader", bmp.substr(0, 30)},
      {"CutAfterInfoHeader", bmp.substr(0, palette_at)},
      {"CutAfterPalette", bmp.substr(0, pixels_at)},
      {"CutInFirstRow", bmp.substr(0, pixels_at + stride - 1)},
      // Bottom-up: the rows present are the lowest ones.
      {"CutHalfway", bmp.substr(0, pixels_at + 4 * stride), true,
       all_of({pixel_is(0, 7, p.at(0, 7)), pixel_is(5, 4, p.at(5, 4)), pixel_is(0, 3, clear)})},
      {"CutInLastRow", bmp.substr(0, bmp.size() - 1), true,
       all_of({pixel_is(0, 1, p.at(0, 1)), pixel_is(0, 0, clear)})},
      {"RleRunPastRow", rle8(std::string("\x0A\x00\x00\x00\x02\x00\x00\x01", 8)), true,
       all_of({pixel_is(3, 1, ink), pixel_is(0, 0, ink), pixel_is(2, 0, clear)})},
      {"RleAbsolutePastRow", rle8(std::string("\x00\x08\0\0\0\0\0\0\0\0\x00\x01", 12)), true,
       all_of({pixel_is(3, 1, ink), pixel_is(0, 0, clear)})},
      {"RleDeltaPastImage", rle8(std::string("\x01\x00\x00\x02\x05\x09\x02\x00", 8)), true,
       pixel_is(0, 1, ink)},
      {"RleLinesPastImage", rle8(std::string("\x00\x00\x00\x00\x00\x00\x04\x00", 8)), true,
       pixel_is(0, 0, clear)},
      {"RleAbsoluteCut", rle8(std::string("\x00\x09\x00", 3)), true, pixel_is(0, 1, ink)},
      {"RleIndexPastPalette", rle8(std::string("\x02\x07\x00\x01", 4)), true,
       all_of({pixel_is(0, 1, black), pixel_is(2, 1, clear)})},
      {"RleNoData", rle8("")},
  };
}

std::vector<BadCase> icon_bad_cases() {
  const Pixels p = test::pattern(8, 8, true);
  const std::string dib = test::encode_dib(p, {.bits = 32, .icon_mask = true});
  const std::string one = test::encode_icon({{8, 8, 32, dib}});
  const std::string two = test::encode_icon({{8, 8, 32, dib}, {16, 16, 32, dib}});
  const std::string only_color = test::encode_icon({{8, 8, 32, dib.substr(0, 40 + 8 * 8 * 4)}});
  Pixels holes = masked(test::pattern(8, 8));
  const std::string masked_icon =
      test::encode_icon({{8, 8, 24, test::encode_dib(holes, {.bits = 24, .icon_mask = true})}});
  return {
      {"NoEntries", with_u16(one, 4, 0)},
      {"EntryOffsetPastEnd", with_u32(one, 6 + 12, 100000)},
      {"EntrySizePastEnd", with_u32(one, 6 + 8, 100000), true, size_is(8, 8)},
      {"MoreEntriesThanTheFileHolds", with_u16(one, 4, 60000), true, size_is(8, 8)},
      // The largest entry points nowhere: the next one is taken.
      {"LargestEntryBroken", with_u32(two, 6 + 16 + 12, 0xFFFFFF00), true, size_is(8, 8)},
      {"HugeBitmapInside", with_u32(one, 6 + 16 + 4, 70000)},
      {"ZeroBitmapInside", with_u32(one, 6 + 16 + 8, 0)},
      {"CutInDirectory", one.substr(0, 12)},
      {"CutAfterDirectory", one.substr(0, 6 + 16)},
      {"CutInBitmapHeader", one.substr(0, 6 + 16 + 20)},
      {"MaskMissing", only_color, true, pixel_is(3, 3, p.at(3, 3))},
      {"MaskCut", masked_icon.substr(0, masked_icon.size() - 4 * 4), true,
       all_of({pixel_is(5, 7, holes.at(5, 7)), pixel_is(0, 0, opaque(holes).at(0, 0))})},
  };
}

std::vector<BadCase> pcx_bad_cases() {
  const Pixels p = indexed(10, 6, 50);
  const std::string pcx = test::encode_pcx(p, 8, 1);
  const std::string rgb = test::encode_pcx(test::pattern(10, 6), 8, 3);
  // 4 x 2, 8 bits, 3 planes: runs that go past a row and past the picture.
  auto raw = [](const std::string& data) {
    std::string out = "\x0A\x05\x01\x08";
    test::put_u16(out, 0);
    test::put_u16(out, 0);
    test::put_u16(out, 3);
    test::put_u16(out, 1);
    out.resize(65, '\0');
    test::put_u8(out, 3);
    test::put_u16(out, 4);
    out.resize(128, '\0');
    return out + data;
  };
  return {
      {"MaxBelowMin", with_u16(pcx, 4, 20)},
      {"HugeWidth", with_u16(with_u16(pcx, 8, 65535), 66, 65535)},
      {"LineTooShortForWidth", with_u16(pcx, 66, 4)},
      {"UnknownDepth", with_u16(pcx, 3, 2)},
      {"HeaderOnly", pcx.substr(0, 128)},
      {"CutInHeader", pcx.substr(0, 100)},
      {"PaletteMissing", pcx.substr(0, pcx.size() - 769), true,
       // Grey levels stand in for the missing palette.
       [](const Picture& pic) {
         const Rgba c = pixel(pic.frames[0], pic.width, 1, 0);
         EXPECT_EQ(c.r, c.g);
         EXPECT_EQ(c.g, c.b);
       }},
      {"CutInPixels", rgb.substr(0, 128 + 40), true, size_is(10, 6)},
      {"RunAcrossRows", raw(std::string("\xDC\x07", 2)), true,
       all_of({pixel_is(0, 0, {7, 7, 7, 255}), pixel_is(3, 1, {7, 7, 7, 255})})},
      {"RunPastPicture", raw(std::string("\xFF\x07\xFF\x07", 4)), true,
       pixel_is(3, 1, {7, 7, 7, 255})},
  };
}

std::string bad_name(const testing::TestParamInfo<BadCase>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Jpeg, Bad, testing::ValuesIn(jpeg_bad_cases()), bad_name);
INSTANTIATE_TEST_SUITE_P(Png, Bad, testing::ValuesIn(png_bad_cases()), bad_name);
INSTANTIATE_TEST_SUITE_P(Gif, Bad, testing::ValuesIn(gif_bad_cases()), bad_name);
INSTANTIATE_TEST_SUITE_P(Bmp, Bad, testing::ValuesIn(bmp_bad_cases()), bad_name);
INSTANTIATE_TEST_SUITE_P(Icon, Bad, testing::ValuesIn(icon_bad_cases()), bad_name);
INSTANTIATE_TEST_SUITE_P(Pcx, Bad, testing::ValuesIn(pcx_bad_cases()), bad_name);

// Every prefix of every kind: none or a picture, never a crash.
TEST(Truncation, EveryPrefixOfEveryKindIsSafe) {
  const Pixels p = test::pattern(9, 7, true);
  const std::vector<std::string> files = {
      test::encode_jpeg(p, 80, true),
      test::encode_png(p, PngColor::rgba, true),
      test::encode_gif(
          9, 7, gif_palette,
          {{0, 0, 9, 7, filled(9, 7, 2), {}, 3, 2, 1}, {2, 2, 3, 3, filled(3, 3, 1), {}, 3, 3}}),
      test::encode_bmp(indexed(9, 7, 12), {.bits = 4, .compression = BmpCompression::rle4}),
      test::encode_icon({{9, 7, 32, test::encode_dib(p, {.bits = 32, .icon_mask = true})}}),
      test::encode_pcx(indexed(9, 7, 30), 8, 1),
  };
  for (const std::string& file : files) {
    for (std::size_t n = 0; n <= file.size(); ++n) {
      const auto picture = decode_picture(std::string_view(file).substr(0, n));
      if (picture) {
        ASSERT_FALSE(picture->frames.empty());
        ASSERT_EQ(picture->frames[0].rgba.size(),
                  static_cast<std::size_t>(picture->width * picture->height * 4));
      }
    }
    EXPECT_TRUE(decode_picture(file).has_value());
  }
}

}  // namespace
}  // namespace kestrava::platform
