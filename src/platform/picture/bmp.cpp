#include "platform/picture/decoders.h"

namespace kestrava::platform::picture_detail {
std::optional<Image> decode_bmp(std::string_view) {
  return std::nullopt;
}
std::optional<Image> decode_dib(std::string_view, std::optional<std::size_t>, DibUse) {
  return std::nullopt;
}
}  // namespace kestrava::platform::picture_detail
