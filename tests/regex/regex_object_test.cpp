#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include <string>

#include "regex/search_page.h"
#include "text/codepage.h"
#include "text/literal.h"

namespace kestrava {
namespace {

using namespace kestrava::literals;

Text gbk_page(const std::string& utf8) {
  return utf8_to_gbk(Text(utf8));
}

struct CreateCase {
  const char* name;
  Text pattern;
  Text subject;
  bool case_sensitive;
  bool expand_quotes;
  bool accepted;
  int count;
  Text first;
};

// Options other than case_sensitive and expand_quotes left at their defaults.
const CreateCase create_cases[] = {
    {"no_match", "xyz", "abc", false, false, true, 0, ""},
    {"unbalanced_parenthesis", "(ab", "ab", false, false, false, 0, ""},
    {"ignores_case_by_default", "ABC", "xabc", false, false, true, 1, "abc"},
    {"case_sensitive", "ABC", "xabc", true, false, true, 0, ""},
    {"global_by_default", "b", "abcb", false, false, true, 2, "b"},
    {"multiline_by_default", "^b$", "a\r\nb\r\nc", false, false, true, 1, "b"},
    {"quote_marker_expanded", Text("x=#\xD2\xFD\xBA\xC5(\\w+)#\xD2\xFD\xBA\xC5"), "x=\"ab\"", false,
     true, true, 1, "x=\"ab\""},
    {"quote_marker_kept_without_expansion", Text("x=#\xD2\xFD\xBA\xC5"), "x=\"ab\"", false, false,
     true, 0, ""},
    {"chinese_pattern", "\xD6\xD0+", "a\xD6\xD0\xD6\xD0", false, false, true, 1,
     "\xD6\xD0\xD6\xD0"},
};

class Create : public ::testing::TestWithParam<CreateCase> {};

TEST_P(Create, Results) {
  const CreateCase& c = GetParam();
  RegexObject re;
  EXPECT_EQ(re.create(c.pattern, c.subject, c.case_sensitive, true, true, c.expand_quotes),
            c.accepted);
  EXPECT_EQ(re.match_count(), c.count);
  EXPECT_EQ(re.match_text(1), c.first);
}

INSTANTIATE_TEST_SUITE_P(RegexObject, Create, ::testing::ValuesIn(create_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RegexObject, NewObjectHasNothing) {
  RegexObject re;
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_EQ(re.submatch_count(), 0);
  EXPECT_EQ(re.match_text(1), Text());
  EXPECT_EQ(re.current_pattern(), Text());
  EXPECT_EQ(re.replace("x"), Text());
}

TEST(RegexObject, CurrentPatternHasPlainQuotes) {
  RegexObject re;
  re.create(Text("a#\xD2\xFD\xBA\xC5#\xD2\xFD\xBA\xC5\xD6\xD0"), "", false, true, true, true);
  EXPECT_EQ(re.current_pattern(), Text("a\"\"\xD6\xD0"));
}

TEST(RegexObject, SecondCreateReplacesEveryResult) {
  RegexObject re;
  ASSERT_TRUE(re.create("(a)(b)", "ab ab ab"));
  ASSERT_EQ(re.match_count(), 3);
  ASSERT_TRUE(re.create("c", "xc"));
  EXPECT_EQ(re.match_count(), 1);
  EXPECT_EQ(re.match_text(1), Text("c"));
  EXPECT_EQ(re.match_text(2), Text());
  EXPECT_EQ(re.submatch_count(), 0);
  EXPECT_EQ(re.current_pattern(), Text("c"));
  EXPECT_FALSE(re.create("(", "xc"));
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_EQ(re.match_text(1), Text());
}

TEST(RegexObject, SecondCreateOverTheSameOrAnEqualLengthSubject) {
  RegexObject re;
  ASSERT_TRUE(re.create("(b+)", "abbc"));
  // Same subject, new pattern: the results are the new pattern's.
  ASSERT_TRUE(re.create("(c)", "abbc"));
  EXPECT_EQ(re.submatch_text(1, 1), Text("c"));
  // A subject of the same length but other bytes is a new subject.
  ASSERT_TRUE(re.create("(c)", "abcc"));
  EXPECT_EQ(re.match_count(), 2);
  int offset = 0;
  EXPECT_EQ(re.match_text(1, &offset), Text("c"));
  EXPECT_EQ(offset, 2);
}

TEST(RegexObject, NumbersOutOfRangeGiveEmpty) {
  RegexObject re;
  re.create("(a)(x)?", "a a");
  EXPECT_EQ(re.submatch_text(2, 1), Text("a"));
  EXPECT_EQ(re.submatch_text(2, 2), Text()) << "a group that took no part";
  for (const auto& [n, k] : {std::pair{0, 1},
                             {3, 1},
                             {-1, 1},
                             {1, 0},
                             {1, 3},
                             {1, -5},
                             {INT_MIN, INT_MIN},
                             {INT_MAX, INT_MAX}}) {
    EXPECT_EQ(re.submatch_text(n, k), Text()) << n << "," << k;
  }
  EXPECT_EQ(re.match_text(INT_MIN), Text());
}

struct OffsetCase {
  const char* name;
  Text subject;
  Text pattern;
  int n;
  int k;
  Text text;
  int offset;
};

const OffsetCase offset_cases[] = {
    {"single_byte_subject", "0123456789match", "match", 1, 0, "match", 10},
    // Two double-byte characters first: the match is at character 10 and at
    // byte 12.
    {"double_byte_characters_first",
     "\xD6\xD0\xCE\xC4"
     "abcdefghmatch",
     "match", 1, 0, "match", 12},
    {"ignore_case_search", "xxxxMATCH", "match", 1, 0, "MATCH", 4},
    {"submatch_from_the_match",
     "\xD6\xD0"
     "ab=cd ab=cd",
     "ab=(cd)", 2, 1, "cd", 11},
    {"no_such_match_in_a_subject", "abc", "z", 1, 0, "", 0},
    {"no_such_match_in_an_empty_subject", "", "z", 1, 0, "", -2},
};

class Offset : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(Offset, IsTheBytePosition) {
  const OffsetCase& c = GetParam();
  RegexObject re;
  re.create(c.pattern, c.subject);
  int offset = 999;
  const Text text = c.k == 0 ? re.match_text(c.n, &offset) : re.submatch_text(c.n, c.k, &offset);
  EXPECT_EQ(text, c.text);
  EXPECT_EQ(offset, c.offset);
}

INSTANTIATE_TEST_SUITE_P(RegexObject, Offset, ::testing::ValuesIn(offset_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RegexObject, ReplaceUsesTheStoredSubjectAndOptions) {
  RegexObject re;
  re.create("(\\w)=(\\w)", "a=b, C=D");
  EXPECT_EQ(re.replace("$2:$1"), Text("b:a, D:C"));
  re.create("(\\w)=(\\w)", "a=b, C=D", false, true, false);
  EXPECT_EQ(re.replace("\xD6\xD0"), Text("\xD6\xD0, C=D"));
  re.create("(", "abc");
  EXPECT_EQ(re.replace("x"), Text());
}

TEST(RegexObject, CopySharesTheResultsAndOutlivesTheSource) {
  RegexObject copy;
  {
    RegexObject re;
    re.create("b(\\d)", "b1 b2");
    copy = re.copy();
    re.release();
    EXPECT_EQ(re.match_count(), 0);
    EXPECT_EQ(re.current_pattern(), Text());
  }
  EXPECT_EQ(copy.match_count(), 2);
  EXPECT_EQ(copy.submatch_text(2, 1), Text("2"));
  EXPECT_EQ(copy.current_pattern(), Text("b(\\d)"));
}

class SearchPage : public ::testing::Test {
 protected:
  const Text result_pattern{testing::result_pattern};
  const Text poster_pattern{testing::poster_pattern};

  // The rows as the search worker reads them: sub-matches 1, 3, 2, 4.
  static std::vector<std::vector<Text>> rows(const RegexObject& re) {
    std::vector<std::vector<Text>> out;
    for (int n = 1; n <= re.match_count(); ++n) {
      out.push_back({re.submatch_text(n, 1), re.submatch_text(n, 3), re.submatch_text(n, 2),
                     re.submatch_text(n, 4)});
    }
    return out;
  }
};

TEST_F(SearchPage, TwoEntriesGiveTheirColumnsAndPosters) {
  testing::Entry first{"HD", "/movie/1.html", "A", "B", "/p/1.jpg"};
  testing::Entry second{"\xE8\x93\x9D\xE5\x85\x89", "/movie/2.html", "\xE7\x94\xB5\xE5\xBD\xB1",
                        "\xE5\xBC\xA0\xE4\xB8\x89", "/p/2.jpg"};
  const Text page = gbk_page(testing::page_head() + testing::entry_markup(first) +
                             testing::entry_markup(second) + testing::page_tail());
  RegexObject re;
  ASSERT_TRUE(re.create(result_pattern, page));
  EXPECT_EQ(re.submatch_count(), 4);
  const std::vector<std::vector<Text>> expected = {
      {"HD", "A", "/movie/1.html", "B"},
      {"\xC0\xB6\xB9\xE2", "\xB5\xE7\xD3\xB0", "/movie/2.html", "\xD5\xC5\xC8\xFD"}};
  EXPECT_EQ(rows(re), expected);

  ASSERT_TRUE(re.create(poster_pattern, page));
  ASSERT_EQ(re.match_count(), 2);
  EXPECT_EQ(re.submatch_text(1, 1), Text("/p/1.jpg"));
  EXPECT_EQ(re.submatch_text(2, 1), Text("/p/2.jpg"));
}

TEST_F(SearchPage, CastAcrossLinesAndMarkupInAnotherLetterCase) {
  testing::Entry e{"HD", "/movie/9.html", "Nine", "line one\r\nline two\nthree", "/p/9.jpg"};
  std::string markup = testing::entry_markup(e);
  markup.replace(markup.find("text-white fed-text-center"), 26, "TEXT-WHITE FED-TEXT-CENTER");
  markup.replace(markup.find("</span></li>"), 12, "</SPAN></LI>");
  RegexObject re;
  re.create(result_pattern, gbk_page(testing::page_head() + markup));
  ASSERT_EQ(re.match_count(), 1);
  EXPECT_EQ(re.submatch_text(1, 4), Text("line one\r\nline two\nthree"));
}

TEST_F(SearchPage, ThousandEntries) {
  RegexObject re;
  re.create(result_pattern, gbk_page(testing::search_page(1000)));
  ASSERT_EQ(re.match_count(), 1000);
  EXPECT_EQ(re.submatch_text(1000, 2), Text("/movie/1000.html"));
  EXPECT_EQ(re.submatch_text(1000, 3), utf8_to_gbk("\xE7\x94\xB5\xE5\xBD\xB1"
                                                   "1000"));
}

// The worker hands the page over read straight from UTF-8; the results, the
// offsets and the second pattern over the shared page are those of the Text.
TEST_F(SearchPage, APageReadFromUtf8GivesWhatItsTextGives) {
  testing::Entry odd{"\xF0\x9F\x98\x80 HD", "/movie/x.html", "\xC2\xAD\xE4\xB8\xAD",
                     "bad \x80\xFF bytes", "/p/x.jpg"};
  const std::string utf8 = testing::search_page(40) + testing::entry_markup(odd);
  const auto page = std::make_shared<const TextUnits>(TextUnits::from_utf8(Text(utf8)));
  RegexObject from_text;
  RegexObject shared;
  ASSERT_TRUE(from_text.create(result_pattern, gbk_page(utf8)));
  ASSERT_TRUE(shared.create(result_pattern, page));
  ASSERT_EQ(shared.match_count(), 41);
  EXPECT_EQ(rows(shared), rows(from_text));
  for (int n : {1, 20, 41}) {
    int offset = 0;
    int expected = 0;
    EXPECT_EQ(shared.match_text(n, &offset), from_text.match_text(n, &expected));
    EXPECT_EQ(offset, expected);
  }
  ASSERT_TRUE(from_text.create(poster_pattern, gbk_page(utf8)));
  ASSERT_TRUE(shared.create(poster_pattern, page));
  ASSERT_EQ(shared.match_count(), from_text.match_count());
  EXPECT_EQ(shared.submatch_text(41, 1), Text("/p/x.jpg"));
}

TEST_F(SearchPage, NearMatchPageEndsWithTheMatchesBeforeIt) {
  const std::string utf8 = testing::search_page(2) + testing::near_match_page(1 << 20);
  RegexObject re;
  EXPECT_TRUE(re.create(result_pattern, gbk_page(utf8)));
  EXPECT_EQ(re.match_count(), 2);
  EXPECT_EQ(re.submatch_text(2, 2), Text("/movie/2.html"));
}

}  // namespace
}  // namespace kestrava
