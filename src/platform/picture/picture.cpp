#include "platform/picture/picture.h"

#include <utility>

#include "platform/picture/decoders.h"

namespace kestrava::platform {

namespace picture_detail {

Picture still_picture(PictureKind kind, Image image) {
  Picture picture;
  picture.kind = kind;
  picture.width = image.width;
  picture.height = image.height;
  picture.frames.push_back(PictureFrame{std::move(image.rgba), 0});
  return picture;
}

}  // namespace picture_detail

namespace {

using namespace picture_detail;

std::optional<Picture> still(PictureKind kind, std::optional<Image> image) {
  if (!image)
    return std::nullopt;
  return still_picture(kind, std::move(*image));
}

bool starts_with(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::optional<Picture> decode_picture(std::string_view bytes) {
  using namespace std::string_view_literals;
  if (bytes.size() < 6)
    return std::nullopt;
  if (starts_with(bytes, "\xFF\xD8"sv))
    return still(PictureKind::jpeg, decode_jpeg(bytes));
  if (starts_with(bytes, "BM"sv))
    return still(PictureKind::bmp, decode_bmp(bytes));
  if (starts_with(bytes, "\0\0\1\0"sv))
    return still(PictureKind::ico, decode_icon(bytes));
  if (starts_with(bytes, "\0\0\2\0"sv))
    return still(PictureKind::cur, decode_icon(bytes));
  if (starts_with(bytes, "GIF87a"sv) || starts_with(bytes, "GIF89a"sv))
    return decode_gif(bytes);
  if (starts_with(bytes, "\x0A"sv))
    return still(PictureKind::pcx, decode_pcx(bytes));
  if (starts_with(bytes, "\x89PNG"sv))
    return still(PictureKind::png, decode_png(bytes));
  return std::nullopt;
}

}  // namespace kestrava::platform
