// PNG through libpng, read from memory. libpng reports errors by longjmp to
// the png_jmpbuf; its warnings are dropped.
#include <png.h>

#include <cstring>

#include "platform/picture/decoders.h"

namespace kestrava::platform::picture_detail {

namespace {

struct PngState {
  std::string_view bytes;
  std::size_t position = 0;
  png_structp png = nullptr;
  png_infop info = nullptr;
  Image image;
  std::size_t rows_read = 0;
};

void read_bytes(png_structp png, png_bytep out, png_size_t count) {
  auto* s = static_cast<PngState*>(png_get_io_ptr(png));
  if (count > s->bytes.size() - s->position)
    png_error(png, "truncated");
  std::memcpy(out, s->bytes.data() + s->position, count);
  s->position += count;
}

[[noreturn]] void on_error(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void on_warning(png_structp, png_const_charp) {}

bool run_decoder(PngState& s) {
  png_structp png = s.png;
  png_infop info = s.info;
  if (setjmp(png_jmpbuf(png))) {
    // A truncated or damaged file keeps the rows that came before the damage.
    return s.rows_read > 0;
  }
  png_set_read_fn(png, &s, read_bytes);
  png_set_user_limits(png, static_cast<png_uint_32>(max_side), static_cast<png_uint_32>(max_side));
  png_set_chunk_malloc_max(png, 8 << 20);
  png_set_chunk_cache_max(png, 1000);
  // Image data is read in small pieces, so a file cut inside a long IDAT
  // chunk still gives the rows before the cut.
  png_set_compression_buffer_size(png, 1024);
  // Ancillary chunks we would throw away anyway are skipped unread.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bit_depth = 0, color_type = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bit_depth, &color_type, &interlace, nullptr, nullptr);
  if (!dimensions_allowed(width, height))
    return false;
  if (bit_depth == 16)
    png_set_scale_16(png);
  if (color_type == PNG_COLOR_TYPE_PALETTE)
    png_set_palette_to_rgb(png);
  if (color_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8)
    png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS))
    png_set_tRNS_to_alpha(png);
  if (color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 4)
    return false;
  s.image.width = static_cast<int>(width);
  s.image.height = static_cast<int>(height);
  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  s.image.rgba.resize(stride * height);
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png, s.image.rgba.data() + y * stride, nullptr);
      ++s.rows_read;
    }
  }
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

std::optional<Image> decode_png(std::string_view bytes) {
  PngState s;
  s.bytes = bytes;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (s.png == nullptr)
    return std::nullopt;
  s.info = png_create_info_struct(s.png);
  if (s.info == nullptr) {
    png_destroy_read_struct(&s.png, nullptr, nullptr);
    return std::nullopt;
  }
  const bool ok = run_decoder(s);
  png_destroy_read_struct(&s.png, &s.info, nullptr);
  if (!ok)
    return std::nullopt;
  return std::move(s.image);
}

}  // namespace kestrava::platform::picture_detail
