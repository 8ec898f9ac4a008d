#include "platform/picture/decoders.h"

namespace kestrava::platform::picture_detail {
std::optional<Picture> decode_gif(std::string_view) {
  return std::nullopt;
}
}  // namespace kestrava::platform::picture_detail
