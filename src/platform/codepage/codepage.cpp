#include "platform/codepage/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KESTRAVA_SSE2 1
#endif

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

// Every two-byte character of code page 936 and every UTF-16 unit it can
// hold, read once from ICU, so that a page does not go through ICU call by
// call; whatever the tables do not hold (invalid bytes, unmappable units,
// surrogates) still goes to ICU, which decides what it becomes.
struct GbkTables {
  std::vector<char16_t> pair_to_wide = std::vector<char16_t>(126 * 256);       // lead 0x81-0xFE
  std::array<char16_t, 128> byte_to_wide{};                                    // 0x80-0xFF alone
  std::vector<std::uint16_t> wide_to_gbk = std::vector<std::uint16_t>(65536);  // 0: not held
  bool complete = false;
  // Whether every character the tables read converts back to the bytes it
  // was read from, so that GBK read through them can be cut instead of
  // converted back.
  bool round_trips = false;
  // Whether every unit the tables write reads back as itself, whatever
  // follows it (no single byte that could lead a pair).
  bool writes_round_trip = false;
};

GbkTables make_gbk_tables() {
  GbkTables tables;
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("windows-936-2000", &error);
  if (U_FAILURE(error))
    return tables;
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  auto decode = [&](const char* bytes, int length) -> char16_t {
    UChar unit[4];
    UErrorCode e = U_ZERO_ERROR;
    ucnv_reset(converter);
    const int n = ucnv_toUChars(converter, unit, 4, bytes, length, &e);
    return U_SUCCESS(e) && n == 1 && unit[0] != replacement_character ? unit[0] : u'\0';
  };
  for (int b = 0x80; b <= 0xFF; ++b) {
    const char byte = static_cast<char>(b);
    tables.byte_to_wide[static_cast<std::size_t>(b - 0x80)] = decode(&byte, 1);
  }
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0; trail <= 0xFF; ++trail) {
      const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      tables.pair_to_wide[static_cast<std::size_t>((lead - 0x81) * 256 + trail)] = decode(pair, 2);
    }
  }
  for (int unit = 0x80; unit <= 0xFFFF; ++unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF)
      continue;
    const UChar source = static_cast<UChar>(unit);
    char bytes[4];
    UErrorCode e = U_ZERO_ERROR;
    ucnv_reset(converter);
    const int n = ucnv_fromUChars(converter, bytes, 4, &source, 1, &e);
    if (U_FAILURE(e))
      continue;
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    if (n == 1 && first >= 0x80)
      tables.wide_to_gbk[static_cast<std::size_t>(unit)] = first;
    if (n == 2) {
      tables.wide_to_gbk[static_cast<std::size_t>(unit)] =
          static_cast<std::uint16_t>(first << 8 | second);
    }
  }
  ucnv_close(converter);
  tables.complete = true;
  tables.round_trips = true;
  for (int b = 0x80; b <= 0xFF; ++b) {
    const char16_t unit = tables.byte_to_wide[static_cast<std::size_t>(b - 0x80)];
    tables.round_trips = tables.round_trips && (unit == 0 || tables.wide_to_gbk[unit] == b);
  }
  for (std::size_t pair = 0; pair < tables.pair_to_wide.size(); ++pair) {
    const char16_t unit = tables.pair_to_wide[pair];
    tables.round_trips =
        tables.round_trips && (unit == 0 || tables.wide_to_gbk[unit] == pair + 0x8100);
  }
  tables.writes_round_trip = true;
  for (std::size_t unit = 0x80; unit < tables.wide_to_gbk.size(); ++unit) {
    const std::uint16_t code = tables.wide_to_gbk[unit];
    const bool lead = code >= 0x81 && code <= 0xFE;
    const char16_t back = code >= 0x100  ? tables.pair_to_wide[code - 0x8100u]
                          : code >= 0x80 ? tables.byte_to_wide[code - 0x80u]
                                         : u'\0';
    tables.writes_round_trip = tables.writes_round_trip && (code == 0 || (!lead && back == unit));
  }
  return tables;
}

