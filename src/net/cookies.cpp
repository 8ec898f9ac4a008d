#include "net/cookies.h"

#include <string>
#include <unordered_set>

namespace kestrava {

// The lists come from response headers, so the membership tests below use
// hash sets: a header block full of cookies must not cost quadratic time.

Text merge_cookies(Text& cookies, Text& returned_cookies) {
  cookies = remove_spaces(cookies);
  returned_cookies = remove_spaces(returned_cookies);
  const TextArray sent = split_text(cookies, ";");
  TextArray result = split_text(returned_cookies, ";");

  std::unordered_set<std::string> names;
  for (const Text& entry : result) {
    names.insert(cookie_name(entry).str());
  }
  for (const Text& entry : sent) {
    if (names.insert(cookie_name(entry).str()).second) {
      array_append(result, entry);
    }
  }

  std::string line;
  for (const Text& entry : result) {
    if (text_compare(text_right(entry, 8), "=deleted") != 0) {
      line += entry.view();
      line += "; ";
    }
  }
  cookies = Text(std::move(line));
  cookies = text_left(cookies, text_length(cookies) - 2);
  cookies = remove_duplicate_entries(cookies, "; ");
  return cookies;
}

Text cookie_name(const Text& entry) {
  const int equals = find_text(entry, "=");
  return trim_spaces(equals == -1 ? entry : text_left(entry, equals - 1));
}

bool has_cookie_name(const TextArray& entries, const Text& name) {
  for (const Text& entry : entries) {
    if (text_compare(cookie_name(entry), name) == 0) {
      return true;
    }
  }
  return false;
}

Text remove_duplicate_entries(const Text& text, const Text& separator) {
  std::unordered_set<std::string_view> seen;
  const TextArray pieces = split_text(text, separator);
  std::string result;
  for (const Text& piece : pieces) {
    if (seen.insert(piece.view()).second) {
      result += piece.view();
      result += separator.view();
    }
  }
  const Text joined(std::move(result));
  return text_left(joined, text_length(joined) - text_length(separator));
}

int entry_index(const TextArray& entries, const Text& text) {
  for (int i = 1; i <= array_count(entries); ++i) {
    if (text_compare(entries.at(i), text) == 0) {
      return i;
    }
  }
  return -1;
}

}  // namespace kestrava
