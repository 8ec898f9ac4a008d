#include "platform/codepage/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace kestrava::platform {
namespace {

// Converts the whole counted source the way callers do: query, then convert.
std::u16string to_wide(int code_page, const std::string& bytes) {
  const int n =
      multibyte_to_wide(code_page, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  const int written =
      multibyte_to_wide(code_page, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  EXPECT_EQ(written, n);
  return out;
}

std::string to_multibyte(int code_page, const std::u16string& units) {
  const int n =
      wide_to_multibyte(code_page, units.data(), static_cast<int>(units.size()), nullptr, 0);
  std::string out(static_cast<std::size_t>(n), '\0');
  const int written =
      wide_to_multibyte(code_page, units.data(), static_cast<int>(units.size()), out.data(), n);
  EXPECT_EQ(written, n);
  return out;
}

struct Case {
  const char* name;
  int code_page;
  std::string bytes;
  std::u16string units;
};

// Both directions hold for these.
const Case round_trips[] = {
    {"ascii_gbk", 936, "<a href=\"/x\">", u"<a href=\"/x\">"},
    {"ascii_utf8", 65001, "plain text", u"plain text"},
    {"chinese_gbk", 936, "\xD6\xD0", u"\u4E2D"},
    {"chinese_utf8", 65001, "\xE4\xB8\xAD", u"\u4E2D"},
    {"ansi_is_gbk", 0, "a\xD6\xD0z", u"a\u4E2Dz"},
    {"euro_gbk", 936, "\x80", u"\u20AC"},
    {"euro_utf8", 65001, "\xE2\x82\xAC", u"\u20AC"},
    {"ideographic_space", 936, "\xA1\xA1", u"\u3000"},
    // A trail byte in the ASCII range must not be taken for ASCII.
    {"ascii_trail_byte", 936, "\x81\x40x", u"\u4E02x"},
    {"emoji_utf8", 65001, "\xF0\x9F\x98\x80", u"\U0001F600"},
    {"zero_inside_counted", 936, std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
};

class RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RoundTrip, BothDirections) {
  const Case& c = GetParam();
  EXPECT_EQ(to_wide(c.code_page, c.bytes), c.units);
  EXPECT_EQ(to_multibyte(c.code_page, c.units), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Codepage, RoundTrip, ::testing::ValuesIn(round_trips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MultibyteToWide, InvalidUtf8BecomesReplacementAndTheRestStays) {
  EXPECT_EQ(to_wide(65001,
                    "a\xC3"
                    "a"),
            u"a\uFFFDa");
  EXPECT_EQ(to_wide(65001, "x\xFFy\xE4\xB8\xAD"), u"x\uFFFDy\u4E2D");
  EXPECT_EQ(to_wide(65001, "\xE4\xB8"), u"\uFFFD");
}

TEST(MultibyteToWide, InvalidGbkPairInsideARunKeepsItsNeighbours) {
  EXPECT_EQ(to_wide(936, "\xD6\xD0\x81\x20\xD6\xD0"), u"\u4E2D\uFFFD \u4E2D");
  EXPECT_EQ(to_wide(936, "\xD6\xD0\xFF\xD6\xD0"), u"\u4E2D\uF8F5\u4E2D");
}

TEST(MultibyteToWide, LoneGbkLeadByteAtTheEnd) {
  EXPECT_EQ(to_wide(936, "ab\x81"), u"ab\uFFFD");
}

TEST(WideToMultibyte, UnmappableBecomesQuestionMark) {
  EXPECT_EQ(to_multibyte(936, u"a\U0001F600b"), "a?b");
  EXPECT_EQ(to_multibyte(936, u"\u0E01\u4E2D"), "?\xD6\xD0");
  EXPECT_EQ(to_multibyte(936, std::u16string(u"x\xD800y")), "x?y");
}

TEST(WideToMultibyte, LoneSurrogateBecomesReplacementInUtf8) {
  EXPECT_EQ(to_multibyte(65001, std::u16string(u"x\xDC00")), "x\xEF\xBF\xBD");
}

TEST(Terminated, CountsAndWritesTheTerminator) {
  EXPECT_EQ(multibyte_to_wide(65001, "abc", -1, nullptr, 0), 4);
  char16_t wide[8];
  std::fill(std::begin(wide), std::end(wide), u'#');
  ASSERT_EQ(multibyte_to_wide(65001, "abc", -1, wide, 8), 4);
  EXPECT_EQ(std::u16string(wide, 5), std::u16string(u"abc\0#", 5));

  EXPECT_EQ(wide_to_multibyte(936, u"\u4E2D", -1, nullptr, 0), 3);
  char narrow[8] = "#######";
  ASSERT_EQ(wide_to_multibyte(936, u"\u4E2D", -1, narrow, 8), 3);
  EXPECT_EQ(std::string(narrow, 4), std::string("\xD6\xD0\0#", 4));

  EXPECT_EQ(multibyte_to_wide(936, "", -1, wide, 8), 1);
  EXPECT_EQ(wide[0], u'\0');

  std::fill(std::begin(narrow), std::end(narrow), '#');
  ASSERT_EQ(utf8_to_gbk("a\xE4\xB8\xAD", -1, narrow, 8), 4);
  EXPECT_EQ(std::string(narrow, 5), std::string("a\xD6\xD0\0#", 5));
}

TEST(Failure, AnswersZero) {
  char16_t wide[4];
  char narrow[4];
  EXPECT_EQ(multibyte_to_wide(1252, "abc", -1, wide, 4), 0) << "unknown code page";
  EXPECT_EQ(multibyte_to_wide(65001, nullptr, -1, wide, 4), 0) << "no source";
  EXPECT_EQ(multibyte_to_wide(65001, "abc", 0, wide, 4), 0) << "empty counted source";
  EXPECT_EQ(multibyte_to_wide(65001, "abc", -2, wide, 4), 0);
  EXPECT_EQ(multibyte_to_wide(65001, "abcd", -1, wide, 4), 0) << "no room for the terminator";
  EXPECT_EQ(multibyte_to_wide(936,
                              "a\xD6\xD0"
                              "bcd",
                              -1, wide, 4),
            0);
  EXPECT_EQ(wide_to_multibyte(936, u"\u4E2D\u4E2D", -1, narrow, 4), 0);
  EXPECT_EQ(wide_to_multibyte(65001, u"\u4E2D\u4E2D", 2, narrow, 4), 0);
  EXPECT_EQ(wide_to_multibyte(936, u"ab", -1, nullptr, 4), 0) << "size without a buffer";
  EXPECT_EQ(utf8_to_gbk("\xE4\xB8\xAD\xE4\xB8\xAD", 6, narrow, 3), 0) << "no room";
  EXPECT_EQ(utf8_to_gbk(nullptr, -1, narrow, 4), 0) << "no source";
}

TEST(Threads, ConvertAtTheSameTime) {
  std::string page;
  std::u16string expected;
  for (int i = 0; i < 2000; ++i) {
    page += "<li>\xD6\xD0\x80 ";
    expected += u"<li>\u4E2D\u20AC ";
  }
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (std::size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round) {
        if (to_wide(936, page) != expected || to_multibyte(936, expected) != page)
          ++failures[t];
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  for (int f : failures)
    EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace kestrava::platform
