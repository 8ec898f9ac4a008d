// Icons and cursors: a directory of images, each a PNG or a bitmap with an
// AND mask. The largest image is shown; an entry that points outside the
// file, or that does not decode, gives way to the next largest.
#include <algorithm>

#include "platform/picture/decoders.h"

namespace kestrava::platform::picture_detail {

namespace {

constexpr std::size_t directory_header = 6;
constexpr std::size_t entry_size = 16;
constexpr std::size_t max_tries = 4;

struct Entry {
  std::int64_t area = 0;
  int bits = 0;
  std::size_t offset = 0;
  std::size_t size = 0;
};

}  // namespace

std::optional<Image> decode_icon(std::string_view bytes) {
  using namespace std::string_view_literals;
  const ByteReader in(bytes);
  if (!in.has(0, directory_header))
    return std::nullopt;
  const bool cursor = in.u16(2) == 2;
  const std::size_t count = in.u16(4);
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = directory_header + i * entry_size;
    if (!in.has(at, entry_size))
      break;
    Entry e;
    const std::int64_t width = in.u8(at) == 0 ? 256 : in.u8(at);
    const std::int64_t height = in.u8(at + 1) == 0 ? 256 : in.u8(at + 1);
    e.area = width * height;
    e.bits = cursor ? 0 : in.u16(at + 6);  // cursors keep the hot spot there
    e.size = in.u32(at + 8);
    e.offset = in.u32(at + 12);
    if (e.offset >= bytes.size())
      continue;
    // A size that runs past the end keeps what is there: a truncated image.
    e.size = std::min(e.size, bytes.size() - e.offset);
    entries.push_back(e);
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.area != b.area ? a.area > b.area : a.bits > b.bits;
  });
  // A few fallbacks at most: every try may allocate a full picture.
  if (entries.size() > max_tries)
    entries.resize(max_tries);
  for (const Entry& e : entries) {
    const std::string_view data = bytes.substr(e.offset, e.size);
    auto image = data.substr(0, 4) == "\x89PNG"sv ? decode_png(data)
                                                  : decode_dib(data, std::nullopt, DibUse::icon);
    if (image)
      return image;
  }
  return std::nullopt;
}

}  // namespace kestrava::platform::picture_detail
