// Hostile subjects (and patterns) through RegexObject as the search worker
// uses it: a page converted from UTF-8, the result or poster pattern, every
// sub-match of every match, plus offsets and replace. The site's patterns are
// also checked against their plain form.
//
// Byte 0 chooses: bits 0-1 the pattern (0 result, 1 poster, 2 the bytes up
// to the first line feed, at most 64), bit 2 reading the rest as UTF-8, bit 3
// case_sensitive, bit 4 multiline off, bit 5 global off.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "regex/regex_object.h"
#include "regex/search_page.h"
#include "text/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kestrava::Text;
  if (size == 0)
    return 0;
  const std::uint8_t mode = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  Text pattern;
  switch (mode & 3) {
    case 0:
      pattern = Text(kestrava::testing::result_pattern);
      break;
    case 1:
      pattern = Text(kestrava::testing::poster_pattern);
      break;
    default: {
      const std::size_t line = std::min(rest.find('\n'), std::min<std::size_t>(rest.size(), 64));
      pattern = Text(rest.substr(0, line));
      rest.remove_prefix(std::min(rest.size(), line + 1));
    }
  }
  Text subject(rest);
  if (mode & 4)
    subject = kestrava::utf8_to_gbk(subject);

  kestrava::RegexObject re;
  re.create(pattern, subject, (mode & 8) != 0, (mode & 16) == 0, (mode & 32) == 0);
  const int count = std::min(re.match_count(), 64);
  const int groups = re.submatch_count();
  for (int n = 1; n <= count + 1; ++n) {
    int offset = 0;
    const Text match = re.match_text(n, &offset);
    if (n <= count && (offset < -2 || offset > subject.length()))
      __builtin_trap();
    for (int k = 0; k <= groups + 1; ++k)
      re.submatch_text(n, k, n % 2 ? &offset : nullptr);
  }
  // The site's patterns run their lazy runs in a quicker form; written so
  // that they keep the plain form, they must find the very same texts.
  if ((mode & 3) < 2) {
    std::string plain(pattern.view());
    for (std::size_t at; (at = plain.find("[\\s\\S]*?")) != std::string::npos;)
      plain.replace(at, 8, "(?:[\\s\\S])*?");
    kestrava::RegexObject reference;
    reference.create(Text(plain), subject, (mode & 8) != 0, (mode & 16) == 0, (mode & 32) == 0);
    if (reference.match_count() != re.match_count())
      __builtin_trap();
    for (int n = 1; n <= count; ++n) {
      for (int k = 0; k <= groups; ++k) {
        if (reference.submatch_text(n, k) != re.submatch_text(n, k) ||
            reference.match_text(n) != re.match_text(n))
          __builtin_trap();
      }
    }
  }
  re.replace("[$1|$&|$`]");
  re.current_pattern();
  kestrava::RegexObject copy = re.copy();
  re.release();
  copy.match_text(1);
  return 0;
}