const GbkTables& gbk_tables() {
  static const GbkTables tables = make_gbk_tables();
  return tables;
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
  constexpr int per_word = 8 / sizeof(Unit);
  constexpr std::uint64_t high_bits =
      sizeof(Unit) == 1 ? 0x8080808080808080ULL : 0xFF80FF80FF80FF80ULL;
  while (i + per_word <= n) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if ((word & high_bits) != 0)
      break;
    i += per_word;
  }
  while (i < n && static_cast<std::uint32_t>(p[i]) < 0x80)
    ++i;
  return i;
}

// Copies n ASCII units into units of another width (ASCII is the same in
// every code page here). Written out in SSE2: GCC does not vectorise the plain
// loop at the -O2 of a RelWithDebInfo build, and every conversion then took
// twice as long as at -O3.
template <class Source, class Unit>
void copy_units(const Source* p, Unit* out, int n) {
  if constexpr (sizeof(Source) == sizeof(Unit)) {
    std::memcpy(out, p, static_cast<std::size_t>(n) * sizeof(Unit));
    return;
  }
  int i = 0;
#ifdef KESTRAVA_SSE2
  if constexpr (sizeof(Source) == 1 && sizeof(Unit) == 2) {
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(block, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(block, zero));
    }
  } else if constexpr (sizeof(Source) == 2 && sizeof(Unit) == 1) {
    for (; i + 16 <= n; i += 16) {
      const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 8));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(first, second));
    }
  }
#endif
  for (; i < n; ++i)
    out[i] = static_cast<Unit>(p[i]);
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
      copy_units(p, out_ + count_, n);
    }
    count_ += n;
    return true;
  }

  bool put_unit(Unit unit) {
    if (!counting()) {
      if (count_ == size_)
        return false;
      out_[count_] = unit;
    }
    ++count_;
    return true;
  }

  // Room for ICU to write into, up to the end of the caller's buffer.
  Unit* target() const { return out_ + count_; }
  const Unit* target_limit() const { return out_ + size_; }
  void advance(int n) { count_ += n; }

 private:
  Unit* out_;
  int size_;
  int count_ = 0;
};

// Copies the run of ASCII at p[i] (ASCII is the same in every code page
// here) and moves i past it. The run is found a word at a time.
template <class Source, class Unit>
bool copy_ascii(const Source* p, int n, int& i, Sink<Unit>& sink) {
  const int ascii = ascii_prefix(p + i, n - i);
  if (!sink.put_ascii(p + i, ascii))
    return false;
  i += ascii;
  return true;
}

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

// Where the run of non-ASCII GBK characters that starts at i ends: a byte
// 0x81-0xFE leads a two-byte character whatever follows it, so the run ends
// only at an ASCII byte that stands on its own.
int gbk_run_end(const char* p, int i, int n) {
  while (i < n && static_cast<unsigned char>(p[i]) >= 0x80) {
    const unsigned char lead = static_cast<unsigned char>(p[i]);
    i += (lead >= 0x81 && lead <= 0xFE && i + 1 < n) ? 2 : 1;
  }
  return i;
}

// Fills GbkMarks as units are written: the source offset of every
// interval-th unit, and of the end when it falls on one.
class MarkNoter {
 public:
  MarkNoter(GbkMarks& marks, bool exact) : marks_(marks) {
    marks_.starts.clear();
    marks_.exact = exact;
    marks_.uniform = true;
  }

  // Units from unit up to units_to lie one to a byte from source offset at.
  void units(int unit, int units_to, int at) {
    if (next_ < units_to)
      note(unit, units_to, at);
  }
  // The unit (or the end) at unit starts at source offset at.
  void unit(int unit, int at) { units(unit, unit + 1, at); }
  void not_exact() { marks_.exact = false; }
  // A unit of one non-ASCII byte, or an ASCII unit of two bytes.
  void not_uniform() { marks_.uniform = false; }

 private:
  // Kept apart from units(), which runs for every character, so that the
  // check there is inlined even at -O2.
  void note(int unit, int units_to, int at) {
    for (; next_ < units_to; next_ += GbkMarks::interval)
      marks_.starts.push_back(static_cast<std::uint32_t>(at + next_ - unit));
  }

  GbkMarks& marks_;
  int next_ = 0;  // the next unit whose offset is noted
};

