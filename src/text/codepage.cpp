#include "text/codepage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/codepage/codepage.h"

namespace kestrava {
namespace {

static_assert(std::endian::native == std::endian::little,
              "UTF-16 crosses as little-endian units copied from memory");

// Each buffer is sized for the code page that converts into it. A multibyte
// character never makes more than one UTF-16 unit, and a UTF-16 unit never
// more than three bytes, so the bound below always holds the whole result;
// a size query in another code page could fall short and lose the text.
std::u16string multibyte_to_units(std::string_view bytes, int code_page) {
  if (bytes.empty())
    return {};
  std::u16string units(bytes.size(), u'\0');
  const int n = platform::multibyte_to_wide(code_page, bytes.data(), static_cast<int>(bytes.size()),
                                            units.data(), static_cast<int>(units.size()));
  units.resize(static_cast<std::size_t>(n));
  return units;
}

// The units of a UTF-16 Bytes value up to its first zero unit; an odd last
// byte is no unit.
std::u16string units_of(const Bytes& utf16) {
  std::u16string units(utf16.size() / 2, u'\0');
  std::memcpy(units.data(), utf16.data(), units.size() * 2);
  const auto zero = units.find(u'\0');
  if (zero != std::u16string::npos)
    units.resize(zero);
  return units;
}

}  // namespace

Text units_to_text(std::u16string_view units, int code_page) {
  if (units.empty())
    return Text();
  const std::size_t per_unit = code_page == code_page_utf8 ? 3 : 2;
  std::string bytes(units.size() * per_unit, '\0');
  const int n = platform::wide_to_multibyte(code_page, units.data(), static_cast<int>(units.size()),
                                            bytes.data(), static_cast<int>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(n));
  // The Text ends at a zero unit of the source, as a terminated conversion would.
  return Text(std::move(bytes));
}

std::u16string text_to_units(const Text& text, int code_page) {
  return multibyte_to_units(text.view(), code_page);
}

TextUnits::TextUnits(Text source) : source_(std::move(source)) {
  const std::string_view bytes = source_.view();
  if (bytes.empty()) {
    marks_.exact = true;
    return;
  }
  units_.resize(bytes.size());
  const int n =
      platform::gbk_to_wide_marked(bytes.data(), static_cast<int>(bytes.size()), units_.data(),
                                   static_cast<int>(units_.size()), marks_);
  units_.resize(static_cast<std::size_t>(n));
}

TextUnits TextUnits::from_utf8(Text utf8) {
  std::string bytes = std::move(utf8).release();
  TextUnits read;
  if (bytes.empty()) {
    read.marks_.exact = true;
    return read;
  }
  read.units_.resize(bytes.size());  // no character makes more units than bytes
  int units = 0;
  const int n = platform::utf8_to_gbk_in_place(bytes.data(), static_cast<int>(bytes.size()),
                                               read.units_.data(), units, read.marks_);
  if (n == 0)
    return TextUnits(utf8_to_gbk(Text(std::move(bytes))));
  bytes.resize(static_cast<std::size_t>(n));
  read.units_.resize(static_cast<std::size_t>(units));
  read.source_ = Text(std::move(bytes));
  return read;
}

Text TextUnits::text_of(std::size_t from, std::size_t to) const {
  to = std::min(to, units_.size());
  if (from >= to)
    return Text();
  if (!marks_.exact)
    return units_to_text(std::u16string_view(units_).substr(from, to - from), code_page_ansi);
  const std::size_t begin = platform::gbk_offset_of_unit(marks_, source_.view(), units_, from);
  const std::size_t end = platform::gbk_offset_of_unit(marks_, source_.view(), units_, to);
  return source_.part(begin, end - begin);
}

Bytes text_to_utf16(const Text& text, int code_page) {
  std::u16string units = multibyte_to_units(text.view(), code_page);
  units.push_back(u'\0');
  return Bytes(units.data(), units.size() * 2);
}

Text utf16_to_text(const Bytes& utf16, int code_page) {
  return units_to_text(units_of(utf16), code_page);
}

namespace {

// Pages go through UTF-16 a piece at a time, so that the units stay in the
// cache between the two passes. A piece ends just after a byte below 0x40,
// which is a whole character in UTF-8 and in GBK (no trail byte is that low)
// and ends whatever invalid sequence came before it.
Text through_utf16(const Text& text, int from, int to) {
  constexpr std::size_t piece = 16 * 1024;
  const std::string_view bytes = text.view();
  std::string out;
  out.reserve(to == code_page_utf8 ? bytes.size() + bytes.size() / 2 : bytes.size());
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::size_t end = at + piece;
    if (end >= bytes.size()) {
      end = bytes.size();
    } else {
      std::size_t cut = end;
      while (cut > at && static_cast<unsigned char>(bytes[cut - 1]) >= 0x40)
        --cut;
      if (cut == at) {
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end - 1]) >= 0x40)
          ++end;
      } else {
        end = cut;
      }
    }
    const std::u16string units = multibyte_to_units(bytes.substr(at, end - at), from);
    out += units_to_text(units, to).view();
    at = end;
  }
  return Text(std::move(out));
}

}  // namespace

// A page goes straight from UTF-8 into GBK: no character needs more bytes in
// GBK than in UTF-8, so a buffer the size of the page holds the result.
Text utf8_to_gbk(const Text& text) {
  const std::string_view bytes = text.view();
  if (bytes.empty())
    return Text();
  std::string out(bytes.size(), '\0');
  const int n = platform::utf8_to_gbk(bytes.data(), static_cast<int>(bytes.size()), out.data(),
                                      static_cast<int>(out.size()));
  out.resize(static_cast<std::size_t>(n));
  return Text(std::move(out));
}

Text gbk_to_utf8(const Text& text) {
  return through_utf16(text, code_page_gbk, code_page_utf8);
}

}  // namespace kestrava
