#include "support/picture_fixtures.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace kestrava::test {

Pixels pattern(int width, int height, bool with_alpha) {
  Pixels p{width, height, {}};
  p.pixels.resize(static_cast<std::size_t>(width * height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Rgba& c = p.pixels[static_cast<std::size_t>(y * width + x)];
      c.r = static_cast<std::uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
      c.g = static_cast<std::uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
      c.b = static_cast<std::uint8_t>(((x / 8 + y / 8) % 2) ? 200 : 40);
      c.a = static_cast<std::uint8_t>(with_alpha ? (x + y) * 7 % 256 : 255);
    }
  }
  return p;
}

std::string encode_jpeg(const Pixels& picture, int quality, bool progressive, bool grayscale) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(picture.width);
  cinfo.image_height = static_cast<JDIMENSION>(picture.height);
  cinfo.input_components = grayscale ? 1 : 3;
  cinfo.in_color_space = grayscale ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive)
    jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(picture.width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < picture.width; ++x) {
      const Rgba c = picture.at(x, y);
      if (grayscale) {
        row[static_cast<std::size_t>(x)] = c.g;
      } else {
        row[static_cast<std::size_t>(x) * 3] = c.r;
        row[static_cast<std::size_t>(x) * 3 + 1] = c.g;
        row[static_cast<std::size_t>(x) * 3 + 2] = c.b;
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return out;
}

std::string encode_jpeg_cmyk(const Pixels& picture, int quality) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(picture.width);
  cinfo.image_height = static_cast<JDIMENSION>(picture.height);
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(picture.width) * 4);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < picture.width; ++x) {
      const Rgba c = picture.at(x, y);
      unsigned char* out = &row[static_cast<std::size_t>(x) * 4];
      out[0] = c.r, out[1] = c.g, out[2] = c.b, out[3] = 255;
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return out;
}

namespace {

void png_write_to_string(png_structp png, png_bytep data, png_size_t size) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), size);
}
void png_flush_nothing(png_structp) {}

}  // namespace

std::string encode_png(const Pixels& picture, PngColor color, bool interlaced) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, png_write_to_string, png_flush_nothing);
  const int type = color == PngColor::rgba   ? PNG_COLOR_TYPE_RGBA
                   : color == PngColor::rgb  ? PNG_COLOR_TYPE_RGB
                   : color == PngColor::gray ? PNG_COLOR_TYPE_GRAY
                                             : PNG_COLOR_TYPE_PALETTE;
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
               static_cast<png_uint_32>(picture.height), 8, type,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  // Palette pictures: a palette of the first 256 distinct colours, with alpha.
  std::vector<Rgba> palette;
  std::vector<std::uint8_t> indexes;
  if (color == PngColor::palette) {
    for (const Rgba& c : picture.pixels) {
      std::size_t i = 0;
      while (i < palette.size() && !(palette[i] == c))
        ++i;
      if (i == palette.size() && palette.size() < 256)
        palette.push_back(c);
      indexes.push_back(static_cast<std::uint8_t>(i < 256 ? i : 0));
    }
    std::vector<png_color> colors;
    std::vector<png_byte> alphas;
    for (const Rgba& c : palette) {
      colors.push_back(png_color{c.r, c.g, c.b});
      alphas.push_back(c.a);
    }
    png_set_PLTE(png, info, colors.data(), static_cast<int>(colors.size()));
    png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
  }
  png_write_info(png, info);
  const int channels = color == PngColor::rgba ? 4 : color == PngColor::rgb ? 3 : 1;
  std::vector<png_byte> image(static_cast<std::size_t>(picture.width * picture.height * channels));
  for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
    const Rgba c = picture.pixels[i];
    png_byte* p = &image[i * static_cast<std::size_t>(channels)];
    switch (color) {
      case PngColor::rgba:
        p[3] = c.a;
        [[fallthrough]];
      case PngColor::rgb:
        p[0] = c.r, p[1] = c.g, p[2] = c.b;
        break;
      case PngColor::gray:
        p[0] = c.g;
        break;
      case PngColor::palette:
        p[0] = indexes[i];
        break;
    }
  }
  std::vector<png_bytep> rows;
  for (int y = 0; y < picture.height; ++y) {
    rows.push_back(&image[static_cast<std::size_t>(y * picture.width * channels)]);
  }
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

