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

}  // namespace kestrava::platform
