#include "posters.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace kestrava::demo {
namespace {

struct Rgb {
  int r, g, b;
};

// An RGBA canvas, rows top-down.
struct Canvas {
  int width = poster_width;
  int height = poster_height;
  std::vector<std::uint8_t> rgba =
      std::vector<std::uint8_t>(static_cast<std::size_t>(poster_width) * poster_height * 4, 255);

  void put(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= width || y >= height) {
      return;
    }
    auto* p = &rgba[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x)) *
                    4];
    p[0] = static_cast<std::uint8_t>(c.r);
    p[1] = static_cast<std::uint8_t>(c.g);
    p[2] = static_cast<std::uint8_t>(c.b);
    p[3] = 255;
  }
  Rgb at(int x, int y) const {
    const auto* p = &rgba[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                           static_cast<std::size_t>(x)) *
                          4];
    return {p[0], p[1], p[2]};
  }
};

Rgb hue(int degrees, double light) {
  const double h = std::fmod(degrees, 360) / 60.0;
  const double x = 1.0 - std::fabs(std::fmod(h, 2.0) - 1.0);
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(h)) {
    case 0:
      r = 1, g = x;
      break;
    case 1:
      r = x, g = 1;
      break;
    case 2:
      g = 1, b = x;
      break;
    case 3:
      g = x, b = 1;
      break;
    case 4:
      r = x, b = 1;
      break;
    default:
      r = 1, b = x;
      break;
  }
  auto scale = [light](double v) { return static_cast<int>(std::lround(v * 255.0 * light)); };
  return {scale(r), scale(g), scale(b)};
}

Rgb mix(Rgb a, Rgb b, double t) {
  auto m = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
  return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

// A night sky over hills with a moon; frame moves the moon for the animation.
Canvas draw(int seed, int frame) {
  Canvas c;
  const int h = (seed * 47) % 360;
  const Rgb top = hue(h, 0.35);
  const Rgb bottom = hue(h + 40, 0.95);
  const Rgb hills = hue(h + 180, 0.45);
  const Rgb moon = {250, 240, 200};
  const int moon_x = 30 + ((seed * 13) % 60) + frame * 8;
  const int moon_y = 40 + (seed % 5) * 6 - frame * 3;
  const int radius = 16 + seed % 8;
  for (int y = 0; y < c.height; ++y) {
    const Rgb sky = mix(top, bottom, static_cast<double>(y) / (c.height - 1));
    for (int x = 0; x < c.width; ++x) {
      const double hill = 112 + 12 * std::sin(x * 0.07 + seed) + 6 * std::sin(x * 0.19 + seed * 3);
      const int dx = x - moon_x;
      const int dy = y - moon_y;
      Rgb p = sky;
      if (dx * dx + dy * dy <= radius * radius) {
        p = moon;
      }
      if (y > hill) {
        p = mix(hills, {10, 10, 20}, (y - hill) / (c.height - hill + 1));
      }
      // A frame of four pixels, like the print of a poster.
      if (x < 4 || y < 4 || x >= c.width - 4 || y >= c.height - 4) {
        p = {235, 225, 205};
      }
      c.put(x, y, p);
    }
  }
  return c;
}

// --- JPEG and PNG through their libraries --------------------------------------

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

std::string encode_jpeg(const Canvas& c) {
  jpeg_compress_struct info{};
  JpegError error{};
  info.err = jpeg_std_error(&error.mgr);
  error.mgr.error_exit = [](j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
  };
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(c.width) * 3);
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    throw std::runtime_error("jpeg encoding failed");
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(c.width);
  info.image_height = static_cast<JDIMENSION>(c.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 85, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    const int y = static_cast<int>(info.next_scanline);
    for (int x = 0; x < c.width; ++x) {
      const Rgb p = c.at(x, y);
      row[static_cast<std::size_t>(x) * 3] = static_cast<std::uint8_t>(p.r);
      row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<std::uint8_t>(p.g);
      row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<std::uint8_t>(p.b);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return out;
}

std::string encode_png(const Canvas& c) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::string out;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("png encoding failed");
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t length) {
        static_cast<std::string*>(png_get_io_ptr(p))
            ->append(reinterpret_cast<const char*>(data), length);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(c.width), static_cast<png_uint_32>(c.height), 8,
               PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < c.height; ++y) {
    png_write_row(png,
                  &c.rgba[static_cast<std::size_t>(y) * static_cast<std::size_t>(c.width) * 4]);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// --- 256-colour kinds: a 6x6x6 colour cube with ordered dithering --------------

constexpr int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

std::uint8_t cube_index(Rgb p, int x, int y) {
  const double threshold = (bayer[y % 4][x % 4] + 0.5) / 16.0 - 0.5;
  auto level = [threshold](int v) {
    const double scaled = v / 51.0 + threshold;
    return std::clamp(static_cast<int>(std::lround(scaled)), 0, 5);
  };
  return static_cast<std::uint8_t>(level(p.r) * 36 + level(p.g) * 6 + level(p.b));
}

std::array<Rgb, 256> cube_palette() {
  std::array<Rgb, 256> palette{};
  for (int i = 0; i < 216; ++i) {
    palette[static_cast<std::size_t>(i)] = {i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51};
  }
  return palette;
}

std::vector<std::uint8_t> indexed(const Canvas& c) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(c.width) *
                                static_cast<std::size_t>(c.height));
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      out[static_cast<std::size_t>(y) * static_cast<std::size_t>(c.width) +
          static_cast<std::size_t>(x)] = cube_index(c.at(x, y), x, y);
    }
  }
  return out;
}