void put_u8(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFF));
}
void put_u16(std::string& out, unsigned value) {
  put_u8(out, value);
  put_u8(out, value >> 8);
}
void put_u32(std::string& out, std::uint32_t value) {
  put_u16(out, value & 0xFFFF);
  put_u16(out, value >> 16);
}

namespace {

int gif_write_to_string(GifFileType* gif, const GifByteType* data, int size) {
  static_cast<std::string*>(gif->UserData)
      ->append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
  return size;
}

ColorMapObject* make_map(const std::vector<Rgba>& palette) {
  int count = 2;
  while (count < static_cast<int>(palette.size()))
    count *= 2;
  std::vector<GifColorType> colors(static_cast<std::size_t>(count), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < palette.size(); ++i) {
    colors[i] = GifColorType{palette[i].r, palette[i].g, palette[i].b};
  }
  return GifMakeMapObject(count, colors.data());
}

}  // namespace

std::string encode_gif(int width, int height, const std::vector<Rgba>& global_palette,
                       const std::vector<GifFrame>& frames) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, gif_write_to_string, &error);
  EGifSetGifVersion(gif, true);
  ColorMapObject* global = global_palette.empty() ? nullptr : make_map(global_palette);
  EGifPutScreenDesc(gif, width, height, 8, 0, global);
  if (frames.size() > 1) {
    const unsigned char netscape[] = "NETSCAPE2.0";
    const unsigned char loop[] = {1, 0, 0};
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, netscape);
    EGifPutExtensionBlock(gif, 3, loop);
    EGifPutExtensionTrailer(gif);
  }
  for (const GifFrame& frame : frames) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = frame.disposal;
    gcb.DelayTime = frame.delay_cs;
    gcb.TransparentColor = frame.transparent;
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&gcb, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension);
    ColorMapObject* local = frame.palette.empty() ? nullptr : make_map(frame.palette);
    EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced,
                     local);
    // The caller gives rows in picture order; interlaced frames store them by pass.
    std::vector<int> order;
    if (frame.interlaced) {
      const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass) {
        for (int y = starts[pass]; y < frame.height; y += steps[pass])
          order.push_back(y);
      }
    } else {
      for (int y = 0; y < frame.height; ++y)
        order.push_back(y);
    }
    for (int y : order) {
      std::vector<GifPixelType> line(frame.indexes.begin() + y * frame.width,
                                     frame.indexes.begin() + (y + 1) * frame.width);
      EGifPutLine(gif, line.data(), frame.width);
    }
    if (local != nullptr)
      GifFreeMapObject(local);
  }
  if (global != nullptr)
    GifFreeMapObject(global);
  EGifCloseFile(gif, &error);
  return out;
}

std::vector<Rgba> distinct_colors(const Pixels& picture) {
  std::vector<Rgba> colors;
  for (const Rgba& c : picture.pixels) {
    if (std::find(colors.begin(), colors.end(), c) == colors.end())
      colors.push_back(c);
  }
  return colors;
}

namespace {

std::size_t index_of(const std::vector<Rgba>& palette, const Rgba& c) {
  return static_cast<std::size_t>(std::find(palette.begin(), palette.end(), c) - palette.begin());
}

std::uint32_t pack(const Rgba& c, const std::uint32_t masks[4]) {
  const std::uint8_t channels[4] = {c.r, c.g, c.b, c.a};
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    if (masks[i] == 0)
      continue;
    const int shift = std::countr_zero(masks[i]);
    const int bits = std::popcount(masks[i]);
    v |= (static_cast<std::uint32_t>(channels[i]) >> (8 - std::min(bits, 8))) << shift;
  }
  return v;
}

