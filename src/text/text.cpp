#include "text/text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kestrava {

namespace {

bool is_lead(unsigned char c) {
  return c >= 0x80;
}

unsigned char fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

std::string_view before_zero(std::string_view s) {
  const auto zero = s.find('\0');
  return zero == std::string_view::npos ? s : s.substr(0, zero);
}

// The bytes of a character that starts at `at`: two for a byte 0x80-0xFF with
// another byte behind it, otherwise one.
std::size_t char_size(std::string_view s, std::size_t at) {
  return is_lead(static_cast<unsigned char>(s[at])) && at + 1 < s.size() ? 2 : 1;
}

// Moves the walk from the character start `from` to the first character
// start at or after `to`. A byte below 0x80 always ends a character (it is a
// one-byte character or the second byte of a two-byte one), so the walk can
// resume just behind the last such byte before `to` instead of stepping over
// everything in between: on markup that is a few bytes back.
std::size_t walk_to(std::string_view s, std::size_t from, std::size_t to) {
  std::size_t p = to;
  while (p > from && static_cast<unsigned char>(s[p - 1]) >= 0x80)
    --p;
  while (p < to)
    p += char_size(s, p);
  return p;
}

bool equal_folded(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The first occurrence of a non-empty needle that starts at a character start
// within [from, limit), where `from` is a character start and the match must
// end by `limit`; npos when there is none.
std::size_t find_at_char_start(std::string_view s, std::string_view needle, std::size_t from,
                               std::size_t limit, bool fold_case) {
  if (limit > s.size())
    limit = s.size();
  std::size_t walk = from;
  while (walk < limit && limit - walk >= needle.size()) {
    std::size_t candidate;
    if (!fold_case) {
      const auto window = s.substr(walk, limit - walk);
      const auto hit = window.find(needle);
      if (hit == std::string_view::npos)
        return std::string_view::npos;
      candidate = walk + hit;
    } else {
      const unsigned char first = fold(static_cast<unsigned char>(needle[0]));
      candidate = std::string_view::npos;
      for (std::size_t i = walk; limit - i >= needle.size(); ++i) {
        if (fold(static_cast<unsigned char>(s[i])) == first &&
            equal_folded(s.data() + i, needle.data(), needle.size())) {
          candidate = i;
          break;
        }
      }
      if (candidate == std::string_view::npos)
        return candidate;
    }
    walk = walk_to(s, walk, candidate);
    if (walk == candidate)
      return candidate;
    // The candidate was the second byte of a two-byte character; go on from
    // the character start just behind it.
  }
  return std::string_view::npos;
}

std::string join(std::initializer_list<std::string_view> parts) {
  std::size_t total = 0;
  for (const auto part : parts)
    total += part.size();
  std::string joined;
  joined.reserve(total);
  for (const auto part : parts)
    joined.append(part);
  return joined;
}

}  // namespace

// --- the values -----------------------------------------------------------------

Text::Text(const char* s) : bytes_(s ? s : "") {}

Text::Text(std::string_view s) : bytes_(before_zero(s)) {}

Text::Text(std::string&& s) : bytes_(std::move(s)) {
  const auto zero = bytes_.find('\0');
  if (zero != std::string::npos)
    bytes_.resize(zero);
}

Text Text::part(std::size_t pos, std::size_t count) const {
  return pos < bytes_.size() ? Text(view().substr(pos, count), Checked{}) : Text();
}

Bytes::Bytes(const void* data, std::size_t size)
    : bytes_(static_cast<const char*>(data), data ? size : 0) {}

void Bytes::append(const void* data, std::size_t size) {
  if (size > 0)
    bytes_.append(static_cast<const char*>(data), size);
}

// --- measuring, joining, comparing ------------------------------------------------

int text_length(const Text& text) {
  return text.length();
}

Text text_concat_parts(std::initializer_list<std::string_view> parts) {
  return Text(join(parts));
}

int text_compare(const Text& a, const Text& b) {
  const int order = a.view().compare(b.view());  // char_traits<char> compares as unsigned
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

// --- cutting ----------------------------------------------------------------------

Text text_left(const Text& text, int count) {
  if (count <= 0)
    return Text();
  return Text(text.view().substr(0, static_cast<std::size_t>(count)));
}

Text text_right(const Text& text, int count) {
  if (count <= 0)
    return Text();
  const auto n = std::min(static_cast<std::size_t>(count), text.view().size());
  return Text(text.view().substr(text.view().size() - n));
}

Text text_mid(const Text& text, int start, int count) {
  if (start < 1 || start > text.length() || count <= 0)
    return Text();
  return Text(
      text.view().substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
}

Text char_text(int code) {
  if (code <= 0 || code > 255)
    return Text();
  return Text(std::string(1, static_cast<char>(code)));
}

// --- searching --------------------------------------------------------------------

int find_text(const Text& text, const Text& needle, int start, bool ignore_case) {
  const auto s = text.view();
  const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (from >= s.size())
    return -1;
  if (needle.empty())
    return 1;
  const auto at = find_at_char_start(s, needle.view(), from, s.size(), ignore_case);
  return at == std::string_view::npos ? -1 : static_cast<int>(at + 1);
}

int find_text_reverse(const Text& text, const Text& needle, std::optional<int> start,
                      bool ignore_case) {
  const auto s = text.view();
  std::size_t limit = s.size();
  if (start) {
    if (*start <= 1)
      return -1;
    limit = std::min(limit, static_cast<std::size_t>(*start - 1));
  }
  if (limit == 0)
    return -1;
  if (needle.empty())
    return 1;
  int last = -1;
  std::size_t from = 0;
  for (;;) {
    const auto at = find_at_char_start(s, needle.view(), from, limit, ignore_case);
    if (at == std::string_view::npos)
      return last;
    last = static_cast<int>(at + 1);
    from = at + char_size(s, at);
  }
}

// --- rewriting --------------------------------------------------------------------

Text to_lower(const Text& text) {
  std::string out(text.view());
  for (std::size_t p = 0; p < out.size();) {
    const auto size = char_size(out, p);
    if (size == 1)
      out[p] = static_cast<char>(fold(static_cast<unsigned char>(out[p])));
    p += size;
  }
  return Text(std::move(out));
}

namespace {

// The size of the space character at `at` (1 or 2), or 0 when there is none.
std::size_t space_at(std::string_view s, std::size_t at) {
  if (s[at] == ' ')
    return 1;
  if (static_cast<unsigned char>(s[at]) == 0xA1 && at + 1 < s.size() &&
      static_cast<unsigned char>(s[at + 1]) == 0xA1) {
    return 2;
  }
  return 0;
}

}  // namespace

Text trim_spaces(const Text& text) {
  const auto s = text.view();
  std::size_t first = std::string_view::npos;  // start of the first non-space character
  std::size_t end = 0;                         // end of the last non-space character
  for (std::size_t p = 0; p < s.size();) {
    const auto size = char_size(s, p);
    if (space_at(s, p) == 0) {
      if (first == std::string_view::npos)
        first = p;
      end = p + size;
    }
    p += size;
  }
  if (first == std::string_view::npos)
    return Text();
  return Text(s.substr(first, end - first));
}

Text remove_spaces(const Text& text) {
  const auto s = text.view();
  std::string out;
  out.reserve(s.size());
  for (std::size_t p = 0; p < s.size();) {
    const auto size = char_size(s, p);
    if (space_at(s, p) == 0)
      out.append(s.substr(p, size));
    p += size;
  }
  return Text(std::move(out));
}

Text replace_text(const Text& text, const Text& search, const Text& replacement, int start,
                  int count, bool case_sensitive) {
  const auto s = text.view();
  const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (s.empty() || search.empty() || from >= s.size() || count == 0)
    return text;
  const auto needle = search.view();
  std::string out;
  out.reserve(s.size());
  out.append(s.substr(0, from));
  std::size_t done = from;
  int replaced = 0;
  while (count < 0 || replaced < count) {
    const auto at = find_at_char_start(s, needle, done, s.size(), !case_sensitive);
    if (at == std::string_view::npos)
      break;
    out.append(s.substr(done, at - done));
    out.append(replacement.view());
    done = at + needle.size();
    ++replaced;
  }
  out.append(s.substr(done));
  return Text(std::move(out));
}

TextArray split_text(const Text& text, const Text& delimiter, std::optional<int> max_count) {
  TextArray pieces;
  const auto s = text.view();
  if (s.empty() || (max_count && *max_count <= 0))
    return pieces;
  if (delimiter.empty()) {
    pieces.append(text);
    return pieces;
  }
  const auto limit = max_count.value_or(std::numeric_limits<int>::max());
  const auto d = delimiter.view();
  std::size_t done = 0;
  while (pieces.count() < limit) {
    const auto at = find_at_char_start(s, d, done, s.size(), false);
    if (at == std::string_view::npos) {
      if (done < s.size())
        pieces.append(Text(s.substr(done)));
      break;
    }
    pieces.append(Text(s.substr(done, at - done)));
    done = at + d.size();
  }
  return pieces;
}

// --- numbers ----------------------------------------------------------------------

int to_integer(const Text& text) {
  // Full-width forms first: A3 A1..A3 FE are the ASCII 21..7E, A1 A1 a space.
  std::string s;
  const auto in = text.view();
  s.reserve(in.size());
  for (std::size_t p = 0; p < in.size();) {
    const auto size = char_size(in, p);
    const auto lead = static_cast<unsigned char>(in[p]);
    if (size == 2) {
      const auto trail = static_cast<unsigned char>(in[p + 1]);
      if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
        s.push_back(static_cast<char>(trail - 0x80));
      } else if (lead == 0xA1 && trail == 0xA1) {
        s.push_back(' ');
      } else {
        s.append(in.substr(p, 2));
      }
    } else {
      s.push_back(in[p]);
    }
    p += size;
  }
  std::size_t p = 0;
  while (p < s.size() && (s[p] == ' ' || (s[p] >= '\t' && s[p] <= '\r')))
    ++p;
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-'))
    negative = s[p++] == '-';
  // Saturates instead of overflowing, as the C library's strtol does.
  std::int64_t value = 0;
  constexpr std::int64_t bound = std::int64_t{std::numeric_limits<int>::max()} + 1;
  for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p) {
    value = std::min(bound, value * 10 + (s[p] - '0'));
  }
  if (negative)
    value = -value;
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

Text number_to_text(double number) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.13g", number);
  return Text(buffer);
}

Text hex_text(int number) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(number));
  return Text(buffer);
}