std::string encode_gif(const std::vector<Canvas>& frames, int delay_cs) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(
      &out,
      [](GifFileType* g, const GifByteType* data, int length) {
        static_cast<std::string*>(g->UserData)
            ->append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
        return length;
      },
      &error);
  if (!gif) {
    throw std::runtime_error("gif encoder failed to open");
  }
  const auto palette = cube_palette();
  std::array<GifColorType, 256> colours{};
  for (std::size_t i = 0; i < palette.size(); ++i) {
    colours[i] = {static_cast<GifByteType>(palette[i].r), static_cast<GifByteType>(palette[i].g),
                  static_cast<GifByteType>(palette[i].b)};
  }
  ColorMapObject* map = GifMakeMapObject(256, colours.data());
  const int width = frames.front().width;
  const int height = frames.front().height;
  bool ok = true;
  EGifSetGifVersion(gif, true);
  ok = ok && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK;
  if (frames.size() > 1) {
    // Loop for ever.
    static const GifByteType netscape[] = "NETSCAPE2.0";
    static const GifByteType loop[] = {1, 0, 0};
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK;
    ok = ok && EGifPutExtensionBlock(gif, 11, netscape) == GIF_OK;
    ok = ok && EGifPutExtensionBlock(gif, 3, loop) == GIF_OK;
    ok = ok && EGifPutExtensionTrailer(gif) == GIF_OK;
  }
  for (const Canvas& frame : frames) {
    const GifByteType control[4] = {0x04, static_cast<GifByteType>(delay_cs & 0xFF),
                                    static_cast<GifByteType>(delay_cs >> 8), 0};
    ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK;
    ok = ok && EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    auto pixels = indexed(frame);
    for (int y = 0; ok && y < height; ++y) {
      ok = EGifPutLine(gif, &pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)],
                       width) == GIF_OK;
    }
  }
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &error) != GIF_OK || !ok) {
    throw std::runtime_error("gif encoding failed");
  }
  return out;
}

// --- the hand-written kinds, little-endian fields ------------------------------

void put16(std::string& out, int v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& out, std::int64_t v) {
  put16(out, static_cast<int>(v & 0xFFFF));
  put16(out, static_cast<int>((v >> 16) & 0xFFFF));
}

// BITMAPINFOHEADER followed by bottom-up pixels; bits is 24 or 32. For icons
// the height is doubled and an all-zero AND mask follows.
std::string dib(const Canvas& c, int bits, bool with_mask) {
  const int stride = (c.width * bits / 8 + 3) / 4 * 4;
  const int mask_stride = (c.width + 31) / 32 * 4;
  std::string out;
  put32(out, 40);
  put32(out, c.width);
  put32(out, with_mask ? c.height * 2 : c.height);
  put16(out, 1);
  put16(out, bits);
  put32(out, 0);  // BI_RGB
  put32(out,
        static_cast<std::int64_t>(stride) * c.height + (with_mask ? mask_stride * c.height : 0));
  put32(out, 2835);
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  for (int y = c.height - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < c.width; ++x) {
      const Rgb p = c.at(x, y);
      row.push_back(static_cast<char>(p.b));
      row.push_back(static_cast<char>(p.g));
      row.push_back(static_cast<char>(p.r));
      if (bits == 32) {
        row.push_back(static_cast<char>(0xFF));
      }
    }
    row.resize(static_cast<std::size_t>(stride), '\0');
    out += row;
  }
  if (with_mask) {
    out.append(static_cast<std::size_t>(mask_stride) * static_cast<std::size_t>(c.height), '\0');
  }
  return out;
}

