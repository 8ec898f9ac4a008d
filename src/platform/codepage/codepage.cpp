#include "platform/codepage/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <cstdint>
#include <cstring>

namespace kestrava::platform {
namespace {

constexpr UChar replacement_character = 0xFFFD;

// ICU converters keep state and must not be shared between threads; each
// thread that converts GBK gets its own, opened on first use.
class GbkConverter {
 public:
  GbkConverter() {
    UErrorCode error = U_ZERO_ERROR;
    converter_ = ucnv_open("windows-936-2000", &error);
    if (U_FAILURE(error)) {
      converter_ = nullptr;
      return;
    }
    ucnv_setSubstChars(converter_, "?", 1, &error);
  }
  ~GbkConverter() {
    if (converter_ != nullptr)
      ucnv_close(converter_);
  }
  GbkConverter(const GbkConverter&) = delete;
  GbkConverter& operator=(const GbkConverter&) = delete;

  UConverter* get() { return converter_; }

 private:
  UConverter* converter_ = nullptr;
};

UConverter* gbk_converter() {
  thread_local GbkConverter converter;
  return converter.get();
}

bool is_gbk(int code_page) {
  return code_page == code_page_ansi || code_page == code_page_gbk;
}
bool is_known(int code_page) {
  return is_gbk(code_page) || code_page == code_page_utf8;
}

// The length of the ASCII run at the start of [p, p + n): ASCII is the same
// in every code page here, so it is copied without ICU.
template <class Unit>
int ascii_prefix(const Unit* p, int n) {
  int i = 0;
  if constexpr (sizeof(Unit) == 1) {
    while (i + 8 <= n) {
      std::uint64_t word;
      std::memcpy(&word, p + i, 8);
      if ((word & 0x8080808080808080ULL) != 0)
        break;
      i += 8;
    }
  }
  while (i < n && static_cast<std::uint32_t>(p[i]) < 0x80)
    ++i;
  return i;
}

// Where the units are written: into the caller's buffer, or only counted for
// a size query.
template <class Unit>
class Sink {
 public:
  Sink(Unit* out, int size) : out_(out), size_(size) {}

  bool counting() const { return size_ == 0; }
  int count() const { return count_; }

  template <class Source>
  bool put_ascii(const Source* p, int n) {
    if (!counting()) {
      if (n > size_ - count_)
        return false;
      Unit* target = out_ + count_;
      for (int i = 0; i < n; ++i)
        target[i] = static_cast<Unit>(p[i]);
    }
    count_ += n;
    return true;
  }

  bool put_unit(Unit unit) { return put_ascii(&unit, 1); }

  // Room for ICU to write into, up to the end of the caller's buffer.
  Unit* target() const { return out_ + count_; }
  const Unit* target_limit() const { return out_ + size_; }
  void advance(int n) { count_ += n; }

 private:
  Unit* out_;
  int size_;
  int count_ = 0;
};

// One run of GBK bytes that are not ASCII, ending at a character boundary.
bool gbk_run_to_wide(UConverter* converter, const char* begin, const char* end,
                     Sink<char16_t>& sink) {
  const char* source = begin;
  if (!sink.counting()) {
    UChar* target = reinterpret_cast<UChar*>(sink.target());
    UChar* const start = target;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, reinterpret_cast<const UChar*>(sink.target_limit()), &source,
                   end, nullptr, true, &error);
    sink.advance(static_cast<int>(target - start));
    return U_SUCCESS(error);
  }
  UChar scratch[512];
  for (;;) {
    UChar* target = scratch;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, scratch + 512, &source, end, nullptr, true, &error);
    sink.advance(static_cast<int>(target - scratch));
    if (error != U_BUFFER_OVERFLOW_ERROR)
      return U_SUCCESS(error);
  }
}

bool gbk_to_wide(const char* p, int n, Sink<char16_t>& sink) {
  UConverter* converter = gbk_converter();
  if (converter == nullptr)
    return false;
  ucnv_reset(converter);
  int i = 0;
  while (i < n) {
    const int ascii = ascii_prefix(p + i, n - i);
    if (!sink.put_ascii(p + i, ascii))
      return false;
    i += ascii;
    if (i == n)
      break;
    // A byte 0x81-0xFE leads a two-byte character whatever follows it, so the
    // run only ends at an ASCII byte that stands on its own.
    int j = i;
    while (j < n && static_cast<unsigned char>(p[j]) >= 0x80) {
      const unsigned char lead = static_cast<unsigned char>(p[j]);
      j += (lead >= 0x81 && lead <= 0xFE && j + 1 < n) ? 2 : 1;
    }
    if (!gbk_run_to_wide(converter, p + i, p + j, sink))
      return false;
    i = j;
  }
  return true;
}

