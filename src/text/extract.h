// Taking the text between two markers out of a page, a header or an address.
#pragma once

#include "text/text.h"

namespace kestrava {

// The bytes strictly between the first left marker (searched from start, with
// find_text's start rules) and the next right marker after it; "" when either
// is missing. In both markers "#引号" stands for a double quote.
Text take_between(const Text& text, const Text& left, const Text& right, int start = 0,
                  bool ignore_case = false);

}  // namespace kestrava
