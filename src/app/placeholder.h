// The picture the picture box holds at start: a JPEG of 230 x 306 pixels,
// built into the program (empty while resources/placeholder.jpg is missing).
#pragma once

#include <string_view>

namespace kestrava {

std::string_view placeholder_jpeg();

}  // namespace kestrava
