// BMP files and the device-independent bitmaps inside icons: 1, 4, 8, 16, 24
// and 32 bits, bit-field masks, RLE4 and RLE8, bottom-up and top-down rows.
#include <algorithm>
#include <array>
#include <bit>

#include "platform/picture/decoders.h"

namespace kestrava::platform::picture_detail {

namespace {

constexpr std::uint32_t bi_rgb = 0;
constexpr std::uint32_t bi_rle8 = 1;
constexpr std::uint32_t bi_rle4 = 2;
constexpr std::uint32_t bi_bitfields = 3;
constexpr std::uint32_t bi_alphabitfields = 6;

constexpr std::size_t file_header_size = 14;

// One channel of a bit-field pixel, widened or narrowed to 8 bits.
class Channel {
 public:
  Channel() = default;
  explicit Channel(std::uint32_t mask) : mask_(mask) {
    if (mask == 0)
      return;
    shift_ = std::countr_zero(mask);
    bits_ = 32 - std::countl_zero(mask) - shift_;
  }
  bool present() const { return mask_ != 0; }
  std::uint8_t operator()(std::uint32_t pixel) const {
    if (mask_ == 0)
      return 0;
    const std::uint32_t value = (pixel & mask_) >> shift_;
    if (bits_ >= 8)
      return static_cast<std::uint8_t>(value >> (bits_ - 8));
    const std::uint32_t max = (1U << bits_) - 1;
    return static_cast<std::uint8_t>((value * 255 + max / 2) / max);
  }

 private:
  std::uint32_t mask_ = 0;
  int shift_ = 0;
  int bits_ = 0;
};

struct DibHeader {
  std::size_t header_size = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // of the colour image, without an icon's mask
  bool top_down = false;
  int bits = 0;
  std::uint32_t compression = bi_rgb;
  std::uint32_t colors_used = 0;
  std::size_t palette_entry = 4;
  std::size_t masks_after_header = 0;  // bytes of masks that follow a 40-byte header
  std::uint32_t masks[4] = {0, 0, 0, 0};
  bool alpha_mask_given = false;
};

std::optional<DibHeader> read_header(const ByteReader& in, DibUse use) {
  DibHeader h;
  if (!in.has(0, 4))
    return std::nullopt;
  h.header_size = in.u32(0);
  if (h.header_size == 12) {
    if (!in.has(0, 12))
      return std::nullopt;
    h.width = in.u16(4);
    h.height = in.u16(6);
    h.bits = in.u16(10);
    h.palette_entry = 3;
  } else if (h.header_size >= 40 && h.header_size <= 1024) {
    if (!in.has(0, 40))
      return std::nullopt;
    h.width = in.i32(4);
    h.height = in.i32(8);
    h.bits = in.u16(14);
    h.compression = in.u32(16);
    h.colors_used = in.u32(32);
    if (h.header_size >= 52 && in.has(0, 52)) {
      for (int i = 0; i < 3; ++i)
        h.masks[i] = in.u32(40 + 4 * static_cast<std::size_t>(i));
    }
    if (h.header_size >= 56 && in.has(0, 56)) {
      h.masks[3] = in.u32(52);
      h.alpha_mask_given = true;
    }
    if (h.header_size == 40 &&
        (h.compression == bi_bitfields || h.compression == bi_alphabitfields)) {
      h.masks_after_header = h.compression == bi_bitfields ? 12 : 16;
      for (std::size_t i = 0; i < h.masks_after_header / 4; ++i) {
        if (in.has(40 + 4 * i, 4))
          h.masks[i] = in.u32(40 + 4 * i);
      }
      h.alpha_mask_given = h.compression == bi_alphabitfields;
    }
  } else {
    return std::nullopt;
  }
  if (h.height < 0) {
    h.top_down = true;
    h.height = -h.height;
  }
  if (use == DibUse::icon) {
    h.top_down = false;
    h.height /= 2;
  }
  if (!dimensions_allowed(h.width, h.height))
    return std::nullopt;
  switch (h.compression) {
    case bi_rgb:
      if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 &&
          h.bits != 32) {
        return std::nullopt;
      }
      break;
    case bi_rle8:
      if (h.bits != 8)
        return std::nullopt;
      break;
    case bi_rle4:
      if (h.bits != 4)
        return std::nullopt;
      break;
    case bi_bitfields:
    case bi_alphabitfields:
      if (h.bits != 16 && h.bits != 32)
        return std::nullopt;
      break;
    default:
      return std::nullopt;
  }
  if (h.compression == bi_rgb && h.bits == 16) {
    h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F, h.masks[3] = 0;
  } else if (h.compression == bi_rgb && h.bits == 32) {
    // The fourth byte is unused in files but carries the alpha of icons.
    h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
    h.masks[3] = use == DibUse::icon ? 0xFF000000 : 0;
    h.alpha_mask_given = use == DibUse::icon;
  }
  if (h.compression == bi_bitfields && !h.alpha_mask_given)
    h.masks[3] = 0;
  return h;
}

using Palette = std::array<std::array<std::uint8_t, 4>, 256>;

class Canvas {
 public:
  Canvas(const DibHeader& h, Image& image) : h_(h), image_(image) {}
  // Row y counts in file order: from the bottom unless the bitmap is top-down.
  std::uint8_t* row(std::int64_t y) const {
    const std::int64_t top_y = h_.top_down ? y : h_.height - 1 - y;
    return image_.rgba.data() + top_y * h_.width * 4;
  }

