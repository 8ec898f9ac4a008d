// Percent-encoding for query strings.
#pragma once

#include "text/text.h"

namespace kestrava {

// Every byte becomes "%" and two upper-case hex digits, except, with
// keep_plain, the bytes - . 0-9 A-Z a-z. With as_utf8 the Text is converted
// to UTF-8 first.
Text url_encode(const Text& text, bool keep_plain = false, bool as_utf8 = false);

}  // namespace kestrava
