#include "text/url_encode.h"

#include <string>

#include "text/codepage.h"

namespace kestrava {
namespace {

bool is_plain(unsigned char b) {
  return b == '-' || b == '.' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') ||
         (b >= 'a' && b <= 'z');
}

}  // namespace

Text url_encode(const Text& text, bool keep_plain, bool as_utf8) {
  if (text.empty())
    return Text();
  const Text source = as_utf8 ? gbk_to_utf8(text) : text;
  static constexpr char hex_digits[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(source.view().size() * 3);
  for (const char c : source.view()) {
    const auto b = static_cast<unsigned char>(c);
    if (keep_plain && is_plain(b)) {
      encoded.push_back(c);
    } else {
      encoded.push_back('%');
      encoded.push_back(hex_digits[b >> 4]);
      encoded.push_back(hex_digits[b & 0x0F]);
    }
  }
  return Text(std::move(encoded));
}

}  // namespace kestrava
