// Decoding of the pictures the picture box shows: bytes in, frames of RGBA
// pixels out. The kind is recognised by the first bytes alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrava::platform {

enum class PictureKind { jpeg, png, gif, bmp, ico, cur, pcx };

struct PictureFrame {
  std::vector<std::uint8_t> rgba;  // width * height * 4 bytes, rows top-down, R G B A
  int delay_ms = 0;                // how long this frame shows; 0 for a still picture
};

struct Picture {
  PictureKind kind = PictureKind::jpeg;
  int width = 0;
  int height = 0;
  std::vector<PictureFrame> frames;  // at least one
};

// No picture for fewer than 6 bytes, an unknown kind, or data that does not
// decode far enough to give a frame.
std::optional<Picture> decode_picture(std::string_view bytes);

}  // namespace kestrava::platform
