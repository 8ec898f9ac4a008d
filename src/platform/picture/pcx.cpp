// PCX: a 128-byte header, run-length encoded scan lines of one or more
// planes, and for 8-bit pictures a 256-colour palette at the end of the file.
#include <algorithm>
#include <array>

#include "platform/picture/decoders.h"

namespace kestrava::platform::picture_detail {

namespace {

constexpr std::size_t header_size = 128;
constexpr std::size_t end_palette_size = 769;  // marker 0x0C and 256 RGB triples

// Reads the run-length stream; a run may go on into the next scan line.
class RunReader {
 public:
  RunReader(const ByteReader& in, std::size_t start, bool encoded)
      : in_(in), pos_(start), encoded_(encoded) {}
  // Fills `line`; false when the data ended first.
  bool read_line(std::vector<std::uint8_t>& line) {
    for (std::size_t i = 0; i < line.size();) {
      if (run_ == 0) {
        if (!in_.has(pos_, 1))
          return false;
        const std::uint8_t byte = in_.u8(pos_++);
        if (encoded_ && byte >= 0xC0) {
          if (!in_.has(pos_, 1))
            return false;
          run_ = byte & 0x3F;
          value_ = in_.u8(pos_++);
        } else {
          run_ = 1;
          value_ = byte;
        }
      }
      const std::size_t n = std::min(run_, line.size() - i);
      std::fill_n(line.begin() + static_cast<std::ptrdiff_t>(i), n, value_);
      i += n;
      run_ -= n;
    }
    return true;
  }

 private:
  const ByteReader& in_;
  std::size_t pos_;
  bool encoded_;
  std::size_t run_ = 0;
  std::uint8_t value_ = 0;
};

}  // namespace

std::optional<Image> decode_pcx(std::string_view bytes) {
  const ByteReader in(bytes);
  if (!in.has(0, header_size))
    return std::nullopt;
  const int version = in.u8(1);
  const bool encoded = in.u8(2) == 1;
  const int bits = in.u8(3);
  const std::int64_t width = std::int64_t{in.u16(8)} - in.u16(4) + 1;
  const std::int64_t height = std::int64_t{in.u16(10)} - in.u16(6) + 1;
  const int planes = in.u8(65);
  const std::size_t bytes_per_line = in.u16(66);
  if (!dimensions_allowed(width, height))
    return std::nullopt;
  const bool known = (bits == 1 && (planes == 1 || planes == 4)) || (bits == 4 && planes == 1) ||
                     (bits == 8 && (planes == 1 || planes == 3 || planes == 4));
  if (!known)
    return std::nullopt;
  if (bytes_per_line * 8 < static_cast<std::size_t>(width * bits))
    return std::nullopt;

  // Colours: 16 in the header, or 256 after the pixel data of an 8-bit file.
  std::array<std::array<std::uint8_t, 3>, 256> palette{};
  for (std::size_t i = 0; i < 16; ++i) {
    palette[i] = {in.u8(16 + 3 * i), in.u8(17 + 3 * i), in.u8(18 + 3 * i)};
  }
  if (bits == 1 && planes == 1) {
    palette[0] = {0, 0, 0};
    palette[1] = {255, 255, 255};
  }
  if (bits == 8 && planes == 1) {
    const std::size_t at = bytes.size() - std::min(bytes.size(), end_palette_size);
    if (version >= 5 && at >= header_size && in.u8(at) == 0x0C) {
      for (std::size_t i = 0; i < 256; ++i) {
        palette[i] = {in.u8(at + 1 + 3 * i), in.u8(at + 2 + 3 * i), in.u8(at + 3 + 3 * i)};
      }
    } else {
      // Cut off before its palette: grey levels keep the picture readable.
      for (std::size_t i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        palette[i] = {v, v, v};
      }
    }
  }

  Image image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  const auto w = static_cast<std::size_t>(width);
  const auto p = static_cast<std::size_t>(planes);
  std::vector<std::uint8_t> line(bytes_per_line * p);
  RunReader reader(in, header_size, encoded);
  std::int64_t rows = 0;
  for (; rows < height; ++rows) {
    if (!reader.read_line(line))
      break;
    if (rows == 0)
      image.rgba.resize(w * static_cast<std::size_t>(height) * 4);
    std::uint8_t* out = image.rgba.data() + static_cast<std::size_t>(rows) * w * 4;
    for (std::size_t x = 0; x < w; ++x, out += 4) {
      if (bits == 8 && planes >= 3) {
        out[0] = line[x];
        out[1] = line[bytes_per_line + x];
        out[2] = line[2 * bytes_per_line + x];
        out[3] = planes == 4 ? line[3 * bytes_per_line + x] : 255;
        continue;
      }
      std::size_t index = 0;
      if (bits == 8) {
        index = line[x];
      } else if (bits == 4) {
        index = (line[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 15;
      } else {
        // One bit per plane, the planes giving the bits of the index.
        for (std::size_t plane = 0; plane < p; ++plane) {
          index |=
              static_cast<std::size_t>((line[plane * bytes_per_line + x / 8] >> (7 - x % 8)) & 1)
              << plane;
        }
      }
      out[0] = palette[index][0];
      out[1] = palette[index][1];
      out[2] = palette[index][2];
      out[3] = 255;
    }
  }
  if (rows == 0)
    return std::nullopt;
  return image;
}

}  // namespace kestrava::platform::picture_detail
