// JPEG through libjpeg. Its default error handler ends the process, so every
// error comes back here through longjmp instead; warnings (a truncated file
// among them) are silenced and libjpeg fills the missing rows itself.
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>

#include "platform/picture/decoders.h"

namespace kestrava::platform::picture_detail {

namespace {

// Progressive files can repeat scans without end; real ones have a few dozen.
constexpr int max_scans = 100;
constexpr long max_decoder_memory = 768L << 20;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void on_error(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void on_message(j_common_ptr, int) {}
void on_output_message(j_common_ptr) {}

void on_progress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > max_scans) {
    on_error(cinfo);
  }
}

// Everything the decoding touches after setjmp lives here, outside the frame
// that longjmp returns to.
struct JpegState {
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  jpeg_progress_mgr progress{};
  Image image;
  bool cmyk = false;
  std::vector<std::uint8_t> cmyk_row;
};

void cmyk_to_rgba(const std::uint8_t* in, std::uint8_t* out, int width, bool inverted) {
  for (int x = 0; x < width; ++x, in += 4, out += 4) {
    int c = in[0], m = in[1], y = in[2], k = in[3];
    if (!inverted) {
      c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    }
    out[0] = static_cast<std::uint8_t>(c * k / 255);
    out[1] = static_cast<std::uint8_t>(m * k / 255);
    out[2] = static_cast<std::uint8_t>(y * k / 255);
    out[3] = 255;
  }
}

// Returns false when libjpeg gave up before the first row.
bool run_decoder(JpegState& s, std::string_view bytes) {
  jpeg_decompress_struct& cinfo = s.cinfo;
  if (setjmp(s.errors.jump)) {
    return cinfo.output_scanline > 0 && !s.image.rgba.empty();
  }
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
    return false;
  if (!dimensions_allowed(cinfo.image_width, cinfo.image_height))
    return false;
  s.cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = s.cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  jpeg_start_decompress(&cinfo);
  const auto width = static_cast<std::size_t>(cinfo.output_width);
  const auto height = static_cast<std::size_t>(cinfo.output_height);
  if (!dimensions_allowed(cinfo.output_width, cinfo.output_height))
    return false;
  s.image.width = static_cast<int>(width);
  s.image.height = static_cast<int>(height);
  s.image.rgba.resize(width * height * 4);
  if (s.cmyk)
    s.cmyk_row.resize(width * 4);
  while (cinfo.output_scanline < cinfo.output_height) {
    std::uint8_t* row = s.image.rgba.data() + cinfo.output_scanline * width * 4;
    JSAMPROW rows[1] = {s.cmyk ? s.cmyk_row.data() : row};
    if (jpeg_read_scanlines(&cinfo, rows, 1) != 1)
      break;
    if (s.cmyk)
      cmyk_to_rgba(s.cmyk_row.data(), row, static_cast<int>(width), cinfo.saw_Adobe_marker);
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

}  // namespace

std::optional<Image> decode_jpeg(std::string_view bytes) {
  JpegState s;
  s.cinfo.err = jpeg_std_error(&s.errors.pub);
  s.errors.pub.error_exit = on_error;
  s.errors.pub.emit_message = on_message;
  s.errors.pub.output_message = on_output_message;
  if (setjmp(s.errors.jump)) {
    // jpeg_create_decompress itself failed (out of memory).
    return std::nullopt;
  }
  jpeg_create_decompress(&s.cinfo);
  s.cinfo.mem->max_memory_to_use = max_decoder_memory;
  s.progress.progress_monitor = on_progress;
  s.cinfo.progress = &s.progress;
  const bool ok = run_decoder(s, bytes);
  jpeg_destroy_decompress(&s.cinfo);
  if (!ok)
    return std::nullopt;
  return std::move(s.image);
}

}  // namespace kestrava::platform::picture_detail
