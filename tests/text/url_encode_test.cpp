#include "text/url_encode.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrava {
namespace {

struct Case {
  const char* name;
  std::string text;
  bool keep_plain;
  bool as_utf8;
  std::string encoded;
};

const Case cases[] = {
    {"empty", "", false, false, ""},
    {"empty_as_utf8", "", true, true, ""},
    {"letters_encoded", "ab", false, false, "%61%62"},
    {"space", " ", false, false, "%20"},
    {"gbk_bytes", "\xD6\xD0", false, false, "%D6%D0"},
    {"utf8_of_chinese", "\xD6\xD0", false, true, "%E4%B8%AD"},
    {"keyword_as_the_search_sends_it", "a1\xD6\xD0", false, true, "%61%31%E4%B8%AD"},
    {"padded_below_0x10", "\t\n", false, false, "%09%0A"},
    {"upper_case_hex", "\xAB", false, false, "%AB"},
    {"plain_set_kept", "a-b.c/d_e~f g", true, false, "a-b.c%2Fd%5Fe%7Ef%20g"},
    {"plain_unchanged", "A9z", true, false, "A9z"},
    {"plain_with_utf8", "x\xD6\xD0", true, true, "x%E4%B8%AD"},
};

class UrlEncode : public ::testing::TestWithParam<Case> {};

TEST_P(UrlEncode, Encodes) {
  const Case& c = GetParam();
  EXPECT_EQ(url_encode(Text(c.text), c.keep_plain, c.as_utf8).str(), c.encoded);
}

INSTANTIATE_TEST_SUITE_P(Text, UrlEncode, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UrlEncodeDefaults, EncodeEveryByteOfTheGbkForm) {
  EXPECT_EQ(url_encode(Text("a\xD6\xD0")).str(), "%61%D6%D0");
}

}  // namespace
}  // namespace kestrava
