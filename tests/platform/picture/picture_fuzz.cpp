// Any bytes at all: the decoder gives a picture whose frames hold exactly
// width x height pixels, or none.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/picture/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto picture = kestrava::platform::decode_picture(bytes);
  if (!picture)
    return 0;
  const auto pixels =
      static_cast<std::size_t>(picture->width) * static_cast<std::size_t>(picture->height);
  if (picture->width <= 0 || picture->height <= 0 || picture->frames.empty())
    std::abort();
  for (const auto& frame : picture->frames) {
    if (frame.rgba.size() != pixels * 4 || frame.delay_ms < 0)
      std::abort();
  }
  return 0;
}
