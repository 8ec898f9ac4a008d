// The layer decodes well-formed input and table-held characters itself and
// leaves the rest to ICU; on any input it must give what ICU alone gives.
#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <random>
#include <string>

#include "platform/codepage/codepage.h"

namespace kestrava::platform {
namespace {

// ICU's own substitution skips default-ignorable characters (a soft hyphen,
// a Khmer vowel inherent); the layer writes "?" for those too.
void substitute_every_unmappable(const void*, UConverterFromUnicodeArgs* args, const UChar*,
                                 int32_t, UChar32, UConverterCallbackReason reason,
                                 UErrorCode* error) {
  if (reason == UCNV_UNASSIGNED || reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR) {
    *error = U_ZERO_ERROR;
    ucnv_cbFromUWriteBytes(args, "?", 1, 0, error);
  }
}

std::u16string layer_to_wide(int code_page, const std::string& bytes) {
  std::u16string out(bytes.size() + 1, u'\0');
  const int n = multibyte_to_wide(code_page, bytes.data(), static_cast<int>(bytes.size()),
                                  out.data(), static_cast<int>(out.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::string layer_to_multibyte(int code_page, const std::u16string& units) {
  std::string out(units.size() * 3 + 1, '\0');
  const int n = wide_to_multibyte(code_page, units.data(), static_cast<int>(units.size()),
                                  out.data(), static_cast<int>(out.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

class IcuOracle : public ::testing::Test {
 protected:
  void SetUp() override {
    UErrorCode error = U_ZERO_ERROR;
    gbk_ = ucnv_open("windows-936-2000", &error);
    ASSERT_TRUE(U_SUCCESS(error));
    ucnv_setSubstChars(gbk_, "?", 1, &error);
    ucnv_setFromUCallBack(gbk_, substitute_every_unmappable, nullptr, nullptr, nullptr, &error);
  }
  void TearDown() override { ucnv_close(gbk_); }

  std::u16string icu_to_wide(int code_page, const std::string& bytes) {
    std::u16string out(bytes.size() + 1, u'\0');
    UErrorCode error = U_ZERO_ERROR;
    int32_t n = 0;
    auto* target = reinterpret_cast<UChar*>(out.data());
    const auto size = static_cast<int32_t>(out.size());
    if (code_page == code_page_utf8) {
      u_strFromUTF8WithSub(target, size, &n, bytes.data(), static_cast<int32_t>(bytes.size()),
                           0xFFFD, nullptr, &error);
    } else {
      n = ucnv_toUChars(gbk_, target, size, bytes.data(), static_cast<int32_t>(bytes.size()),
                        &error);
    }
    out.resize(static_cast<std::size_t>(n));
    return out;
  }

  std::string icu_to_multibyte(int code_page, const std::u16string& units) {
    std::string out(units.size() * 3 + 1, '\0');
    UErrorCode error = U_ZERO_ERROR;
    int32_t n = 0;
    const auto* source = reinterpret_cast<const UChar*>(units.data());
    const auto length = static_cast<int32_t>(units.size());
    if (code_page == code_page_utf8) {
      u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, source, length, 0xFFFD,
                         nullptr, &error);
    } else {
      n = ucnv_fromUChars(gbk_, out.data(), static_cast<int32_t>(out.size()), source, length,
                          &error);
    }
    out.resize(static_cast<std::size_t>(n));
    return out;
  }

  UConverter* gbk_ = nullptr;
  std::mt19937 random_{20261211};
};

TEST_F(IcuOracle, RandomBytes) {
  // Mostly high bytes, with the boundary values of UTF-8 and GBK sequences.
  const unsigned char picks[] = {0x00, 0x20, 0x41, 0x7F, 0x80, 0x81, 0x8F, 0x90, 0x9F, 0xA0,
                                 0xA1, 0xBF, 0xC0, 0xC2, 0xD6, 0xD0, 0xDF, 0xE0, 0xE4, 0xED,
                                 0xEF, 0xF0, 0xF4, 0xF5, 0xFE, 0xFF, 0xB8, 0xAD, 0x40, 0x3F};
  std::uniform_int_distribution<int> length(1, 24);
  std::uniform_int_distribution<std::size_t> pick(0, sizeof(picks) - 1);
  std::uniform_int_distribution<int> any(0, 255);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes;
    for (int i = length(random_); i > 0; --i) {
      bytes += static_cast<char>(round % 2 ? picks[pick(random_)] : any(random_));
    }
    for (int code_page : {code_page_utf8, code_page_gbk}) {
      ASSERT_EQ(layer_to_wide(code_page, bytes), icu_to_wide(code_page, bytes))
          << code_page << " " << ::testing::PrintToString(bytes);
    }
  }
}

// Text as pages have it: runs of ASCII long enough for the word-at-a-time
// copies, between characters of every length, unmappable ones and ill-formed
// bytes.
std::string mixed_utf8(std::mt19937& random) {
  const char* const pieces[] = {"\xE4\xB8\xAD", "\xC3\xA9",     "\xF0\x9F\x98\x80",
                                "\xC2\xAD",     "\xE2\x82\xAC", "\xEF\xBF\xBD",
                                "\xE0\xB8\x81", "\x80",         "\xE4\xB8",
                                "\xED\xA0\x80", "\xC0\xAF",     "\xF4\x90\x80\x80",
                                "\xFF"};
  std::uniform_int_distribution<int> count(1, 12);
  std::uniform_int_distribution<int> run(0, 20);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> letter(0x20, 0x7E);
  std::string text;
  for (int i = count(random); i > 0; --i) {
    for (int k = run(random); k > 0; --k)
      text += static_cast<char>(letter(random));
    text += pieces[pick(random)];
  }
  return text;
}

TEST_F(IcuOracle, MixedText) {
  for (int round = 0; round < 20000; ++round) {
    const std::string bytes = mixed_utf8(random_);
    const std::u16string units = icu_to_wide(code_page_utf8, bytes);
    ASSERT_EQ(layer_to_wide(code_page_utf8, bytes), units) << ::testing::PrintToString(bytes);
    ASSERT_EQ(layer_to_multibyte(code_page_gbk, units), icu_to_multibyte(code_page_gbk, units))
        << ::testing::PrintToString(bytes);
    const std::string gbk = icu_to_multibyte(code_page_gbk, units);
    ASSERT_EQ(layer_to_wide(code_page_gbk, gbk), icu_to_wide(code_page_gbk, gbk))
        << ::testing::PrintToString(bytes);
  }
}

// The one-pass conversion gives what the two steps give, whatever the input.
TEST_F(IcuOracle, Utf8StraightToGbk) {
  std::uniform_int_distribution<int> any(0, 255);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes = mixed_utf8(random_);
    if (round % 4 == 0)
      bytes[static_cast<std::size_t>(any(random_)) % bytes.size()] =
          static_cast<char>(any(random_));
    std::string out(bytes.size(), '\0');
    const int n = utf8_to_gbk(bytes.data(), static_cast<int>(bytes.size()), out.data(),
                              static_cast<int>(out.size()));
    out.resize(static_cast<std::size_t>(n));
    ASSERT_EQ(out, icu_to_multibyte(code_page_gbk, icu_to_wide(code_page_utf8, bytes)))
        << ::testing::PrintToString(bytes);
    ASSERT_EQ(utf8_to_gbk(bytes.data(), static_cast<int>(bytes.size()), nullptr, 0), n);

    // The pass that converts in place and reads the result back gives the
    // same bytes, and the units and marks that reading them gives.
    std::string marked_out = bytes;
    std::u16string marked_units(bytes.size(), u'\0');
    int unit_count = -1;
    GbkMarks marks;
    const int marked = utf8_to_gbk_in_place(marked_out.data(), static_cast<int>(bytes.size()),
                                            marked_units.data(), unit_count, marks);
    marked_out.resize(static_cast<std::size_t>(marked));
    marked_units.resize(static_cast<std::size_t>(unit_count));
    ASSERT_EQ(marked_out, out) << ::testing::PrintToString(bytes);
    std::u16string read_units(out.size(), u'\0');
    GbkMarks read_marks;
    read_units.resize(static_cast<std::size_t>(
        gbk_to_wide_marked(out.data(), static_cast<int>(out.size()), read_units.data(),
                           static_cast<int>(read_units.size()), read_marks)));
    ASSERT_EQ(marked_units, read_units) << ::testing::PrintToString(bytes);
    ASSERT_EQ(marks.starts, read_marks.starts) << ::testing::PrintToString(bytes);
    ASSERT_EQ(marks.uniform, read_marks.uniform) << ::testing::PrintToString(bytes);
    ASSERT_TRUE(marks.exact);
    ASSERT_TRUE(read_marks.exact);
  }
}

TEST_F(IcuOracle, RandomUnits) {
  const char16_t picks[] = {0x0041, 0x007F, 0x0080, 0x00E9, 0x20AC, 0x3000, 0x4E2D, 0x0E01,
                            0xD83D, 0xDE00, 0xD800, 0xDFFF, 0xE000, 0xF8F5, 0xFFFD, 0xFFFF};
  std::uniform_int_distribution<int> length(1, 24);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(picks) - 1);
  std::uniform_int_distribution<int> any(1, 0xFFFF);
  for (int round = 0; round < 20000; ++round) {
    std::u16string units;
    for (int i = length(random_); i > 0; --i) {
      units += static_cast<char16_t>(round % 2 ? picks[pick(random_)] : any(random_));
    }
    for (int code_page : {code_page_utf8, code_page_gbk}) {
      ASSERT_EQ(layer_to_multibyte(code_page, units), icu_to_multibyte(code_page, units))
          << code_page << " " << ::testing::PrintToString(units);
    }
  }
}

TEST_F(IcuOracle, EveryGbkPair) {
  std::string pairs;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x01; trail <= 0xFF; ++trail) {
      pairs += static_cast<char>(lead);
      pairs += static_cast<char>(trail);
      pairs += ' ';
    }
  }
  EXPECT_EQ(layer_to_wide(code_page_gbk, pairs), icu_to_wide(code_page_gbk, pairs));
}

}  // namespace
}  // namespace kestrava::platform
