// Addresses and cookie lines come from pages and response headers. Checks
// that the URL routines and the cookie merge hold their promises on any
// bytes.
//
// Input: a dot count byte, then address NUL sent cookies NUL set cookies.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "net/cookies.h"
#include "net/url.h"
#include "support/fuzz_input.h"

namespace {

using kestrava::test::fuzz_check;
using kestrava::test::next_part;

using kestrava::Text;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) {
    return 0;
  }
  const int dot_count = static_cast<std::int8_t>(data[0]);
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Text url(next_part(input));
  const Text sent(next_part(input));
  const Text set(next_part(input));

  for (bool strip : {false, true}) {
    fuzz_check(kestrava::find_text(kestrava::url_host(url, strip), ":") == -1);
    fuzz_check(kestrava::find_text(kestrava::url_host(url, strip, false, dot_count), ":") == -1);
    kestrava::url_host(url, strip, true, dot_count);
  }
  kestrava::url_port(url);
  fuzz_check(kestrava::text_left(kestrava::url_path(url), 1) == Text("/"));

  Text cookies = sent;
  Text returned = set;
  const Text merged = kestrava::merge_cookies(cookies, returned);
  fuzz_check(merged == cookies);
  fuzz_check(returned == kestrava::remove_spaces(set));
  std::set<std::string> seen;
  for (const Text& entry : kestrava::split_text(merged, "; ")) {
    fuzz_check(kestrava::text_compare(kestrava::text_right(entry, 8), "=deleted") != 0);
    fuzz_check(seen.insert(entry.str()).second);
  }
  return 0;
}