bool utf8_to_wide(const char* p, int n, Sink<char16_t>& sink) {
  UErrorCode error = U_ZERO_ERROR;
  int32_t length = 0;
  if (sink.counting()) {
    u_strFromUTF8WithSub(nullptr, 0, &length, p, n, replacement_character, nullptr, &error);
    if (error == U_BUFFER_OVERFLOW_ERROR)
      error = U_ZERO_ERROR;
  } else {
    const auto room = static_cast<int32_t>(sink.target_limit() - sink.target());
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(sink.target()), room, &length, p, n,
                         replacement_character, nullptr, &error);
  }
  if (U_FAILURE(error))
    return false;
  sink.advance(length);
  return true;
}

bool wide_run_to_gbk(UConverter* converter, const char16_t* begin, const char16_t* end,
                     Sink<char>& sink) {
  const UChar* source = reinterpret_cast<const UChar*>(begin);
  const UChar* const source_end = reinterpret_cast<const UChar*>(end);
  if (!sink.counting()) {
    char* target = sink.target();
    char* const start = target;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, sink.target_limit(), &source, source_end, nullptr, true,
                     &error);
    sink.advance(static_cast<int>(target - start));
    return U_SUCCESS(error);
  }
  char scratch[1024];
  for (;;) {
    char* target = scratch;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, scratch + 1024, &source, source_end, nullptr, true,
                     &error);
    sink.advance(static_cast<int>(target - scratch));
    if (error != U_BUFFER_OVERFLOW_ERROR)
      return U_SUCCESS(error);
  }
}

bool wide_to_gbk(const char16_t* p, int n, Sink<char>& sink) {
  UConverter* converter = gbk_converter();
  if (converter == nullptr)
    return false;
  ucnv_reset(converter);
  int i = 0;
  while (i < n) {
    const int ascii = ascii_prefix(p + i, n - i);
    if (!sink.put_ascii(p + i, ascii))
      return false;
    i += ascii;
    if (i == n)
      break;
    int j = i;
    while (j < n && p[j] >= 0x80)
      ++j;
    if (!wide_run_to_gbk(converter, p + i, p + j, sink))
      return false;
    i = j;
  }
  return true;
}

bool wide_to_utf8(const char16_t* p, int n, Sink<char>& sink) {
  UErrorCode error = U_ZERO_ERROR;
  int32_t length = 0;
  const auto* source = reinterpret_cast<const UChar*>(p);
  if (sink.counting()) {
    u_strToUTF8WithSub(nullptr, 0, &length, source, n, replacement_character, nullptr, &error);
    if (error == U_BUFFER_OVERFLOW_ERROR)
      error = U_ZERO_ERROR;
  } else {
    const auto room = static_cast<int32_t>(sink.target_limit() - sink.target());
    u_strToUTF8WithSub(sink.target(), room, &length, source, n, replacement_character, nullptr,
                       &error);
  }
  if (U_FAILURE(error))
    return false;
  sink.advance(length);
  return true;
}

template <class Unit>
int terminated_length(const Unit* p) {
  int n = 0;
  while (p[n] != 0)
    ++n;
  return n;
}

bool valid_request(int code_page, const void* source, int source_length, const void* out,
                   int out_size) {
  if (!is_known(code_page) || source == nullptr)
    return false;
  if (source_length == 0 || source_length < -1)
    return false;
  return out_size == 0 || (out_size > 0 && out != nullptr);
}

}  // namespace

int multibyte_to_wide(int code_page, const char* source, int source_length, char16_t* out,
                      int out_size) {
  if (!valid_request(code_page, source, source_length, out, out_size))
    return 0;
  const bool terminated = source_length == -1;
  const int n = terminated ? terminated_length(source) : source_length;
  Sink<char16_t> sink(out, out_size);
  const bool converted =
      is_gbk(code_page) ? gbk_to_wide(source, n, sink) : utf8_to_wide(source, n, sink);
  if (!converted)
    return 0;
  if (terminated && !sink.put_unit(0))
    return 0;
  return sink.count();
}

int wide_to_multibyte(int code_page, const char16_t* source, int source_length, char* out,
                      int out_size) {
  if (!valid_request(code_page, source, source_length, out, out_size))
    return 0;
  const bool terminated = source_length == -1;
  const int n = terminated ? terminated_length(source) : source_length;
  Sink<char> sink(out, out_size);
  const bool converted =
      is_gbk(code_page) ? wide_to_gbk(source, n, sink) : wide_to_utf8(source, n, sink);
  if (!converted)
    return 0;
  if (terminated && !sink.put_unit('\0'))
    return 0;
  return sink.count();
}

}  // namespace kestrava::platform
