// Checks the text operations against plain reference versions that follow the
// character walk literally, one byte position at a time.
//
// Input: an operation byte, a start byte (signed), then text NUL needle NUL
// replacement.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "support/fuzz_input.h"
#include "text/extract.h"
#include "text/text.h"

namespace {

using kestrava::test::fuzz_check;

using kestrava::Text;

unsigned char fold(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

bool equal_at(std::string_view s, std::size_t p, std::string_view n, bool fold_case) {
  if (s.size() - p < n.size())
    return false;
  for (std::size_t i = 0; i < n.size(); ++i) {
    const auto a = static_cast<unsigned char>(s[p + i]);
    const auto b = static_cast<unsigned char>(n[i]);
    if (fold_case ? fold(a) != fold(b) : a != b)
      return false;
  }
  return true;
}

std::size_t step(std::string_view s, std::size_t p) {
  return static_cast<unsigned char>(s[p]) >= 0x80 && p + 1 < s.size() ? 2 : 1;
}

int ref_find(std::string_view s, std::string_view n, int start, bool fold_case) {
  std::size_t p = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (p >= s.size())
    return -1;
  if (n.empty())
    return 1;
  for (; p < s.size() && s.size() - p >= n.size(); p += step(s, p)) {
    if (equal_at(s, p, n, fold_case))
      return static_cast<int>(p + 1);
  }
  return -1;
}

int ref_find_reverse(std::string_view s, std::string_view n, int start) {
  std::size_t limit = s.size();
  if (start != 0) {
    if (start <= 1)
      return -1;
    limit = std::min(limit, static_cast<std::size_t>(start - 1));
  }
  if (limit == 0)
    return -1;
  if (n.empty())
    return 1;
  int last = -1;
  const auto head = s.substr(0, limit);
  for (std::size_t p = 0; p < head.size(); p += step(s, p)) {
    if (equal_at(head, p, n, false))
      last = static_cast<int>(p + 1);
  }
  return last;
}

std::string ref_replace(std::string_view s, std::string_view n, std::string_view r, int start,
                        bool fold_case) {
  std::size_t p = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (s.empty() || n.empty() || p >= s.size())
    return std::string(s);
  std::string out(s.substr(0, p));
  while (p < s.size()) {
    if (equal_at(s, p, n, fold_case)) {
      out += r;
      p += n.size();
    } else {
      const auto k = step(s, p);
      out += s.substr(p, k);
      p += k;
    }
  }
  return out;
}

std::vector<std::string> ref_split(std::string_view s, std::string_view d) {
  std::vector<std::string> pieces;
  if (s.empty())
    return pieces;
  if (d.empty())
    return {std::string(s)};
  std::size_t piece = 0;
  std::size_t p = 0;
  while (p < s.size()) {
    if (equal_at(s, p, d, false)) {
      pieces.emplace_back(s.substr(piece, p - piece));
      p += d.size();
      piece = p;
    } else {
      p += step(s, p);
    }
  }
  if (piece < s.size())
    pieces.emplace_back(s.substr(piece));
  return pieces;
}

bool is_space(std::string_view s, std::size_t p) {
  return s[p] == ' ' || (step(s, p) == 2 && s.substr(p, 2) == "\xA1\xA1");
}

std::string ref_trim(std::string_view s) {
  std::vector<std::size_t> starts;
  for (std::size_t p = 0; p < s.size(); p += step(s, p))
    starts.push_back(p);
  std::size_t first = 0;
  while (first < starts.size() && is_space(s, starts[first]))
    ++first;
  std::size_t last = starts.size();
  while (last > first && is_space(s, starts[last - 1]))
    --last;
  if (first == last)
    return {};
  const auto end = last == starts.size() ? s.size() : starts[last];
  return std::string(s.substr(starts[first], end - starts[first]));
}

std::string ref_between(std::string_view s, std::string_view l, std::string_view r, int start) {
  int p = ref_find(s, l, start, false);
  if (p != -1)
    p += static_cast<int>(l.size());
  const int q = ref_find(s, r, p, false);
  if (p == -1 || q == -1 || q - p <= 0 || p > static_cast<int>(s.size()))
    return {};
  return std::string(s.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(q - p)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 4096)
    return 0;
  const int op = data[0] % 7;
  const int start = static_cast<signed char>(data[1]);
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  std::string_view input = rest;
  const std::string_view parts[] = {kestrava::test::next_part(input),
                                    kestrava::test::next_part(input),
                                    kestrava::test::next_part(input)};
  const auto text_bytes = parts[0];
  const auto needle = parts[1];
  const Text replacement_text(parts[2]);
  const auto replacement = replacement_text.view();
  const Text text(text_bytes);
  const Text n(needle);
  const auto s = text.view();
  const auto nv = n.view();

  switch (op) {
    case 0:
      fuzz_check(kestrava::find_text(text, n, start, false) == ref_find(s, nv, start, false));
      fuzz_check(kestrava::find_text(text, n, start, true) == ref_find(s, nv, start, true));
      break;
    case 1: {
      const auto got = start == 0 ? kestrava::find_text_reverse(text, n)
                                  : kestrava::find_text_reverse(text, n, start);
      fuzz_check(got == ref_find_reverse(s, nv, start));
      break;
    }
    case 2:
      fuzz_check(kestrava::replace_text(text, n, Text(replacement), start, -1, true).view() ==
                 ref_replace(s, nv, replacement, start, false));
      fuzz_check(kestrava::replace_text(text, n, Text(replacement), start, -1, false).view() ==
                 ref_replace(s, nv, replacement, start, true));
      break;
    case 3: {
      const auto pieces = kestrava::split_text(text, n);
      const auto expected = ref_split(s, nv);
      fuzz_check(pieces.count() == static_cast<int>(expected.size()));
      for (int i = 1; i <= pieces.count(); ++i) {
        fuzz_check(pieces.at(i).view() == expected[static_cast<std::size_t>(i - 1)]);
      }
      break;
    }
    case 4:
      fuzz_check(kestrava::trim_spaces(text).view() == ref_trim(s));
      break;
    case 5:
      // No "#" in the markers: the quote marker has its own tests.
      if (nv.find('#') == std::string_view::npos &&
          replacement.find('#') == std::string_view::npos) {
        fuzz_check(kestrava::take_between(text, n, Text(replacement), start).view() ==
                   ref_between(s, nv, replacement, start));
      }
      break;
    case 6: {
      // Only plain ASCII digits and signs: compare with strtol.
      bool plain = true;
      for (const char c : s)
        plain = plain && static_cast<unsigned char>(c) < 0x80;
      if (plain && s.size() < 10) {
        const std::string copy(s);
        const long expected = std::strtol(copy.c_str(), nullptr, 10);
        fuzz_check(kestrava::to_integer(text) == static_cast<int>(expected));
      }
      break;
    }
  }
  return 0;
}
