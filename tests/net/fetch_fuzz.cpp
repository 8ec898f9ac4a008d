// The header work of fetch_url reads bytes the server chose: the raw response
// headers with their Set-Cookie lines, and the caller's own lines for the
// agent. Checks each routine against a plain reference that walks the
// characters of the whole block once, and the block sent for its promises.
//
// Input: a method byte, then caller headers NUL raw response headers NUL
// cookie line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "net/fetch.h"
#include "net/fetch_headers.h"
#include "support/fuzz_input.h"

namespace {

using kestrava::test::fuzz_check;
using kestrava::test::next_part;

using kestrava::Text;
constexpr auto npos = std::string_view::npos;

char fold(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// A text cut into its characters once: a byte 0x80-0xFF and the byte after it
// make one.
class Chars {
 public:
  explicit Chars(std::string_view s) : s_(s), start_(s.size() + 1, false) {
    for (std::size_t p = 0; p < s.size();) {
      start_[p] = true;
      p += static_cast<unsigned char>(s[p]) >= 0x80 && p + 1 < s.size() ? 2 : 1;
    }
    start_[s.size()] = true;
  }

  std::string_view text() const { return s_; }
  bool starts_at(std::size_t p) const { return start_[p]; }
  std::size_t next(std::size_t p) const {
    do {
      ++p;
    } while (!start_[p]);
    return p;
  }

  bool matches(std::size_t p, std::size_t end, std::string_view n, bool fold_case) const {
    if (end - p < n.size()) {
      return false;
    }
    for (std::size_t i = 0; i < n.size(); ++i) {
      if (fold_case ? fold(s_[p + i]) != fold(n[i]) : s_[p + i] != n[i]) {
        return false;
      }
    }
    return true;
  }

  // The first character start in [from, end) where n matches inside the
  // range, or npos.
  std::size_t find(std::string_view n, std::size_t from, std::size_t end,
                   bool fold_case = false) const {
    for (std::size_t p = from; p < end; p = next(p)) {
      if (matches(p, end, n, fold_case)) {
        return p;
      }
    }
    return npos;
  }

  bool is_space(std::size_t p, std::size_t end) const {
    return s_[p] == ' ' || (next(p) == p + 2 && p + 2 <= end && s_.substr(p, 2) == "\xA1\xA1");
  }

  // [from, end) without leading and trailing spaces; from and end are
  // character starts.
  std::string trimmed(std::size_t from, std::size_t end) const {
    std::vector<std::size_t> starts;
    for (std::size_t p = from; p < end; p = next(p)) {
      starts.push_back(p);
    }
    std::size_t first = 0;
    while (first < starts.size() && is_space(starts[first], end)) {
      ++first;
    }
    std::size_t last = starts.size();
    while (last > first && is_space(starts[last - 1], end)) {
      --last;
    }
    if (first == last) {
      return {};
    }
    const std::size_t stop = last == starts.size() ? end : starts[last];
    return std::string(s_.substr(starts[first], stop - starts[first]));
  }

 private:
  std::string_view s_;
  std::vector<bool> start_;
};

std::string ref_header_value(std::string_view s) {
  const Chars chars(s);
  const std::size_t colon = chars.find(":", 0, s.size());
  return colon == npos ? std::string() : chars.trimmed(colon + 1, s.size());
}

std::string ref_agent(std::string_view headers) {
  if (Chars(headers).find("user-agent:", 0, headers.size(), true) == npos) {
    return "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
  }
  const std::string block = std::string(headers) + "\r\n";
  const Chars chars(block);
  std::string agent;
  const std::size_t name = chars.find("User-Agent:", 0, block.size());
  if (name != npos) {
    const std::size_t from = name + 11;
    const std::size_t end = chars.find("\r\n", from, block.size());
    if (end != npos) {
      agent = chars.trimmed(from, end);
    }
  }
  return agent.empty() ? ref_header_value(headers) : agent;
}

std::string ref_normalise(std::string_view raw) {
  const Chars chars(raw);
  std::string out;
  for (std::size_t p = 0; p < raw.size();) {
    if (chars.matches(p, raw.size(), "set-cookie", true)) {
      out += "Set-Cookie";
      p += 10;
    } else {
      const std::size_t q = chars.next(p);
      out += raw.substr(p, q - p);
      p = q;
    }
  }
  return out;
}

// One line [from, end) that holds "Set-Cookie": its name=value.
std::string ref_entry(const Chars& chars, std::size_t from, std::size_t end) {
  if (chars.find(";", from, end) != npos) {
    const std::size_t name = chars.find("Set-Cookie:", from, end);
    if (name == npos) {
      return {};
    }
    const std::size_t semicolon = chars.find(";", name + 11, end);
    return semicolon == npos ? std::string() : chars.trimmed(name + 11, semicolon);
  }
  std::string rest;
  for (std::size_t p = from; p < end;) {
    if (chars.matches(p, end, "set-cookie:", true)) {
      p += 11;
    } else {
      const std::size_t q = chars.next(p);
      rest += chars.text().substr(p, q - p);
      p = q;
    }
  }
  const Chars left(rest);
  return left.trimmed(0, rest.size());
}

std::string ref_cookies(std::string_view raw) {
  const Chars chars(raw);
  std::string joined;
  bool first = true;
  for (std::size_t from = 0; from < raw.size();) {
    std::size_t end = chars.find("\r\n", from, raw.size());
    if (end == npos) {
      end = raw.size();
    }
    if (chars.find("Set-Cookie", from, end) != npos) {
      if (!first) {
        joined += "; ";
      }
      joined += ref_entry(chars, from, end);
      first = false;
    }
    from = end + 2;
  }
  return joined;
}

bool contains(const Text& text, const char* needle) {
  return kestrava::find_text(text, needle) != -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) {
    return 0;
  }
  const int method = data[0] % 9 - 1;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Text headers(next_part(input));
  const Text raw(next_part(input));
  const Text cookies(next_part(input));

  fuzz_check(kestrava::header_value(headers).view() == ref_header_value(headers.view()));
  fuzz_check(kestrava::header_value(raw).view() == ref_header_value(raw.view()));
  fuzz_check(kestrava::detail::request_agent(headers).view() == ref_agent(headers.view()));

  const Text normalised = kestrava::detail::normalise_set_cookie(raw);
  fuzz_check(normalised.view() == ref_normalise(raw.view()));
  fuzz_check(kestrava::detail::collect_returned_cookies(raw).view() == ref_cookies(raw.view()));
  fuzz_check(kestrava::detail::collect_returned_cookies(normalised).view() ==
             ref_cookies(normalised.view()));

  const Text url("http://127.0.0.1/search.php?searchword=%61");
  const Text block = kestrava::detail::build_header_block(headers, url, method, &cookies);
  fuzz_check(headers.empty() ? block.view().substr(0, 11) == "Accept: */*"
                             : block.view().substr(0, headers.view().size()) == headers.view());
  fuzz_check(contains(block, "Accept:") && contains(block, "Referer:") &&
             contains(block, "Accept-Language:"));
  fuzz_check(method != 1 || contains(block, "Content-Type:"));
  fuzz_check(cookies.empty() ||
             block.view().substr(block.view().size() - cookies.view().size()) == cookies.view());
  fuzz_check(kestrava::detail::build_header_block(headers, url, method, nullptr).view() ==
             block.view().substr(
                 0, block.view().size() -
                        (cookies.empty()
                             ? 0
                             : cookies.view().size() + (contains(cookies, "Cookie:") ? 2 : 10))));
  return 0;
}
