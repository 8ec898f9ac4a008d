// Code page conversion in the manner of MultiByteToWideChar and
// WideCharToMultiByte: code pages 0 (the ANSI code page, 936 here), 936 (GBK,
// with 0x80 as the euro sign) and 65001 (UTF-8).
//
// A source_length of -1 reads a zero-terminated source and converts (and
// counts) its terminator too; otherwise exactly source_length units are read.
// The answer is the number of units written, or, when out_size is 0, the
// number the conversion would write. 0 means failure: an unknown code page, no
// source, a source_length of 0 or below -1, or an output buffer too small (its
// contents are then undefined).
//
// Invalid input becomes U+FFFD; a character the multibyte code page cannot
// hold becomes "?" (U+FFFD when writing UTF-8). Every call may run on any
// thread at the same time as others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrava::platform {

inline constexpr int code_page_ansi = 0;
inline constexpr int code_page_gbk = 936;
inline constexpr int code_page_utf8 = 65001;

int multibyte_to_wide(int code_page, const char* source, int source_length, char16_t* out,
                      int out_size);

int wide_to_multibyte(int code_page, const char16_t* source, int source_length, char* out,
                      int out_size);

// UTF-8 straight into code page 936: what multibyte_to_wide from 65001
// followed by wide_to_multibyte into 936 gives, in one pass and without the
// UTF-16 in between. It never writes more bytes than it reads.
int utf8_to_gbk(const char* source, int source_length, char* out, int out_size);

// Where the units read from a code page 936 source begin in it: the offset
// of every interval-th unit from unit 0, and of the end when the count is a
// multiple of the interval. exact: every character was read from the tables
// and converts back to the very bytes it was read from, so a run of the units
// can be cut out of the source instead of converted back. uniform: besides,
// every unit below 0x80 stands for one byte of the source and every other
// unit for two, so that the units alone tell how far a unit lies from a mark.
struct GbkMarks {
  // A mark costs 4 bytes per interval units and a look-up counts fewer than
  // interval characters from one.
  static constexpr int interval = 16;
  std::vector<std::uint32_t> starts;
  bool exact = false;
  bool uniform = false;
};

// multibyte_to_wide from code page 936 over a counted source, noting marks.
int gbk_to_wide_marked(const char* source, int source_length, char16_t* out, int out_size,
                       GbkMarks& marks);

// utf8_to_gbk of the length bytes at text, written over them from the start
// (the GBK is never longer), that also reads its result back as
// gbk_to_wide_marked would, in the same pass; units needs room for length.
// The length of the GBK, and the units in unit_count. 0 on failure: at once,
// with the text untouched, when the code page's tables do not allow it;
// otherwise with the text undefined.
int utf8_to_gbk_in_place(char* text, int length, char16_t* units, int& unit_count, GbkMarks& marks);

// The offset in source of unit (at most the number of units), from marks
// that are exact and the units read from source.
std::size_t gbk_offset_of_unit(const GbkMarks& marks, std::string_view source,
                               std::u16string_view units, std::size_t unit);

}  // namespace kestrava::platform
