// Writes the fuzzer's seed corpus: one small picture of every kind and
// variant the decoders know.
//   make_picture_seeds <dir>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "support/picture_fixtures.h"

using namespace kestrava::test;

namespace {

Pixels few_colors(int width, int height, int count) {
  Pixels p{width, height, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int i = (x / 2 + y) % count;
      p.pixels.push_back(
          Rgba{static_cast<std::uint8_t>(i * 40), static_cast<std::uint8_t>(255 - i * 30),
               static_cast<std::uint8_t>(i * 90), static_cast<std::uint8_t>(i == 0 ? 0 : 255)});
    }
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_picture_seeds <dir>\n";
    return 2;
  }
  const std::string dir = argv[1];
  const Pixels p = pattern(8, 6, true);
  const Pixels two = few_colors(9, 5, 2), sixteen = few_colors(9, 5, 6), many = few_colors(9, 5, 7);
  const std::uint32_t argb[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  const std::vector<Rgba> palette = {
      {0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};
  auto fill = [](int w, int h, std::uint8_t i) {
    return std::vector<std::uint8_t>(static_cast<std::size_t>(w * h), i);
  };
  const std::vector<std::pair<std::string, std::string>> seeds = {
      {"baseline.jpg", encode_jpeg(p, 75)},
      {"progressive.jpg", encode_jpeg(p, 75, true)},
      {"gray.jpg", encode_jpeg(p, 75, false, true)},
      {"rgba.png", encode_png(p)},
      {"palette.png", encode_png(many, PngColor::palette)},
      {"interlaced.png", encode_png(p, PngColor::rgb, true)},
      {"still.gif", encode_gif(4, 3, palette, {{0, 0, 4, 3, fill(4, 3, 1)}})},
      {"animated.gif", encode_gif(6, 4, palette,
                                  {{0, 0, 6, 4, fill(6, 4, 1), {}, 5, 1},
                                   {1, 1, 2, 2, fill(2, 2, 2), palette, 5, 2, 0},
                                   {2, 0, 3, 3, fill(3, 3, 3), {}, 5, 3, -1, true}})},
      {"1bit.bmp", encode_bmp(two, {.bits = 1})},
      {"4bit.bmp", encode_bmp(sixteen, {.bits = 4})},
      {"8bit-core.bmp", encode_bmp(many, {.bits = 8, .header_size = 12})},
      {"16bit.bmp", encode_bmp(p, {.bits = 16})},
      {"24bit-topdown.bmp", encode_bmp(p, {.top_down = true})},
      {"32bit-v5.bmp", encode_bmp(p, {.bits = 32,
                                      .header_size = 124,
                                      .compression = BmpCompression::bitfields,
                                      .masks = {argb[0], argb[1], argb[2], argb[3]}})},
      {"rle8.bmp", encode_bmp(many, {.bits = 8, .compression = BmpCompression::rle8})},
      {"rle4.bmp",
       encode_bmp(sixteen, {.bits = 4, .compression = BmpCompression::rle4, .rle_absolute = true})},
      {"icon.ico", encode_icon({{8, 6, 32, encode_dib(p, {.bits = 32, .icon_mask = true})},
                                {9, 5, 4, encode_dib(sixteen, {.bits = 4, .icon_mask = true})}})},
      {"png.ico", encode_icon({{8, 6, 32, encode_png(p)}})},
      {"cursor.cur",
       encode_icon({{9, 5, 8, encode_dib(many, {.bits = 8, .icon_mask = true})}}, true)},
      {"1bit.pcx", encode_pcx(two, 1, 1)},
      {"4plane.pcx", encode_pcx(sixteen, 1, 4)},
      {"8bit.pcx", encode_pcx(many, 8, 1)},
      {"24bit.pcx", encode_pcx(p, 8, 3)},
  };
  for (const auto& [name, bytes] : seeds) {
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
  }
  return 0;
}
