// Draws the picture box's placeholder: a film-frame outline with sprocket
// holes on a soft gradient, no text, 230 x 306, written as a JPEG.
//   make_placeholder <out.jpg>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int width = 230;
constexpr int height = 306;

struct Rgb {
  double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Coverage of a rounded rectangle at a pixel centre, softened over one pixel.
double rounded_rect(double x, double y, double left, double top, double right, double bottom,
                    double radius) {
  const double cx = std::clamp(x, left + radius, right - radius);
  const double cy = std::clamp(y, top + radius, bottom - radius);
  const bool inside_box = x >= left && x <= right && y >= top && y <= bottom;
  const double d = std::hypot(x - cx, y - cy) - radius;
  if (!inside_box)
    return 0.0;
  return std::clamp(0.5 - d, 0.0, 1.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_placeholder <out.jpg>\n");
    return 2;
  }
  const Rgb top{0.93, 0.92, 0.90};
  const Rgb bottom{0.78, 0.80, 0.83};
  const Rgb film{0.36, 0.38, 0.42};
  const Rgb frame_inner_top{0.86, 0.87, 0.88};
  const Rgb frame_inner_bottom{0.70, 0.73, 0.77};

  std::vector<unsigned char> pixels(width * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double px = x + 0.5, py = y + 0.5;
      const double t = py / height;
      const double glow = 0.04 * std::exp(-std::pow((px - width * 0.5) / 90.0, 2) -
                                          std::pow((py - height * 0.4) / 120.0, 2));
      Rgb c = mix(top, bottom, t);
      c = {c.r + glow, c.g + glow, c.b + glow};
      // The film strip and, cut out of it, the picture window and the holes.
      const double strip = rounded_rect(px, py, 34, 40, 196, 266, 8);
      double hole = 0.0;
      for (double hy = 52; hy < 258; hy += 20) {
        hole = std::max(hole, rounded_rect(px, py, 40, hy, 50, hy + 10, 2));
        hole = std::max(hole, rounded_rect(px, py, 180, hy, 190, hy + 10, 2));
      }
      const double window = rounded_rect(px, py, 58, 54, 172, 252, 4);
      const double film_cover = strip * (1.0 - std::max(hole, window));
      c = mix(c, film, film_cover * 0.85);
      c = mix(c, mix(frame_inner_top, frame_inner_bottom, (py - 54) / 198.0), window * 0.9);
      unsigned char* out = &pixels[static_cast<std::size_t>((y * width + x) * 3)];
      out[0] = static_cast<unsigned char>(std::clamp(c.r, 0.0, 1.0) * 255 + 0.5);
      out[1] = static_cast<unsigned char>(std::clamp(c.g, 0.0, 1.0) * 255 + 0.5);
      out[2] = static_cast<unsigned char>(std::clamp(c.b, 0.0, 1.0) * 255 + 0.5);
    }
  }

  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  cinfo.optimize_coding = TRUE;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = &pixels[cinfo.next_scanline * width * 3];
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(file);
  return 0;
}
