// Poster pictures for the demo site, drawn at start-up and encoded in every
// kind the picture box understands.
#pragma once

#include <string>
#include <string_view>

namespace kestrava::demo {

enum class PosterKind { jpeg, png, gif, animated_gif, bmp, ico, cur, pcx };

inline constexpr int poster_width = 120;
inline constexpr int poster_height = 168;

// The encoded file of a poster; seed varies the colours and the drawing.
std::string make_poster(PosterKind kind, int seed);

// File extension and Content-Type of each kind.
std::string_view poster_extension(PosterKind kind);
std::string_view poster_content_type(PosterKind kind);

}  // namespace kestrava::demo
