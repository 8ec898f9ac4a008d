// GIF through giflib, read record by record so that frames can be bounded and
// a damaged file keeps the frames before the damage. Frames are composed on
// a canvas of the logical screen with their disposal methods; parts of a
// frame outside the screen are cut off.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/picture/decoders.h"

namespace kestrava::platform::picture_detail {

namespace {

// Browsers' reading of the tiny delays that many GIFs carry.
constexpr int min_delay_ms = 20;
constexpr int short_delay_ms = 100;

struct MemoryInput {
  std::string_view bytes;
  std::size_t position = 0;
};

int read_bytes(GifFileType* gif, GifByteType* out, int count) {
  auto* input = static_cast<MemoryInput*>(gif->UserData);
  const std::size_t n =
      std::min(static_cast<std::size_t>(std::max(count, 0)), input->bytes.size() - input->position);
  std::memcpy(out, input->bytes.data() + input->position, n);
  input->position += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

struct Control {
  int disposal = DISPOSAL_UNSPECIFIED;
  int delay_cs = 0;
  int transparent = NO_TRANSPARENT_COLOR;
};

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;  // clipped to the screen
};

// Byte offset of a pixel on the canvas; every argument is non-negative.
std::size_t pixel_at(int width, int x, int y) {
  return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
          static_cast<std::size_t>(x)) *
         4;
}

class Composer {
 public:
  Composer(int width, int height)
      : width_(width), height_(height), canvas_(pixel_at(width, 0, height)) {}

  // Reads one frame's image data and draws it; false when the data broke off.
  bool draw_frame(GifFileType* gif, const Control& control, bool& drew_any) {
    const GifImageDesc& d = gif->Image;
    const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : gif->SColorMap;
    const Rect r{std::clamp(d.Left, 0, width_), std::clamp(d.Top, 0, height_),
                 static_cast<int>(std::clamp<long>(long{d.Left} + d.Width, 0, width_)),
                 static_cast<int>(std::clamp<long>(long{d.Top} + d.Height, 0, height_))};
    if (control.disposal == DISPOSE_PREVIOUS)
      saved_ = canvas_;
    std::vector<GifPixelType> line(static_cast<std::size_t>(d.Width));
    const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
    const int passes = d.Interlace ? 4 : 1;
    bool complete = true;
    for (int pass = 0; pass < passes && complete; ++pass) {
      const int start = d.Interlace ? starts[pass] : 0, step = d.Interlace ? steps[pass] : 1;
      for (int row = start; row < d.Height; row += step) {
        if (DGifGetLine(gif, line.data(), d.Width) == GIF_ERROR) {
          complete = false;
          break;
        }
        drew_any = true;
        const int y = d.Top + row;
        if (y < r.top || y >= r.bottom)
          continue;
        std::uint8_t* out = canvas_.data() + pixel_at(width_, r.left, y);
        for (int x = r.left; x < r.right; ++x, out += 4) {
          const int index = line[static_cast<std::size_t>(x - d.Left)];
          if (index == control.transparent)
            continue;
          if (map != nullptr && index < map->ColorCount) {
            const GifColorType& c = map->Colors[index];
            out[0] = c.Red, out[1] = c.Green, out[2] = c.Blue;
          } else {
            out[0] = out[1] = out[2] = 0;  // an index past the palette shows black
          }
          out[3] = 255;
        }
      }
    }
    last_rect_ = r;
    last_disposal_ = control.disposal;
    return complete;
  }

  const std::vector<std::uint8_t>& canvas() const { return canvas_; }
  // The canvas itself, for the last frame: no copy of a screen-sized buffer.
  std::vector<std::uint8_t> take_canvas() { return std::move(canvas_); }

