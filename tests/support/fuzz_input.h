// What the fuzz harnesses share: a check that stops the run where the
// fuzzer can see it (assert vanishes from release builds), and the cutting of
// one input into zero-separated parts.
#pragma once

#include <cstdlib>
#include <string_view>

namespace kestrava::test {

inline void fuzz_check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// The bytes of input before its next zero byte; they and the zero byte are
// removed from input.
inline std::string_view next_part(std::string_view& input) {
  const std::size_t end = input.find('\0');
  const std::string_view part = input.substr(0, end);
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return part;
}

}  // namespace kestrava::test