// With marks, also notes the source offset of every marked unit as it is
// written (see GbkMarks).
bool gbk_to_wide(const char* p, int n, Sink<char16_t>& sink, GbkMarks* marks = nullptr) {
  const GbkTables& tables = gbk_tables();
  UConverter* converter = gbk_converter();
  if (!tables.complete || converter == nullptr)
    return false;
  ucnv_reset(converter);
  std::optional<MarkNoter> noter;
  if (marks != nullptr)
    noter.emplace(*marks, tables.round_trips);
  int i = 0;
  while (i < n) {
    const int ascii_unit = sink.count();
    const int ascii_at = i;
    if (!copy_ascii(p, n, i, sink))
      return false;
    if (noter)
      noter->units(ascii_unit, sink.count(), ascii_at);
    while (i < n) {
      const auto b = static_cast<unsigned char>(p[i]);
      if (b < 0x80)
        break;
      char16_t unit = 0;
      int used = 1;
      if (b >= 0x81 && b <= 0xFE) {
        if (i + 1 < n) {
          unit = tables.pair_to_wide[static_cast<std::size_t>((b - 0x81) * 256) +
                                     static_cast<unsigned char>(p[i + 1])];
          used = 2;
        }
      } else {
        unit = tables.byte_to_wide[b - 0x80];
      }
      if (unit != 0) {
        if (noter) {
          noter->unit(sink.count(), i);
          if ((used == 2) != (unit >= 0x80))
            noter->not_uniform();
        }
        if (!sink.put_unit(unit))
          return false;
        i += used;
        continue;
      }
      // ICU decides what an invalid sequence becomes, reading on to the
      // end of the run as it would have.
      if (noter)
        noter->not_exact();
      const int end = gbk_run_end(p, i, n);
      if (!gbk_run_to_wide(converter, p + i, p + end, sink))
        return false;
      i = end;
    }
  }
  if (noter)
    noter->unit(sink.count(), n);
  return true;
}

bool icu_utf8_to_wide(const char* p, int n, Sink<char16_t>& sink) {
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

// The length of the well-formed UTF-8 sequence at p (n bytes available),
// and its code point; 0 when the bytes there are ill-formed. The limits on
// the second byte (no overlong forms, no surrogates, nothing past U+10FFFF)
// are checked on the code point, which keeps the common path short.
inline int utf8_sequence(const unsigned char* p, int n, char32_t& code_point) {
  const unsigned char b = p[0];
  auto continues = [p](int k) { return (p[k] & 0xC0) == 0x80; };
  if (b < 0xE0) {
    if (b < 0xC2 || n < 2 || !continues(1))
      return 0;
    code_point = static_cast<char32_t>((b & 0x1F) << 6 | (p[1] & 0x3F));
    return 2;
  }
  if (b < 0xF0) {
    if (n < 3 || !continues(1) || !continues(2))
      return 0;
    code_point = static_cast<char32_t>((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F));
    return code_point >= 0x800 && (code_point < 0xD800 || code_point > 0xDFFF) ? 3 : 0;
  }
  if (b > 0xF4 || n < 4 || !continues(1) || !continues(2) || !continues(3))
    return 0;
  code_point = static_cast<char32_t>((b & 0x07) << 18 | (p[1] & 0x3F) << 12 | (p[2] & 0x3F) << 6 |
                                     (p[3] & 0x3F));
  return code_point >= 0x10000 && code_point <= 0x10FFFF ? 4 : 0;
}

// Walks UTF-8 for a conversion: each run of ASCII goes to
// to.ascii(p, n, i), which moves i past it; each well-formed sequence to
// to.code_point(); each ill-formed stretch, up to the next ASCII byte, to
// to.ill_formed(). No sequence holds an ASCII byte, so ICU reading such a
// stretch replaces it exactly as it would in the whole text.
template <class To>
bool walk_utf8(const char* p, int n, To& to) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(p);
  int i = 0;
  while (i < n) {
    if (!to.ascii(p, n, i))
      return false;
    while (i < n && bytes[i] >= 0x80) {
      char32_t code_point = 0;
      const int length = utf8_sequence(bytes + i, n - i, code_point);
      if (length == 0) {
        int end = i + 1;
        while (end < n && bytes[end] >= 0x80)
          ++end;
        if (!to.ill_formed(p + i, end - i))
          return false;
        i = end;
        break;
      }
      if (!to.code_point(code_point))
        return false;
      i += length;
    }
  }
  return true;
}

// UTF-8 into UTF-16: well-formed sequences decoded here, ill-formed ones by
// ICU.
struct ToWide {
  Sink<char16_t>& sink;