void put_rle_row(std::string& out, const std::vector<unsigned>& indexes, bool four, bool absolute) {
  const std::size_t n = indexes.size();
  if (absolute && n >= 3 && n <= 255) {
    put_u8(out, 0);
    put_u8(out, static_cast<unsigned>(n));
    std::string body;
    for (std::size_t i = 0; i < n; i += four ? 2 : 1) {
      const unsigned hi = indexes[i];
      const unsigned lo = four && i + 1 < n ? indexes[i + 1] : 0;
      put_u8(body, four ? (hi << 4 | lo) : hi);
    }
    if (body.size() % 2 == 1)
      body.push_back('\0');
    out += body;
  } else {
    for (std::size_t i = 0; i < n;) {
      std::size_t j = i;
      while (j < n && indexes[j] == indexes[i] && j - i < 255)
        ++j;
      put_u8(out, static_cast<unsigned>(j - i));
      put_u8(out, four ? (indexes[i] << 4 | indexes[i]) : indexes[i]);
      i = j;
    }
  }
  put_u16(out, 0);  // end of line
}

}  // namespace

std::string encode_dib(const Pixels& picture, const BmpOptions& o) {
  std::string out;
  const std::vector<Rgba> palette = o.bits <= 8 ? distinct_colors(picture) : std::vector<Rgba>{};
  const int stored_height = o.icon_mask ? picture.height * 2 : picture.height;
  const bool rle = o.compression == BmpCompression::rle8 || o.compression == BmpCompression::rle4;
  if (o.header_size == 12) {
    put_u32(out, 12);
    put_u16(out, static_cast<unsigned>(picture.width));
    put_u16(out, static_cast<unsigned>(stored_height));
    put_u16(out, 1);
    put_u16(out, static_cast<unsigned>(o.bits));
  } else {
    put_u32(out, static_cast<std::uint32_t>(o.header_size));
    put_u32(out, static_cast<std::uint32_t>(picture.width));
    put_u32(out, static_cast<std::uint32_t>(o.top_down ? -stored_height : stored_height));
    put_u16(out, 1);
    put_u16(out, static_cast<unsigned>(o.bits));
    put_u32(out, static_cast<std::uint32_t>(o.compression));
    put_u32(out, 0);  // image size, may be 0
    put_u32(out, 2835);
    put_u32(out, 2835);
    put_u32(out, static_cast<std::uint32_t>(palette.size()));
    put_u32(out, 0);
    const bool masks = o.compression == BmpCompression::bitfields;
    if (o.header_size > 40) {
      for (int i = 0; i < 4; ++i)
        put_u32(out, masks ? o.masks[i] : 0);
      out.resize(static_cast<std::size_t>(o.header_size), '\0');
    } else if (masks) {
      for (int i = 0; i < 3; ++i)
        put_u32(out, o.masks[i]);
    }
  }
  for (const Rgba& c : palette) {
    put_u8(out, c.b);
    put_u8(out, c.g);
    put_u8(out, c.r);
    if (o.header_size != 12)
      put_u8(out, 0);
  }
  std::vector<int> rows;
  for (int y = 0; y < picture.height; ++y)
    rows.push_back(o.top_down ? y : picture.height - 1 - y);
  if (rle) {
    for (int y : rows) {
      std::vector<unsigned> indexes;
      for (int x = 0; x < picture.width; ++x) {
        indexes.push_back(static_cast<unsigned>(index_of(palette, picture.at(x, y))));
      }
      put_rle_row(out, indexes, o.compression == BmpCompression::rle4, o.rle_absolute);
    }
    put_u8(out, 0);
    put_u8(out, 1);  // end of bitmap
    return out;
  }
  const std::size_t stride = static_cast<std::size_t>((picture.width * o.bits + 31) / 32 * 4);
  const std::uint32_t default16[4] = {0x7C00, 0x03E0, 0x001F, 0};
  const std::uint32_t* masks = o.compression == BmpCompression::bitfields ? o.masks : default16;
  for (int y : rows) {
    std::string row(stride, '\0');
    for (int x = 0; x < picture.width; ++x) {
      const Rgba c = picture.at(x, y);
      const auto ux = static_cast<std::size_t>(x);
      switch (o.bits) {
        case 1:
        case 4:
        case 8: {
          const auto index = static_cast<unsigned>(index_of(palette, c));
          const std::size_t per_byte = static_cast<std::size_t>(8 / o.bits);
          const auto shift = 8 - o.bits * static_cast<int>(1 + ux % per_byte);
          row[ux / per_byte] =
              static_cast<char>(static_cast<unsigned char>(row[ux / per_byte]) | (index << shift));
          break;
        }
        case 16: {
          const std::uint32_t v = pack(c, masks);
          row[ux * 2] = static_cast<char>(v & 0xFF);
          row[ux * 2 + 1] = static_cast<char>(v >> 8);
          break;
        }
        case 24:
          row[ux * 3] = static_cast<char>(c.b);
          row[ux * 3 + 1] = static_cast<char>(c.g);
          row[ux * 3 + 2] = static_cast<char>(c.r);
          break;
        case 32: {
          const std::uint32_t v = o.compression == BmpCompression::bitfields
                                      ? pack(c, o.masks)
                                      : (std::uint32_t{c.a} << 24 | std::uint32_t{c.r} << 16 |
                                         std::uint32_t{c.g} << 8 | c.b);
          for (std::size_t i = 0; i < 4; ++i)
            row[ux * 4 + i] = static_cast<char>(v >> (8 * i));
          break;
        }
      }
    }
    out += row;
  }
  if (o.icon_mask) {
    const std::size_t mask_stride = static_cast<std::size_t>((picture.width + 31) / 32 * 4);
    for (int y : rows) {
      std::string row(mask_stride, '\0');
      for (int x = 0; x < picture.width; ++x) {
        if (picture.at(x, y).a == 0) {
          const auto ux = static_cast<std::size_t>(x);
          row[ux / 8] =
              static_cast<char>(static_cast<unsigned char>(row[ux / 8]) | (0x80 >> (ux % 8)));
        }
      }
      out += row;
    }
  }
  return out;
}