  // Undoes the last frame as its disposal method asks, before the next one.
  void dispose() {
    if (last_disposal_ == DISPOSE_BACKGROUND) {
      for (int y = last_rect_.top; y < last_rect_.bottom; ++y) {
        std::uint8_t* row = canvas_.data() + pixel_at(width_, last_rect_.left, y);
        std::fill_n(row, static_cast<std::size_t>(last_rect_.right - last_rect_.left) * 4, 0);
      }
    } else if (last_disposal_ == DISPOSE_PREVIOUS && !saved_.empty()) {
      canvas_ = saved_;
    }
    last_disposal_ = DISPOSAL_UNSPECIFIED;
  }

 private:
  int width_, height_;
  std::vector<std::uint8_t> canvas_;
  std::vector<std::uint8_t> saved_;
  Rect last_rect_;
  int last_disposal_ = DISPOSAL_UNSPECIFIED;
};

int delay_ms(int delay_cs) {
  const int ms = delay_cs * 10;
  return ms < min_delay_ms ? short_delay_ms : ms;
}

}  // namespace

std::optional<Picture> decode_gif(std::string_view bytes) {
  MemoryInput input{bytes};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, read_bytes, &error));
  if (!gif)
    return std::nullopt;
  const int width = gif->SWidth, height = gif->SHeight;
  if (!dimensions_allowed(width, height))
    return std::nullopt;

  Picture picture;
  picture.kind = PictureKind::gif;
  picture.width = width;
  picture.height = height;
  std::optional<Composer> composer;
  Control control;
  std::int64_t pixels_decoded = 0;
  // The delay of a frame drawn on the canvas but not yet stored; -1 for none.
  int pending_delay = -1;
  const std::int64_t canvas_pixels = std::int64_t{width} * height;
  bool more = true;
  while (more) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
      break;
    switch (type) {
      case IMAGE_DESC_RECORD_TYPE: {
        const auto frames_so_far = picture.frames.size() + (pending_delay >= 0 ? 1U : 0U);
        if (static_cast<int>(frames_so_far) >= max_frames ||
            std::int64_t(frames_so_far + 1) * canvas_pixels > max_frame_pixels_total) {
          more = false;
          break;
        }
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
          more = false;
          break;
        }
        const GifImageDesc& d = gif->Image;
        const std::int64_t frame_pixels = std::int64_t{d.Width} * d.Height;
        pixels_decoded += frame_pixels;
        if (d.Width <= 0 || d.Height <= 0 || frame_pixels > max_pixels ||
            pixels_decoded > 4 * max_pixels) {
          more = false;
          break;
        }
        if (!composer)
          composer.emplace(width, height);
        // The frame drawn before is stored now, before disposal changes the
        // canvas; the last one takes the canvas over when the file ends.
        if (pending_delay >= 0) {
          picture.frames.push_back(PictureFrame{composer->canvas(), pending_delay});
          pending_delay = -1;
        }
        composer->dispose();
        bool drew_any = false;
        const bool complete = composer->draw_frame(gif.get(), control, drew_any);
        if (drew_any)
          pending_delay = delay_ms(control.delay_cs);
        control = Control{};
        more = complete;
        break;
      }
      case EXTENSION_RECORD_TYPE: {
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) {
          more = false;
          break;
        }
        GraphicsControlBlock gcb{};
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] == 4 &&
            DGifExtensionToGCB(4, block + 1, &gcb) == GIF_OK) {
          control = Control{gcb.DisposalMode, gcb.DelayTime, gcb.TransparentColor};
        }
        while (block != nullptr) {
          if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
            more = false;
            break;
          }
        }
        break;
      }
      case TERMINATE_RECORD_TYPE:
      default:
        more = false;
        break;
    }
  }
  if (pending_delay >= 0)
    picture.frames.push_back(PictureFrame{composer->take_canvas(), pending_delay});
  if (picture.frames.empty())
    return std::nullopt;
  if (picture.frames.size() == 1)
    picture.frames[0].delay_ms = 0;
  return picture;
}

}  // namespace kestrava::platform::picture_detail
