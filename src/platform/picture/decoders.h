// Shared by the decoders of the picture folder; not part of its interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/picture/picture.h"

namespace kestrava::platform::picture_detail {

// A crafted header must not be able to ask for more memory than this.
inline constexpr std::int64_t max_side = 16384;
inline constexpr std::int64_t max_pixels = std::int64_t{64} << 20;
// Animated GIFs: every frame is a full canvas, so the frames share the
// pixel budget; the frame count is bounded as well.
inline constexpr std::int64_t max_frame_pixels_total = max_pixels;
inline constexpr int max_frames = 1000;

inline bool dimensions_allowed(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= max_side && height <= max_side &&
         width * height <= max_pixels;
}

// One still image, rows top-down, R G B A.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
};

// Bounds-checked little-endian reads over the input.
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}
  std::size_t size() const { return bytes_.size(); }
  bool has(std::size_t offset, std::size_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  // Callers check has() first.
  std::uint8_t u8(std::size_t offset) const { return static_cast<std::uint8_t>(bytes_[offset]); }
  std::uint16_t u16(std::size_t offset) const {
    return static_cast<std::uint16_t>(u8(offset) | (u8(offset + 1) << 8));
  }
  std::uint32_t u32(std::size_t offset) const {
    return static_cast<std::uint32_t>(u16(offset)) |
           (static_cast<std::uint32_t>(u16(offset + 2)) << 16);
  }
  std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
  const std::uint8_t* data() const { return reinterpret_cast<const std::uint8_t*>(bytes_.data()); }
  std::string_view view() const { return bytes_; }

 private:
  std::string_view bytes_;
};

Picture still_picture(PictureKind kind, Image image);

std::optional<Image> decode_jpeg(std::string_view bytes);
std::optional<Image> decode_png(std::string_view bytes);
std::optional<Picture> decode_gif(std::string_view bytes);
std::optional<Image> decode_bmp(std::string_view bytes);
std::optional<Image> decode_icon(std::string_view bytes);
std::optional<Image> decode_pcx(std::string_view bytes);

// A device-independent bitmap (the part of a BMP file after its 14-byte
// file header, or an image inside an icon). Icons store the colour rows and
// then a 1-bit AND mask, with the header's height counting both.
enum class DibUse { file, icon };
std::optional<Image> decode_dib(std::string_view dib, std::optional<std::size_t> pixel_offset,
                                DibUse use);

}  // namespace kestrava::platform::picture_detail
