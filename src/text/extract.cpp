#include "text/extract.h"

#include "text/literal.h"

namespace kestrava {

namespace {

// Markers may spell a double quote as "#引号", so that they can be written
// where a quote would end a string.
Text expand_quote_marker(const Text& marker) {
  using namespace literals;
  return replace_text(marker, "#引号"_gbk, "\"", 1, -1, true);
}

}  // namespace

Text take_between(const Text& text, const Text& left, const Text& right, int start,
                  bool ignore_case) {
  const Text left_marker = expand_quote_marker(left);
  const Text right_marker = expand_quote_marker(right);
  int p = find_text(text, left_marker, start, ignore_case);
  if (p != -1)
    p += text_length(left_marker);
  const int q = find_text(text, right_marker, p, ignore_case);
  if (p == -1 || q == -1)
    return Text();
  return text_mid(text, p, q - p);
}

}  // namespace kestrava
