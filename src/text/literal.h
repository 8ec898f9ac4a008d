// Chinese literals of the system, written in UTF-8 in the source, reach a
// Text as their code page 936 bytes through one mechanism: the _gbk literal.
//
//   using namespace kestrava::literals;
//   const Text& status = "搜索中，请耐心等待......"_gbk;
//
// Each distinct literal is converted once, on first use (thread-safe), and
// the same Text is handed out afterwards.
#pragma once

#include <algorithm>
#include <cstddef>

#include "text/codepage.h"
#include "text/text.h"

namespace kestrava {

template <std::size_t N>
struct Utf8Literal {
  char bytes[N]{};
  constexpr Utf8Literal(const char (&s)[N]) { std::copy_n(s, N, bytes); }  // NOLINT
};

namespace literals {

template <Utf8Literal S>
const Text& operator""_gbk() {
  static const Text text = utf8_to_gbk(Text(S.bytes));
  return text;
}

}  // namespace literals
}  // namespace kestrava
