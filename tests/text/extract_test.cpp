#include "text/extract.h"

#include <gtest/gtest.h>

#include <string>

#include "text/literal.h"

namespace kestrava {
namespace {

using namespace literals;

struct BetweenCase {
  const char* name;
  std::string text;
  std::string left;
  std::string right;
  int start;
  bool ignore_case;
  std::string expected;
};

class TakeBetween : public ::testing::TestWithParam<BetweenCase> {};

TEST_P(TakeBetween, GivesTheBytesBetweenTheMarkers) {
  const auto& c = GetParam();
  const auto s = [](const std::string& v) { return Text(std::string_view(v)); };
  EXPECT_EQ(take_between(s(c.text), s(c.left), s(c.right), c.start, c.ignore_case), s(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Extract, TakeBetween,
    ::testing::Values(
        BetweenCase{"simple", "a<b>c", "<", ">", 0, false, "b"},
        BetweenCase{"right_missing", "a<b>c", "<", "x", 0, false, ""},
        BetweenCase{"left_missing", "a<b>c", "x", ">", 0, false, ""},
        BetweenCase{"adjacent_markers", "a<>c", "<", ">", 0, false, ""},
        BetweenCase{"first_left_nearest_right", "<1><2>", "<", ">", 0, false, "1"},
        BetweenCase{"right_only_before_left", ">a<b", "<", ">", 0, false, ""},
        BetweenCase{"left_at_end", "ab<", "<", ">", 0, false, ""},
        BetweenCase{"overlapping_markers", "aXYb", "XY", "Yb", 0, false, ""},
        BetweenCase{"empty_right", "a<b>c", "<", "", 0, false, ""},
        BetweenCase{"empty_left", "ab>c", "", ">", 0, false, "ab"},
        BetweenCase{"from_start", "<1><2>", "<", ">", 2, false, "2"},
        BetweenCase{"ignore_case", "User-Agent: x\r\n", "user-agent:", "\r\n", 0, true, " x"},
        BetweenCase{"case_matters", "User-Agent: x\r\n", "user-agent:", "\r\n", 0, false, ""},
        BetweenCase{"address_list",
                    "<script>var GvodUrls1 = \"a$b###c$d\";echoDown(GvodUrls1,0)</script>",
                    "var GvodUrls1 = \"", "\";echoDown(GvodUrls1,0)", 0, false, "a$b###c$d"},
        BetweenCase{"first_of_two_left_markers", "L=1;L=2;", "L=", ";", 0, false, "1"},
        // 0xBC is the second byte of D6 BC: never a marker start.
        BetweenCase{"marker_not_inside_character", "\xD6\xBCx>\xBCy>", "\xBC", ">", 0, false, "y"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TakeBetween, QuoteMarkerStandsForADoubleQuote) {
  const Text marker = text_concat("x=", "#引号"_gbk);
  EXPECT_EQ(take_between("a x=\"v\" b", marker, "#引号"_gbk), Text("v"));
  // The five bytes of the marker in the text itself are not a quote.
  EXPECT_EQ(take_between(text_concat("x=", "#引号"_gbk, "v\""), marker, "\""), Text());
}

}  // namespace
}  // namespace kestrava
