// Text, Bytes and TextArray, and the primitive operations on them.
//
// A Text is a run of bytes in code page 936 that never holds a zero byte; a
// byte 0x80-0xFF followed by another byte starts a two-byte character.
// Positions are 1-based byte positions and a search that finds nothing gives
// -1. The searching operations step over two-byte characters whole, so a
// match is only ever tried at a character start; counting and cutting work in
// bytes. The empty value of each type is also its "absent" value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrava {

class Text {
 public:
  Text() = default;
  // Both keep the bytes before the first zero byte; a null pointer is empty.
  Text(const char* s);  // NOLINT(google-explicit-constructor): literals read naturally
  explicit Text(std::string_view s);
  explicit Text(std::string&& s);

  const char* c_str() const { return bytes_.c_str(); }
  std::string_view view() const { return bytes_; }
  const std::string& str() const { return bytes_; }
  std::string release() && { return std::move(bytes_); }
  // At most count bytes from pos: a run of a Text holds no zero byte to look
  // for.
  Text part(std::size_t pos, std::size_t count) const;
  bool empty() const { return bytes_.empty(); }
  // Length in bytes. Texts are bounded well below 2 GiB by the callers.
  int length() const { return static_cast<int>(bytes_.size()); }
  // The byte at the 0-based index, as an unsigned value.
  unsigned char byte(std::size_t index) const { return static_cast<unsigned char>(bytes_[index]); }

  friend bool operator==(const Text&, const Text&) = default;

 private:
  struct Checked {};
  Text(std::string_view s, Checked) : bytes_(s) {}

  std::string bytes_;  // never holds '\0'
};

class Bytes {
 public:
  Bytes() = default;
  explicit Bytes(const char* bytes) : bytes_(bytes ? bytes : "") {}
  explicit Bytes(std::string_view bytes) : bytes_(bytes) {}
  explicit Bytes(std::string&& bytes) : bytes_(std::move(bytes)) {}
  Bytes(const void* data, std::size_t size);

  const unsigned char* data() const {
    return reinterpret_cast<const unsigned char*>(bytes_.data());
  }
  std::string_view view() const { return bytes_; }
  bool empty() const { return bytes_.empty(); }
  std::size_t size() const { return bytes_.size(); }
  // Element access from 1 to size(), as the rest of the system counts.
  unsigned char at(int index) const { return data()[index - 1]; }

  // Amortised growth, so a body read in small pieces stays linear.
  void append(const void* data, std::size_t size);
  void reserve(std::size_t size) { bytes_.reserve(size); }
  std::string release() && { return std::move(bytes_); }

  friend bool operator==(const Bytes&, const Bytes&) = default;

 private:
  std::string bytes_;
};

class TextArray {
 public:
  TextArray() = default;
  TextArray(std::initializer_list<Text> items) : items_(items) {}

  // 1-based, from 1 to count.
  const Text& at(int index) const { return items_[static_cast<std::size_t>(index - 1)]; }
  int count() const { return static_cast<int>(items_.size()); }
  void append(Text item) { items_.push_back(std::move(item)); }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  friend bool operator==(const TextArray&, const TextArray&) = default;

 private:
  std::vector<Text> items_;
};

// --- measuring, joining, comparing -------------------------------------------

int text_length(const Text& text);

inline std::string_view text_view(const Text& text) {
  return text.view();
}
inline std::string_view text_view(const char* text) {
  return text ? std::string_view(text) : std::string_view();
}

Text text_concat_parts(std::initializer_list<std::string_view> parts);
// Two or more parts, each a Text or a literal.
template <class... Parts>
Text text_concat(const Text& first, const Parts&... rest) {
  return text_concat_parts({first.view(), text_view(rest)...});
}

// -1, 0 or 1, bytes compared as unsigned.
int text_compare(const Text& a, const Text& b);

// --- cutting ------------------------------------------------------------------

Text text_left(const Text& text, int count);
Text text_right(const Text& text, int count);
Text text_mid(const Text& text, int start, int count);
Text char_text(int code);

// --- searching ----------------------------------------------------------------

// start: left out, 0, 1 or negative search from the first byte; past the end
// finds nothing. An empty needle gives 1 when the searched part is non-empty.
int find_text(const Text& text, const Text& needle, int start = 0, bool ignore_case = false);

// The last occurrence that ends before position start (the whole text when
// start is left out); a start of 1 or less finds nothing.
int find_text_reverse(const Text& text, const Text& needle, std::optional<int> start = std::nullopt,
                      bool ignore_case = false);

// --- rewriting ----------------------------------------------------------------

Text to_lower(const Text& text);
Text trim_spaces(const Text& text);
Text remove_spaces(const Text& text);

// count: negative means every occurrence. Note the sense of case_sensitive:
// false (the default) folds A-Z, unlike find_text's ignore_case.
Text replace_text(const Text& text, const Text& search, const Text& replacement = Text(),
                  int start = 1, int count = -1, bool case_sensitive = false);

// max_count left out is unlimited; 0 or less gives no element.
TextArray split_text(const Text& text, const Text& delimiter = ",",
                     std::optional<int> max_count = std::nullopt);

// --- numbers ------------------------------------------------------------------

int to_integer(const Text& text);
Text number_to_text(double number);
// A negative number is written as its 32-bit two's complement.
Text hex_text(int number);
int truncate_to_integer(double number);

template <class... Ints>
std::int64_t bit_or(std::int64_t first, Ints... rest) {
  return (first | ... | static_cast<std::int64_t>(rest));
}

// --- Text and Bytes -----------------------------------------------------------

Bytes text_to_bytes(const Text& text);
Text bytes_to_text(const Bytes& bytes);
// The same, taking over the bytes instead of copying them.
Text bytes_to_text(Bytes&& bytes);
int bytes_length(const Bytes& bytes);
Bytes bytes_left(const Bytes& bytes, int count);
Bytes bytes_concat_parts(std::initializer_list<std::string_view> parts);
template <class... Parts>
Bytes bytes_concat(const Bytes& first, const Parts&... rest) {
  return bytes_concat_parts({first.view(), rest.view()...});
}
bool bytes_equal(const Bytes& a, const Bytes& b);
Text blank_text(int count);
Bytes blank_bytes(int count);

// --- arrays -------------------------------------------------------------------

int array_count(const TextArray& array);
void array_append(TextArray& array, const Text& text);

}  // namespace kestrava