 private:
  const DibHeader& h_;
  Image& image_;
};

void put_index(std::uint8_t* out, unsigned index, const Palette& palette, std::size_t colors) {
  // An index past the palette shows as opaque black.
  static constexpr std::array<std::uint8_t, 4> black = {0, 0, 0, 255};
  const auto& c = index < colors ? palette[index] : black;
  std::copy(c.begin(), c.end(), out);
}

void decode_rows(const ByteReader& pixels, const DibHeader& h, const Palette& palette,
                 std::size_t colors, const Canvas& canvas, std::int64_t rows) {
  const std::size_t stride = static_cast<std::size_t>((h.width * h.bits + 31) / 32 * 4);
  const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alpha(h.masks[3]);
  const auto width = static_cast<std::size_t>(h.width);
  for (std::int64_t y = 0; y < rows; ++y) {
    const std::uint8_t* in = pixels.data() + static_cast<std::size_t>(y) * stride;
    std::uint8_t* out = canvas.row(y);
    switch (h.bits) {
      case 1:
      case 4:
      case 8: {
        const int per_byte = 8 / h.bits;
        const unsigned mask = (1U << h.bits) - 1;
        for (std::size_t x = 0; x < width; ++x, out += 4) {
          const int shift =
              8 - h.bits * (1 + static_cast<int>(x % static_cast<std::size_t>(per_byte)));
          put_index(out, (in[x / static_cast<std::size_t>(per_byte)] >> shift) & mask, palette,
                    colors);
        }
        break;
      }
      case 24:
        for (std::size_t x = 0; x < width; ++x, in += 3, out += 4) {
          out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = 255;
        }
        break;
      case 16:
      case 32: {
        const std::size_t size = static_cast<std::size_t>(h.bits / 8);
        for (std::size_t x = 0; x < width; ++x, in += size, out += 4) {
          const std::uint32_t v =
              size == 2 ? static_cast<std::uint32_t>(in[0] | (in[1] << 8))
                        : static_cast<std::uint32_t>(in[0] | (in[1] << 8) | (in[2] << 16)) |
                              (static_cast<std::uint32_t>(in[3]) << 24);
          out[0] = red(v), out[1] = green(v), out[2] = blue(v);
          out[3] = alpha.present() ? alpha(v) : 255;
        }
        break;
      }
    }
  }
}

// Run-length data; pixels that no run reaches stay transparent. Runs past the
// row are cut at its end, and decoding stops at the end of the image.
void decode_rle(const ByteReader& in, const DibHeader& h, const Palette& palette,
                std::size_t colors, const Canvas& canvas) {
  const bool four = h.compression == bi_rle4;
  std::int64_t x = 0, y = 0;
  std::size_t pos = 0;
  auto put = [&](unsigned index) {
    if (x < h.width && y < h.height)
      put_index(canvas.row(y) + x * 4, index, palette, colors);
    ++x;
  };
  while (in.has(pos, 2) && y < h.height) {
    const unsigned count = in.u8(pos), value = in.u8(pos + 1);
    pos += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count; ++i)
        put(four ? (i % 2 == 0 ? value >> 4 : value & 15) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // delta
      if (!in.has(pos, 2))
        return;
      x += in.u8(pos);
      y += in.u8(pos + 1);
      pos += 2;
    } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
      const std::size_t bytes = four ? (value + 1) / 2 : value;
      for (unsigned i = 0; i < value; ++i) {
        const std::size_t at = pos + (four ? i / 2 : i);
        if (!in.has(at, 1))
          return;
        const unsigned byte = in.u8(at);
        put(four ? (i % 2 == 0 ? byte >> 4 : byte & 15) : byte);
      }
      pos += bytes + (bytes & 1);
    }
  }
}

}  // namespace

