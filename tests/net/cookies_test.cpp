#include "net/cookies.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "text/literal.h"

namespace kestrava {

void PrintTo(const Text& text, std::ostream* out) {
  *out << '"' << text.view() << '"';
}

namespace {

using namespace literals;

struct MergeCase {
  const char* name;
  Text sent;
  Text set;
  Text merged;
  Text set_after;  // returned_cookies after the call
};

class MergeCookies : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeCookies, WritesTheMergedLineIntoBothPlaces) {
  const MergeCase& c = GetParam();
  Text cookies = c.sent;
  Text returned = c.set;
  EXPECT_EQ(merge_cookies(cookies, returned), c.merged);
  EXPECT_EQ(cookies, c.merged);
  EXPECT_EQ(returned, c.set_after);
}

INSTANTIATE_TEST_SUITE_P(
    Cookies, MergeCookies,
    ::testing::Values(
        MergeCase{"set_replaces_sent_by_name", "a=1; b=2", "b=3", "b=3; a=1", "b=3"},
        MergeCase{"deleted_disappears", "a=1", "a=deleted", "", "a=deleted"},
        MergeCase{"nothing_set", "a=1", "", "a=1", ""},
        MergeCase{"nothing_sent", "", "x=1", "x=1", "x=1"},
        MergeCase{"first_of_a_sent_name_wins", "a=1;a=2", "", "a=1", ""},
        MergeCase{"exact_repeat_dropped", "", "c=1; c=1", "c=1", "c=1;c=1"},
        MergeCase{"same_name_both_kept_when_set", "", "c=1; c=2", "c=1; c=2", "c=1;c=2"},
        MergeCase{"spaces_removed", "a = 1; b=x y", "", "a=1; b=xy", ""},
        MergeCase{"ideographic_spaces_removed",
                  "a=\xA1\xA1"
                  "1",
                  "", "a=1", ""},
        MergeCase{"names_keep_letter_case", "name=2", "Name=1", "Name=1; name=2", "Name=1"},
        MergeCase{"upper_case_deleted_stays", "", "a=DELETED", "a=DELETED", "a=DELETED"},
        MergeCase{"empty_lines", "", "", "", ""},
        MergeCase{"empty_entries_between_separators", "a=1;;b=2", "", "a=1; ; b=2", ""},
        MergeCase{"trailing_separator", "a=1;", "b=2;", "b=2; a=1", "b=2;"},
        MergeCase{"entry_without_value", "flag", "flag=1", "flag=1", "flag=1"},
        MergeCase{"chinese_value_and_space", "名=中　文"_gbk, "", "名=中文"_gbk, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CookieName, IsTheTrimmedTextBeforeTheFirstEquals) {
  EXPECT_EQ(cookie_name(" a =1=2"), Text("a"));
  EXPECT_EQ(cookie_name("flag"), Text("flag"));
  EXPECT_EQ(cookie_name("=1"), Text(""));
}

TEST(CookieEntries, AreFoundByExactNameAndText) {
  const TextArray entries{"a=1", "B=2", "a=3"};
  EXPECT_TRUE(has_cookie_name(entries, "B"));
  EXPECT_FALSE(has_cookie_name(entries, "b"));
  EXPECT_FALSE(has_cookie_name(TextArray{}, ""));
  EXPECT_EQ(entry_index(entries, "a=3"), 3);
  EXPECT_EQ(entry_index(entries, "a=2"), -1);
}

TEST(RemoveDuplicateEntries, KeepsTheFirstOfEachPiece) {
  EXPECT_EQ(remove_duplicate_entries("a; b; a; c; b", "; "), Text("a; b; c"));
  EXPECT_EQ(remove_duplicate_entries("x,,y,", ","), Text("x,,y"));
  EXPECT_EQ(remove_duplicate_entries("", "; "), Text(""));
}

// A response may set thousands of cookies; the merge must stay linear.
TEST(MergeCookies, ManyCookiesAreMergedWhole) {
  std::string set;
  for (int i = 0; i < 20000; ++i) {
    set += "c" + std::to_string(i) + "=v;";
  }
  Text cookies = "c5=old; z=1";
  Text returned{std::string_view(set)};
  const std::string merged(merge_cookies(cookies, returned).view());
  EXPECT_EQ(merged.substr(0, 17), "c0=v; c1=v; c2=v;");
  EXPECT_EQ(merged.substr(merged.size() - 13), "c19999=v; z=1");
  EXPECT_EQ(merged.find("old"), std::string::npos);
}

}  // namespace
}  // namespace kestrava
