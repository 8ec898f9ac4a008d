// Merging the cookie line a request sent with the cookies its response set,
// into the line for the next request.
#pragma once

#include "text/text.h"

namespace kestrava {

// Cookies set by the response come first, in their order, then the sent
// cookies whose names the response did not set; entries ending in
// "=deleted" and exact repeats are dropped, spaces removed, entries joined
// by "; ". returned_cookies is rewritten without spaces and cookies with
// the merged line, which is also returned.
Text merge_cookies(Text& cookies, Text& returned_cookies);

// The text before the first "=" (the whole entry without one), trimmed.
Text cookie_name(const Text& entry);

// Whether some entry has exactly that name (letter case significant).
bool has_cookie_name(const TextArray& entries, const Text& name);

// The text split at separator with every repeated piece left out, joined by
// separator again.
Text remove_duplicate_entries(const Text& text, const Text& separator);

// The 1-based index of the first entry equal to text, or -1.
int entry_index(const TextArray& entries, const Text& text);

}  // namespace kestrava