  bool ascii(const char* p, int n, int& i) { return copy_ascii(p, n, i, sink); }

  bool code_point(char32_t c) {
    if (c < 0x10000)
      return sink.put_unit(static_cast<char16_t>(c));
    const char32_t v = c - 0x10000;
    return sink.put_unit(static_cast<char16_t>(0xD800 + (v >> 10))) &&
           sink.put_unit(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
  }

  bool ill_formed(const char* p, int n) { return icu_utf8_to_wide(p, n, sink); }
};

bool utf8_to_wide(const char* p, int n, Sink<char16_t>& sink) {
  ToWide to{sink};
  return walk_utf8(p, n, to);
}

bool is_high_surrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

bool wide_to_gbk(const char16_t* p, int n, Sink<char>& sink) {
  const GbkTables& tables = gbk_tables();
  if (!tables.complete)
    return false;
  int i = 0;
  while (i < n) {
    if (!copy_ascii(p, n, i, sink))
      return false;
    while (i < n && p[i] >= 0x80) {
      const std::uint16_t bytes = tables.wide_to_gbk[p[i]];
      if (bytes >= 0x100) {
        if (!sink.put_unit(static_cast<char>(bytes >> 8)) ||
            !sink.put_unit(static_cast<char>(bytes & 0xFF))) {
          return false;
        }
        ++i;
      } else if (bytes != 0) {
        if (!sink.put_unit(static_cast<char>(bytes)))
          return false;
        ++i;
      } else {
        // What GBK cannot hold becomes one "?", a surrogate pair included.
        // ICU's own substitution would drop default-ignorable characters
        // (a soft hyphen, a zero-width joiner) without a trace.
        int end = i + 1;
        if (is_high_surrogate(p[i]) && end < n && is_low_surrogate(p[end]))
          ++end;
        if (!sink.put_unit('?'))
          return false;
        i = end;
      }
    }
  }
  return true;
}

// Writes GBK into a sink, for utf8_to_gbk_direct.
class GbkWriter {
 public:
  explicit GbkWriter(Sink<char>& sink) : sink_(sink) {}

  bool ascii(const char* p, int n, int& i) { return copy_ascii(p, n, i, sink_); }

  // One unit: its two bytes, its one byte, or "?" when GBK cannot hold it.
  bool character(std::uint16_t bytes, char16_t) {
    if (bytes >= 0x100)
      return sink_.put_unit(static_cast<char>(bytes >> 8)) &&
             sink_.put_unit(static_cast<char>(bytes & 0xFF));
    return sink_.put_unit(bytes != 0 ? static_cast<char>(bytes) : '?');
  }

 private:
  Sink<char>& sink_;
};

// Writes GBK over the UTF-8 it is read from and, beside it, the units that
// GBK reads back as, with the marks gbk_to_wide would note reading it. No
// character is longer in GBK than in UTF-8, so every write lands on bytes
// already read; units holds the whole result.
class GbkAndUnitsWriter {
 public:
  GbkAndUnitsWriter(const GbkTables& tables, char* out, char16_t* units, GbkMarks& marks)
      : out_(out), units_(units), noter_(marks, tables.round_trips) {}

  int bytes_written() const { return bytes_; }
  int units_written() const { return count_; }

  bool ascii(const char* p, int n, int& i) {
#ifdef KESTRAVA_SSE2
    // Sixteen bytes at a time, finding the run, widening it and moving it
    // in one pass (see copy_units for why by hand).
    while (i + 16 <= n) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const int high = _mm_movemask_epi8(block);
      const int run = high == 0 ? 16 : std::countr_zero(static_cast<unsigned>(high));
      // All sixteen units are stored (units has room for a unit per byte
      // read); those past the run are written over next.
      const __m128i zero = _mm_setzero_si128();
      auto* target = reinterpret_cast<__m128i*>(units_ + count_);
      _mm_storeu_si128(target, _mm_unpacklo_epi8(block, zero));
      _mm_storeu_si128(target + 1, _mm_unpackhi_epi8(block, zero));
      // The bytes are stored whole where they land on themselves or on
      // bytes already read.
      if (bytes_ == i || bytes_ + 16 <= i + run)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out_ + bytes_), block);
      else
        std::memmove(out_ + bytes_, p + i, static_cast<std::size_t>(run));
      advance(run, i);
      if (run < 16)
        return true;
    }