std::string encode_bmp(const Pixels& picture, const BmpOptions& options) {
  const std::string dib = encode_dib(picture, options);
  const std::size_t palette_bytes =
      options.bits <= 8 ? distinct_colors(picture).size() * (options.header_size == 12 ? 3 : 4) : 0;
  const std::size_t masks_bytes =
      options.header_size == 40 && options.compression == BmpCompression::bitfields ? 12 : 0;
  std::string out = "BM";
  put_u32(out, static_cast<std::uint32_t>(14 + dib.size()));
  put_u32(out, 0);
  put_u32(out, static_cast<std::uint32_t>(14 + static_cast<std::size_t>(options.header_size) +
                                          masks_bytes + palette_bytes));
  return out + dib;
}

std::string encode_icon(const std::vector<IconImage>& images, bool cursor) {
  std::string out;
  put_u16(out, 0);
  put_u16(out, cursor ? 2 : 1);
  put_u16(out, static_cast<unsigned>(images.size()));
  std::size_t offset = 6 + 16 * images.size();
  for (const IconImage& image : images) {
    put_u8(out, image.width >= 256 ? 0 : static_cast<unsigned>(image.width));
    put_u8(out, image.height >= 256 ? 0 : static_cast<unsigned>(image.height));
    put_u8(out, 0);
    put_u8(out, 0);
    put_u16(out, 1);  // planes, or the cursor's hot spot x
    put_u16(out, cursor ? 2 : static_cast<unsigned>(image.bits));  // or the hot spot y
    put_u32(out, static_cast<std::uint32_t>(image.data.size()));
    put_u32(out, static_cast<std::uint32_t>(offset));
    offset += image.data.size();
  }
  for (const IconImage& image : images)
    out += image.data;
  return out;
}