int truncate_to_integer(double number) {
  if (std::isnan(number))
    return 0;
  const double t = std::trunc(number);
  if (t <= std::numeric_limits<int>::min())
    return std::numeric_limits<int>::min();
  if (t >= std::numeric_limits<int>::max())
    return std::numeric_limits<int>::max();
  return static_cast<int>(t);
}

// --- Text and Bytes ---------------------------------------------------------------

Bytes text_to_bytes(const Text& text) {
  return Bytes(text.view());
}

Text bytes_to_text(const Bytes& bytes) {
  return Text(bytes.view());
}

Text bytes_to_text(Bytes&& bytes) {
  return Text(std::move(bytes).release());
}

int bytes_length(const Bytes& bytes) {
  return static_cast<int>(bytes.size());
}

Bytes bytes_left(const Bytes& bytes, int count) {
  if (count <= 0)
    return Bytes();
  return Bytes(bytes.view().substr(0, static_cast<std::size_t>(count)));
}

Bytes bytes_concat_parts(std::initializer_list<std::string_view> parts) {
  return Bytes(join(parts));
}

bool bytes_equal(const Bytes& a, const Bytes& b) {
  return a == b;
}

Text blank_text(int count) {
  if (count < 1)
    return Text();
  return Text(std::string(static_cast<std::size_t>(count), ' '));
}

Bytes blank_bytes(int count) {
  if (count <= 0)
    return Bytes();
  return Bytes(std::string(static_cast<std::size_t>(count), '\0'));
}

// --- arrays -----------------------------------------------------------------------

int array_count(const TextArray& array) {
  return array.count();
}

void array_append(TextArray& array, const Text& text) {
  array.append(text);
}

}  // namespace kestrava