#endif
    const int ascii = ascii_prefix(p + i, n - i);
    copy_units(p + i, units_ + count_, ascii);
    // Once the text has shrunk, the run moves down over itself; it is read
    // above before that.
    if (bytes_ != i)
      std::memmove(out_ + bytes_, p + i, static_cast<std::size_t>(ascii));
    advance(ascii, i);
    return true;
  }

  bool character(std::uint16_t bytes, char16_t unit) {
    noter_.unit(count_, bytes_);
    single_byte_ |= bytes >= 0x80 && bytes < 0x100;
    if (bytes >= 0x100) {
      out_[bytes_++] = static_cast<char>(bytes >> 8);
      out_[bytes_++] = static_cast<char>(bytes & 0xFF);
    } else {
      out_[bytes_++] = bytes != 0 ? static_cast<char>(bytes) : '?';
    }
    units_[count_++] = bytes != 0 ? unit : u'?';  // what the bytes read back as
    return true;
  }

  void finish() {
    noter_.unit(count_, bytes_);
    if (single_byte_)
      noter_.not_uniform();
  }

 private:
  // Past a run of ASCII written at bytes_ and count_, read at i.
  void advance(int run, int& i) {
    noter_.units(count_, count_ + run, bytes_);
    bytes_ += run;
    count_ += run;
    i += run;
  }

  char* out_;
  char16_t* units_;
  MarkNoter noter_;
  int bytes_ = 0;
  int count_ = 0;
  bool single_byte_ = false;  // a character written as one byte that is not ASCII
};

// UTF-8 into GBK in one pass, giving what utf8_to_wide followed by
// wide_to_gbk gives: a character outside the BMP is one "?", as its
// surrogate pair would be, and an ill-formed stretch is read by ICU first.
template <class Writer>
struct ToGbk {
  const std::uint16_t* wide_to_gbk;  // the table, looked up for every character
  Writer& writer;

  bool ascii(const char* p, int n, int& i) { return writer.ascii(p, n, i); }

  bool code_point(char32_t c) {
    const bool in_bmp = c < 0x10000;
    return writer.character(in_bmp ? wide_to_gbk[c] : 0, static_cast<char16_t>(in_bmp ? c : u'?'));
  }

  bool ill_formed(const char* p, int n) {
    std::u16string units(static_cast<std::size_t>(n), u'\0');
    Sink<char16_t> wide(units.data(), n);
    if (!icu_utf8_to_wide(p, n, wide))
      return false;
    // As wide_to_gbk writes them: a surrogate pair is one "?".
    for (int k = 0; k < wide.count(); ++k) {
      const char16_t unit = units[static_cast<std::size_t>(k)];
      if (is_high_surrogate(unit) && k + 1 < wide.count() &&
          is_low_surrogate(units[static_cast<std::size_t>(k) + 1]))
        ++k;
      if (!writer.character(wide_to_gbk[unit], unit))
        return false;
    }
    return true;
  }
};

template <class Writer>
bool utf8_to_gbk_direct(const GbkTables& tables, const char* p, int n, Writer& writer) {
  ToGbk<Writer> to{tables.wide_to_gbk.data(), writer};
  return walk_utf8(p, n, to);
}

bool utf8_to_gbk_sink(const char* p, int n, Sink<char>& sink) {
  const GbkTables& tables = gbk_tables();
  GbkWriter writer(sink);
  return tables.complete && utf8_to_gbk_direct(tables, p, n, writer);
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

// The frame both calls share: the request checks, the terminated source,
// and the terminator counted and written after the converted units.
template <class Source, class Unit, class Gbk, class Utf8>
int convert(int code_page, const Source* source, int source_length, Unit* out, int out_size,
            Gbk gbk, Utf8 utf8) {
  if (!valid_request(code_page, source, source_length, out, out_size))
    return 0;
  const bool terminated = source_length == -1;
  const int n = terminated ? terminated_length(source) : source_length;
  Sink<Unit> sink(out, out_size);
  const bool converted = is_gbk(code_page) ? gbk(source, n, sink) : utf8(source, n, sink);
  if (!converted)
    return 0;
  if (terminated && !sink.put_unit(Unit{0}))
    return 0;
  return sink.count();
}

}  // namespace