std::optional<Image> decode_dib(std::string_view dib, std::optional<std::size_t> pixel_offset,
                                DibUse use) {
  const ByteReader in(dib);
  const auto header = read_header(in, use);
  if (!header)
    return std::nullopt;
  const DibHeader& h = *header;

  Palette palette{};
  std::size_t colors = 0;
  std::size_t palette_offset = h.header_size + h.masks_after_header;
  std::size_t after_palette = palette_offset;
  if (h.bits <= 8) {
    const std::size_t declared = h.colors_used != 0 ? h.colors_used : std::size_t{1} << h.bits;
    for (std::size_t i = 0; i < std::min<std::size_t>(declared, 256) &&
                            in.has(palette_offset + i * h.palette_entry, 3);
         ++i) {
      const std::size_t at = palette_offset + i * h.palette_entry;
      palette[i] = {in.u8(at + 2), in.u8(at + 1), in.u8(at), 255};
      colors = i + 1;
    }
    after_palette = palette_offset + declared * h.palette_entry;
  }
  const std::size_t offset = pixel_offset.value_or(after_palette);
  if (offset >= in.size())
    return std::nullopt;
  const ByteReader pixels(dib.substr(offset));

  const bool rle = h.compression == bi_rle4 || h.compression == bi_rle8;
  const auto stride = static_cast<std::size_t>((h.width * h.bits + 31) / 32 * 4);
  const auto rows =
      std::min<std::int64_t>(h.height, static_cast<std::int64_t>(pixels.size() / stride));
  // No pixel buffer for a header without a single row of data behind it.
  if (rle ? pixels.size() < 2 : rows == 0)
    return std::nullopt;

  Image image;
  image.width = static_cast<int>(h.width);
  image.height = static_cast<int>(h.height);
  image.rgba.resize(static_cast<std::size_t>(h.width * h.height * 4));
  const Canvas canvas(h, image);
  if (rle) {
    decode_rle(pixels, h, palette, colors, canvas);
    return image;
  }
  decode_rows(pixels, h, palette, colors, canvas, rows);

  if (use == DibUse::icon) {
    // 32-bit icons carry their own alpha; the AND mask counts only when that
    // alpha is all zero. Missing mask rows leave their pixels opaque.
    bool alpha_used = false;
    if (h.bits == 32) {
      for (std::size_t i = 3; i < image.rgba.size() && !alpha_used; i += 4) {
        alpha_used = image.rgba[i] != 0;
      }
      if (!alpha_used) {
        for (std::size_t i = 3; i < image.rgba.size(); i += 4)
          image.rgba[i] = 255;
      }
    }
    if (!alpha_used) {
      const std::size_t mask_stride = static_cast<std::size_t>((h.width + 31) / 32 * 4);
      const std::size_t mask_offset = stride * static_cast<std::size_t>(h.height);
      for (std::int64_t y = 0; y < rows; ++y) {
        const std::size_t at = mask_offset + static_cast<std::size_t>(y) * mask_stride;
        if (!pixels.has(at, mask_stride))
          break;
        std::uint8_t* out = canvas.row(y);
        for (std::int64_t x = 0; x < h.width; ++x) {
          if ((pixels.u8(at + static_cast<std::size_t>(x / 8)) >> (7 - x % 8)) & 1) {
            out[x * 4 + 3] = 0;
          }
        }
      }
    }
  }
  return image;
}

std::optional<Image> decode_bmp(std::string_view bytes) {
  const ByteReader in(bytes);
  if (!in.has(0, file_header_size + 4))
    return std::nullopt;
  const std::uint32_t pixel_offset = in.u32(10);
  if (pixel_offset < file_header_size || pixel_offset >= bytes.size())
    return std::nullopt;
  return decode_dib(bytes.substr(file_header_size), pixel_offset - file_header_size, DibUse::file);
}

}  // namespace kestrava::platform::picture_detail
