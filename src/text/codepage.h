// Conversions between code page 936 (every Text), UTF-8 (the site) and UTF-16.
#pragma once

#include <string>
#include <string_view>

#include "platform/codepage/codepage.h"
#include "text/text.h"

namespace kestrava {

// Code pages: 0 is the ANSI code page (936 here), 936 is GBK, 65001 UTF-8.
inline constexpr int code_page_ansi = 0;
inline constexpr int code_page_gbk = 936;
inline constexpr int code_page_utf8 = 65001;

// The Text read in code_page, as UTF-16LE units followed by a zero unit.
Bytes text_to_utf16(const Text& text, int code_page = code_page_utf8);
// Zero-terminated UTF-16LE written in code_page; characters it cannot hold
// become "?".
Text utf16_to_text(const Bytes& utf16, int code_page = code_page_ansi);

// The same conversions for callers that hold UTF-16 themselves: no
// terminating unit, no Bytes in between.
std::u16string text_to_units(const Text& text, int code_page);
Text units_to_text(std::u16string_view units, int code_page);

// A Text read as UTF-16 in the ANSI code page, keeping the Text. A run of the
// units turns back into a Text by cutting it out of the source wherever that
// gives what converting back would: always, unless the source held bytes the
// code page cannot read.
class TextUnits {
 public:
  TextUnits() = default;
  explicit TextUnits(Text source);
  // TextUnits(utf8_to_gbk(utf8)), reading the UTF-8 once and converting it
  // where it lies.
  static TextUnits from_utf8(Text utf8);

  const Text& source() const { return source_; }
  const std::u16string& units() const { return units_; }
  // Whether every run cuts: the whole units then turn back into source().
  bool exact() const { return marks_.exact; }
  // Units [from, to) as a Text in the ANSI code page.
  Text text_of(std::size_t from, std::size_t to) const;

 private:
  Text source_;
  std::u16string units_;
  platform::GbkMarks marks_;
};

Text utf8_to_gbk(const Text& text);
Text gbk_to_utf8(const Text& text);

}  // namespace kestrava