namespace {

void put_pcx_line(std::string& out, const std::string& line) {
  for (std::size_t i = 0; i < line.size();) {
    std::size_t j = i;
    while (j < line.size() && line[j] == line[i] && j - i < 63)
      ++j;
    const auto value = static_cast<unsigned char>(line[i]);
    if (j - i > 1 || value >= 0xC0)
      put_u8(out, 0xC0 | static_cast<unsigned>(j - i));
    put_u8(out, value);
    i = j;
  }
}

}  // namespace

std::string encode_pcx(const Pixels& picture, int bits, int planes) {
  const std::vector<Rgba> palette =
      bits == 8 && planes >= 3 ? std::vector<Rgba>{} : distinct_colors(picture);
  const std::size_t bytes_per_line =
      static_cast<std::size_t>((picture.width * bits + 15) / 16 * 2);  // even, as the format wants
  std::string out;
  put_u8(out, 0x0A);
  put_u8(out, 5);
  put_u8(out, 1);
  put_u8(out, static_cast<unsigned>(bits));
  put_u16(out, 0);
  put_u16(out, 0);
  put_u16(out, static_cast<unsigned>(picture.width - 1));
  put_u16(out, static_cast<unsigned>(picture.height - 1));
  put_u16(out, 72);
  put_u16(out, 72);
  for (std::size_t i = 0; i < 16; ++i) {
    const Rgba c = bits * planes <= 4 && i < palette.size() ? palette[i] : Rgba{};
    put_u8(out, c.r);
    put_u8(out, c.g);
    put_u8(out, c.b);
  }
  put_u8(out, 0);
  put_u8(out, static_cast<unsigned>(planes));
  put_u16(out, static_cast<unsigned>(bytes_per_line));
  put_u16(out, 1);
  out.resize(128, '\0');
  for (int y = 0; y < picture.height; ++y) {
    std::string line(bytes_per_line * static_cast<std::size_t>(planes), '\0');
    for (int x = 0; x < picture.width; ++x) {
      const Rgba c = picture.at(x, y);
      const auto ux = static_cast<std::size_t>(x);
      if (bits == 8 && planes >= 3) {
        const std::uint8_t channels[4] = {c.r, c.g, c.b, c.a};
        for (std::size_t p = 0; p < static_cast<std::size_t>(planes); ++p) {
          line[p * bytes_per_line + ux] = static_cast<char>(channels[p]);
        }
        continue;
      }
      const auto index = static_cast<unsigned>(index_of(palette, c));
      if (bits == 8) {
        line[ux] = static_cast<char>(index);
      } else if (bits == 4) {
        line[ux / 2] = static_cast<char>(static_cast<unsigned char>(line[ux / 2]) |
                                         (index << (ux % 2 == 0 ? 4 : 0)));
      } else {
        for (std::size_t p = 0; p < static_cast<std::size_t>(planes); ++p) {
          if ((index >> p) & 1) {
            char& byte = line[p * bytes_per_line + ux / 8];
            byte = static_cast<char>(static_cast<unsigned char>(byte) | (0x80 >> (ux % 8)));
          }
        }
      }
    }
    put_pcx_line(out, line);
  }
  if (bits == 8 && planes == 1) {
    put_u8(out, 0x0C);
    for (std::size_t i = 0; i < 256; ++i) {
      const Rgba c = i < palette.size() ? palette[i] : Rgba{};
      put_u8(out, c.r);
      put_u8(out, c.g);
      put_u8(out, c.b);
    }
  }
  return out;
}

}  // namespace kestrava::test