int multibyte_to_wide(int code_page, const char* source, int source_length, char16_t* out,
                      int out_size) {
  auto gbk = [](const char* p, int n, Sink<char16_t>& sink) { return gbk_to_wide(p, n, sink); };
  return convert(code_page, source, source_length, out, out_size, gbk, utf8_to_wide);
}

int wide_to_multibyte(int code_page, const char16_t* source, int source_length, char* out,
                      int out_size) {
  return convert(code_page, source, source_length, out, out_size, wide_to_gbk, wide_to_utf8);
}

int utf8_to_gbk(const char* source, int source_length, char* out, int out_size) {
  return convert(code_page_gbk, source, source_length, out, out_size, utf8_to_gbk_sink,
                 utf8_to_gbk_sink);
}

int utf8_to_gbk_in_place(char* text, int length, char16_t* units, int& unit_count,
                         GbkMarks& marks) {
  unit_count = 0;
  const GbkTables& tables = gbk_tables();
  // Each unit written stands for what its bytes read back as only where the
  // tables say so; the caller then converts in two steps.
  if (text == nullptr || length < 1 || units == nullptr || !tables.complete ||
      !tables.writes_round_trip)
    return 0;
  GbkAndUnitsWriter writer(tables, text, units, marks);
  if (!utf8_to_gbk_direct(tables, text, length, writer)) {
    marks = GbkMarks();
    return 0;
  }
  writer.finish();
  unit_count = writer.units_written();
  return writer.bytes_written();
}

int gbk_to_wide_marked(const char* source, int source_length, char16_t* out, int out_size,
                       GbkMarks& marks) {
  auto marked = [&marks](const char* p, int n, Sink<char16_t>& sink) {
    return gbk_to_wide(p, n, sink, &marks);
  };
  const int written = source_length > 0 ? convert(code_page_gbk, source, source_length, out,
                                                  out_size, marked, marked)
                                        : 0;
  if (written == 0)
    marks = GbkMarks();
  return written;
}

std::size_t gbk_offset_of_unit(const GbkMarks& marks, std::string_view source,
                               std::u16string_view units, std::size_t unit) {
  const std::size_t mark = unit / GbkMarks::interval;
  std::size_t at = marks.starts[mark];
  std::size_t k = unit % GbkMarks::interval;
  if (marks.uniform) {
    // One byte for each unit from the mark, and one more for each that is
    // not ASCII.
    const char16_t* from = units.data() + mark * GbkMarks::interval;
#ifdef KESTRAVA_SSE2
    if (mark * GbkMarks::interval + 16 <= units.size()) {
      // A byte for each of the sixteen units: 0xFF where it is ASCII.
      const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
      const __m128i zero = _mm_setzero_si128();
      const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
      const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 8));
      const __m128i ascii = _mm_packs_epi16(_mm_cmpeq_epi16(_mm_and_si128(first, high), zero),
                                            _mm_cmpeq_epi16(_mm_and_si128(second, high), zero));
      // 1 for each of the first k that is not, summed.
      const __m128i lanes = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
      const __m128i counted =
          _mm_and_si128(_mm_andnot_si128(ascii, _mm_set1_epi8(1)),
                        _mm_cmplt_epi8(lanes, _mm_set1_epi8(static_cast<char>(k))));
      const __m128i sums = _mm_sad_epu8(counted, zero);
      const auto wide =
          static_cast<std::size_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
      return std::min(at + k + wide, source.size());
    }
#endif
    for (std::size_t j = 0; j < k; ++j)
      at += from[j] < 0x80 ? 1 : 2;
    return std::min(at, source.size());
  }
  while (k > 0 && at < source.size()) {
    std::uint64_t word;
    if (k >= 8 && at + 8 <= source.size() &&
        (std::memcpy(&word, source.data() + at, 8), (word & 0x8080808080808080ULL) == 0)) {
      at += 8;  // eight ASCII characters
      k -= 8;
      continue;
    }
    const auto b = static_cast<unsigned char>(source[at]);
    at += b >= 0x81 && b <= 0xFE ? 2 : 1;  // a lead byte, as gbk_to_wide reads it
    --k;
  }
  return at < source.size() ? at : source.size();
}

}  // namespace kestrava::platform