std::string encode_bmp(const Canvas& c) {
  const std::string body = dib(c, 24, false);
  std::string out = "BM";
  put32(out, 14 + static_cast<std::int64_t>(body.size()));
  put32(out, 0);
  put32(out, 14 + 40);
  return out + body;
}

// type 1 is an icon, 2 a cursor (whose two fields are then the hot spot).
std::string encode_icon(const Canvas& c, int type) {
  const std::string body = dib(c, 32, true);
  std::string out;
  put16(out, 0);
  put16(out, type);
  put16(out, 1);
  out.push_back(static_cast<char>(c.width >= 256 ? 0 : c.width));
  out.push_back(static_cast<char>(c.height >= 256 ? 0 : c.height));
  out.push_back(0);
  out.push_back(0);
  put16(out, type == 1 ? 1 : c.width / 2);
  put16(out, type == 1 ? 32 : c.height / 2);
  put32(out, static_cast<std::int64_t>(body.size()));
  put32(out, 6 + 16);
  return out + body;
}

// Version 5, 8 bits per pixel, one plane, run-length encoded, with the
// 256-colour palette after the marker byte 0x0C.
std::string encode_pcx(const Canvas& c) {
  const int line = (c.width + 1) / 2 * 2;
  std::string out;
  out.push_back(0x0A);
  out.push_back(5);
  out.push_back(1);
  out.push_back(8);
  put16(out, 0);
  put16(out, 0);
  put16(out, c.width - 1);
  put16(out, c.height - 1);
  put16(out, 72);
  put16(out, 72);
  out.append(48, '\0');
  out.push_back(0);
  out.push_back(1);
  put16(out, line);
  put16(out, 1);
  out.append(128 - out.size(), '\0');
  const auto pixels = indexed(c);
  for (int y = 0; y < c.height; ++y) {
    std::vector<std::uint8_t> row(
        &pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(c.width)],
        &pixels[static_cast<std::size_t>(y + 1) * static_cast<std::size_t>(c.width)]);
    row.resize(static_cast<std::size_t>(line), 0);
    for (std::size_t i = 0; i < row.size();) {
      std::size_t run = 1;
      while (i + run < row.size() && row[i + run] == row[i] && run < 63) {
        ++run;
      }
      if (run > 1 || row[i] >= 0xC0) {
        out.push_back(static_cast<char>(0xC0 | run));
      }
      out.push_back(static_cast<char>(row[i]));
      i += run;
    }
  }
  out.push_back(0x0C);
  for (const Rgb& p : cube_palette()) {
    out.push_back(static_cast<char>(p.r));
    out.push_back(static_cast<char>(p.g));
    out.push_back(static_cast<char>(p.b));
  }
  return out;
}

}  // namespace

std::string make_poster(PosterKind kind, int seed) {
  switch (kind) {
    case PosterKind::jpeg:
      return encode_jpeg(draw(seed, 0));
    case PosterKind::png:
      return encode_png(draw(seed, 0));
    case PosterKind::gif:
      return encode_gif({draw(seed, 0)}, 0);
    case PosterKind::animated_gif: {
      std::vector<Canvas> frames;
      for (int f = 0; f < 6; ++f) {
        frames.push_back(draw(seed, f));
      }
      return encode_gif(frames, 20);
    }
    case PosterKind::bmp:
      return encode_bmp(draw(seed, 0));
    case PosterKind::ico:
      return encode_icon(draw(seed, 0), 1);
    case PosterKind::cur:
      return encode_icon(draw(seed, 0), 2);
    case PosterKind::pcx:
      return encode_pcx(draw(seed, 0));
  }
  return {};
}

std::string_view poster_extension(PosterKind kind) {
  switch (kind) {
    case PosterKind::jpeg:
      return "jpg";
    case PosterKind::png:
      return "png";
    case PosterKind::gif:
      return "gif";
    case PosterKind::animated_gif:
      return "gif";
    case PosterKind::bmp:
      return "bmp";
    case PosterKind::ico:
      return "ico";
    case PosterKind::cur:
      return "cur";
    case PosterKind::pcx:
      return "pcx";
  }
  return "bin";
}

std::string_view poster_content_type(PosterKind kind) {
  switch (kind) {
    case PosterKind::jpeg:
      return "image/jpeg";
    case PosterKind::png:
      return "image/png";
    case PosterKind::gif:
    case PosterKind::animated_gif:
      return "image/gif";
    case PosterKind::bmp:
      return "image/bmp";
    case PosterKind::ico:
      return "image/vnd.microsoft.icon";
    case PosterKind::cur:
      return "image/x-win-bitmap";
    case PosterKind::pcx:
      return "image/x-pcx";
  }
  return "application/octet-stream";
}

}  // namespace kestrava::demo
