#include "platform/picture/decoders.h"

namespace kestrava::platform::picture_detail {
std::optional<Image> decode_icon(std::string_view) {
  return std::nullopt;
}
}  // namespace kestrava::platform::picture_detail
