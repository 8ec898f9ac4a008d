// JSON output of the probe's commands: strings in UTF-8, escaped.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace kestrava::probe {

// A JSON string literal of UTF-8 text.
std::string json_string(std::string_view utf8);
// A JSON string literal of a Text, converted from code page 936.
std::string json_text(const Text& text);

}  // namespace kestrava::probe
