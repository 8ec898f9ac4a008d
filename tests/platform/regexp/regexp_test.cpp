#include "platform/regexp/regexp.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/codepage/codepage.h"
#include "regex/search_page.h"

namespace kestrava::platform {
namespace {

std::u16string from_utf8(std::string_view utf8) {
  if (utf8.empty())
    return {};
  std::u16string units(utf8.size(), u'\0');
  const int n = multibyte_to_wide(code_page_utf8, utf8.data(), static_cast<int>(utf8.size()),
                                  units.data(), static_cast<int>(units.size()));
  units.resize(static_cast<std::size_t>(n));
  return units;
}

enum Flags { none = 0, icase = 1, multi = 2, global = 4 };

std::unique_ptr<RegExp> make(std::u16string pattern, int flags) {
  auto re = std::make_unique<RegExp>();
  re->set_ignore_case((flags & icase) != 0);
  re->set_multiline((flags & multi) != 0);
  re->set_global((flags & global) != 0);
  re->set_pattern(std::move(pattern));
  return re;
}

using Found = std::vector<std::pair<int, std::u16string>>;

Found run(const std::u16string& pattern, int flags, const std::u16string& subject) {
  auto matches = make(pattern, flags)->execute(std::make_shared<const std::u16string>(subject));
  Found found;
  if (matches == nullptr)
    return {{-1, u"rejected"}};
  for (int i = 0; i < matches->count(); ++i) {
    const auto m = matches->item(i);
    found.emplace_back(m->first_index(), std::u16string(m->value()));
  }
  return found;
}

struct Case {
  const char* name;
  std::u16string pattern;
  int flags;
  std::u16string subject;
  Found expected;
};

const Case syntax_cases[] = {
    {"dollar_not_before_final_line_feed", u"a$", none, u"a\n", {}},
    {"dollar_at_the_end", u"a$", none, u"ba", {{1, u"a"}}},
    {"dollar_multiline_before_line_feed", u"a$", multi, u"a\nb", {{0, u"a"}}},
    {"dollar_multiline_before_carriage_return", u"a$", multi, u"xa\r\nb", {{1, u"a"}}},
    {"caret_only_at_the_start", u"^b", none, u"a\nb", {}},
    {"caret_multiline_after_crlf",
     u"^b",
     multi | global,
     u"b\r\nb\rb ab",
     {{0, u"b"}, {3, u"b"}, {5, u"b"}}},
    {"dot_not_line_feed", u"a.b", global, u"a\nb a\rb a-b", {{8, u"a-b"}}},
    {"dot_in_class_is_a_dot", u"[.]", none, u"x.", {{1, u"."}}},
    {"any_unit_with_both_spaces", u"a[\\s\\S]b", none, u"a\nb", {{0, u"a\nb"}}},
    {"space_covers_ideographic_space", u"a\\sb", none, u"a\u3000b", {{0, u"a\u3000b"}}},
    {"non_space_excludes_it", u"a\\Sb", none, u"a\u3000b", {}},
    {"unset_backreference_matches_empty", u"(a)?\\1b", none, u"b", {{0, u"b"}}},
    {"u_escape", u"\\u4E2D+", none, u"x\u4E2D\u4E2D", {{1, u"\u4E2D\u4E2D"}}},
    {"u_without_digits_is_u", u"\\u", none, u"au", {{1, u"u"}}},
    {"x_escape", u"\\x41", none, u"xA", {{1, u"A"}}},
    {"v_is_vertical_tab", u"\\v", none, u"a\x0B", {{1, u"\x0B"}}},
    {"perl_escape_is_a_letter", u"\\A\\z", none, u"xAz", {{1, u"Az"}}},
    {"control_escape", u"\\cJ", none, u"a\n", {{1, u"\n"}}},
    {"empty_class_matches_nothing", u"a[]", none, u"a", {}},
    {"negated_empty_class_matches_any", u"a[^]", none, u"a\n", {{0, u"a\n"}}},
    {"bracket_in_class_is_literal", u"[[:a]+", none, u"x[:a]", {{1, u"[:a"}}},
    {"empty_matches_advance_by_one", u"x*", global, u"ab", {{0, u""}, {1, u""}, {2, u""}}},
    {"lazy_empty_matches_advance_by_one", u"a*?", global, u"aa", {{0, u""}, {1, u""}, {2, u""}}},
    {"global_finds_every_match", u"b+", global, u"abbcb", {{1, u"bb"}, {4, u"b"}}},
    {"first_match_only_without_global", u"b+", none, u"abbcb", {{1, u"bb"}}},
    {"ignore_case", u"ABC", icase, u"xabc", {{1, u"abc"}}},
    {"case_kept_by_default", u"ABC", none, u"xabc", {}},
    {"first_index_counts_units", u"b", none, u"\u4E2D\U0001F600b", {{3, u"b"}}},
    {"lone_surrogate_in_the_subject",
     u"b",
     none,
     std::u16string(u"a\xD800"
                    u"b"),
     {{2, u"b"}}},
    {"unbalanced_parenthesis", u"(ab", none, u"ab", {{-1, u"rejected"}}},
    {"trailing_backslash", u"a\\", none, u"a", {{-1, u"rejected"}}},
    {"utf_mode_refused", u"(*UTF)a", none, u"a", {{-1, u"rejected"}}},
};

class Syntax : public ::testing::TestWithParam<Case> {};

TEST_P(Syntax, Matches) {
  const Case& c = GetParam();
  EXPECT_EQ(run(c.pattern, c.flags, c.subject), c.expected);
}

INSTANTIATE_TEST_SUITE_P(RegExp, Syntax, ::testing::ValuesIn(syntax_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SubMatches, InOrderOfOpeningParenthesesWithEmptyForUnset) {
  auto matches =
      make(u"((a)|(b))(c)?", global)->execute(std::make_shared<const std::u16string>(u"b ac"));
  ASSERT_NE(matches, nullptr);
  ASSERT_EQ(matches->count(), 2);
  const auto first = matches->item(0);
  ASSERT_EQ(first->submatch_count(), 4);
  EXPECT_EQ(first->submatch(0), u"b");
  EXPECT_EQ(first->submatch(1), u"");
  EXPECT_EQ(first->submatch(2), u"b");
  EXPECT_EQ(first->submatch(3), u"");
  EXPECT_EQ(first->submatch(4), std::nullopt);
  EXPECT_EQ(first->submatch(-1), std::nullopt);
  EXPECT_EQ(matches->item(1)->submatch(1), u"a");
  EXPECT_EQ(matches->item(1)->submatch(3), u"c");
  EXPECT_EQ(matches->item(2), std::nullopt);
  EXPECT_EQ(matches->item(-1), std::nullopt);
}

TEST(Execute, CollectionOutlivesTheExpressionAndItsOptions) {
  std::shared_ptr<const RegExpMatches> matches;
  {
    auto re = make(u"b", global);
    matches = re->execute(std::make_shared<const std::u16string>(u"abab"));
    re->set_pattern(u"(");
    EXPECT_EQ(re->execute(std::make_shared<const std::u16string>(u"x")), nullptr);
  }
  ASSERT_EQ(matches->count(), 2);
  EXPECT_EQ(matches->item(1)->value(), u"b");
  EXPECT_EQ(matches->item(1)->first_index(), 3);
}

TEST(Execute, OptionChangesTakeEffect) {
  auto re = make(u"^B", none);
  const auto subject = std::make_shared<const std::u16string>(u"a\nb");
  EXPECT_EQ(re->execute(subject)->count(), 0);
  re->set_multiline(true);
  EXPECT_EQ(re->execute(subject)->count(), 0);
  re->set_ignore_case(true);
  EXPECT_EQ(re->execute(subject)->count(), 1);
}

struct ReplaceCase {
  const char* name;
  std::u16string pattern;
  int flags;
  std::u16string subject;
  std::u16string replacement;
  std::u16string expected;
};

const ReplaceCase replace_cases[] = {
    {"every_match", u"b", global, u"abcb", u"X", u"aXcX"},
    {"first_only", u"b", none, u"abcb", u"X", u"aXcb"},
    {"no_match", u"z", global, u"abc", u"X", u"abc"},
    {"groups", u"(\\w)(\\d)", global, u"a1 b2", u"$2$1", u"1a 2b"},
    {"dollar_forms", u"b", none, u"abc", u"[$$|$&|$`|$']", u"a[$|b|a|c]c"},
    {"two_digit_group_falls_back", u"(a)", none, u"a", u"$10", u"a0"},
    {"missing_group_is_literal", u"a", none, u"a", u"$1$0$", u"$1$0$"},
    {"unset_group_is_empty", u"(x)?a", none, u"a", u"<$1>", u"<>"},
    {"empty_matches", u"x*", global, u"ab", u"-", u"-a-b-"},
};

class Replace : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(Replace, Rewrites) {
  const ReplaceCase& c = GetParam();
  EXPECT_EQ(make(c.pattern, c.flags)->replace(c.subject, c.replacement), c.expected);
}

INSTANTIATE_TEST_SUITE_P(RegExp, Replace, ::testing::ValuesIn(replace_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReplaceRejected, Fails) {
  EXPECT_EQ(make(u"(", global)->replace(u"a", u"b"), std::nullopt);
}

// Every match with its position and all its groups ("-" for an unset group).
std::vector<std::u16string> everything_found(const std::u16string& pattern, int flags,
                                             const std::u16string& subject) {
  const auto matches =
      make(pattern, flags)->execute(std::make_shared<const std::u16string>(subject));
  if (matches == nullptr)
    return {u"rejected"};
  std::vector<std::u16string> out;
  for (int i = 0; i < matches->count(); ++i) {
    const auto m = matches->item(i);
    out.push_back(std::u16string(1, static_cast<char16_t>(u'0' + m->first_index())) +
                  std::u16string(m->value()));
    for (int k = 0; k < m->submatch_count(); ++k)
      out.push_back(std::u16string(m->submatch(k).value_or(u"-")));
  }
  return out;
}

// A lazy run of any unit before a literal is compiled in a quicker form.
// Written "(?:[\s\S])*?" the same run keeps the plain form; both must find
// the same matches and groups in any subject, also where the quicker form
// does not apply.
TEST(QuickLazyRuns, FindWhatThePlainFormFinds) {
  const std::u16string patterns[] = {
      u"a([\\s\\S]*?)<b",    u"([\\s\\S]*?)<",    u"<([\\s\\S]*?)\"([\\s\\S]*?)<",
      u"x[\\s\\S]*?-",       u"([\\s\\S]*?)</b>", u"([\\s\\S]*?)<?a",
      u"([\\s\\S]*?)<{2}",   u"([\\s\\S]*?)<|a",  u"(?:([\\s\\S]*?)<)+",
      u"([\\s\\S]*?)>\\1",   u"(a[\\s\\S]*?)<",   u"[\\s\\S]*?$",
      u"[<]([\\s\\S]*?)[>]", u"\\(([\\s\\S]*?)>",
  };
  const char16_t alphabet[] = u"<>aAb\"-\n/x";
  std::mt19937 random(20261211);
  std::uniform_int_distribution<int> length(0, 30);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(alphabet) - 2);
  for (const std::u16string& pattern : patterns) {
    std::u16string plain = pattern;
    for (std::size_t at; (at = plain.find(u"[\\s\\S]*?")) != std::u16string::npos;)
      plain.replace(at, 8, u"(?:[\\s\\S])*?");
    for (int round = 0; round < 400; ++round) {
      std::u16string subject;
      for (int i = length(random); i > 0; --i)
        subject += alphabet[pick(random)];
      const int flags = global | (round % 2 ? icase : none) | (round % 3 ? multi : none);
      ASSERT_EQ(everything_found(pattern, flags, subject), everything_found(plain, flags, subject))
          << ::testing::PrintToString(pattern) << " " << ::testing::PrintToString(subject);
    }
  }
}

// Threads running the same patterns at once share their compiled code; each
// finds what one thread alone finds.
TEST(Execute, ThreadsRunTheSamePatternAtOnce) {
  const auto page = std::make_shared<const std::u16string>(from_utf8(testing::search_page(200)));
  const std::u16string pattern = from_utf8(testing::result_pattern);
  const std::vector<std::u16string> alone =
      everything_found(pattern, icase | multi | global, *page);
  ASSERT_FALSE(alone.empty());
  std::vector<std::vector<std::u16string>> found(4);
  std::vector<std::thread> threads;
  for (auto& out : found) {
    threads.emplace_back([&] {
      for (int round = 0; round < 5; ++round)
        out = everything_found(pattern, icase | multi | global, *page);
    });
  }
  for (auto& thread : threads)
    thread.join();
  for (const auto& out : found)
    EXPECT_EQ(out, alone);
}

class SearchPage : public ::testing::Test {
 protected:
  std::unique_ptr<RegExp> result_ =
      make(from_utf8(testing::result_pattern), icase | multi | global);
};

TEST_F(SearchPage, ResultPatternFindsEveryEntryWithItsGroups) {
  const auto page = std::make_shared<const std::u16string>(from_utf8(testing::search_page(1000)));
  const auto matches = result_->execute(page);
  ASSERT_NE(matches, nullptr);
  ASSERT_EQ(matches->count(), 1000);
  const auto m = matches->item(4);
  EXPECT_EQ(m->submatch(0), from_utf8("\xE6\x9B\xB4\xE6\x96\xB0\xE8\x87\xB3"
                                      "5\xE9\x9B\x86"));
  EXPECT_EQ(m->submatch(1), u"/movie/5.html");
  EXPECT_EQ(m->submatch(2),
            u"\u7535\u5F71"
            u"5");
  EXPECT_EQ(m->submatch(3), u"\u5F20\u4E09,\u674E\u56DB,Tom Hanks");
  EXPECT_EQ(matches->item(7)->submatch(3),
            u"\u5F20\u4E09,\u674E\u56DB,Tom Hanks\r\n\u738B\u4E94\r\nJane Doe");
}

// A real entry with a long, many-line cast must not reach the match limit.
TEST_F(SearchPage, LongEntriesAreNotCutShort) {
  std::string page = testing::page_head();
  for (std::size_t i = 0; i < 16; ++i) {
    testing::Entry e = testing::numbered_entry(i);
    for (int line = 0; line < 2000; ++line)
      e.cast += "<br>\r\n\xE5\xBC\xA0\xE4\xB8\x89 " + std::to_string(line);
    page += testing::entry_markup(e);
  }
  const auto matches = result_->execute(std::make_shared<const std::u16string>(from_utf8(page)));
  ASSERT_NE(matches, nullptr);
  EXPECT_EQ(matches->count(), 16);
}

// A cast with more tags than the quick form of a lazy run has stack for is
// still found whole: that search is made again in the plain form.
TEST_F(SearchPage, CastsOfManyTagsAreFoundWhole) {
  for (const char* tag : {"</span>", "<br>x"}) {
    SCOPED_TRACE(tag);
    testing::Entry e = testing::numbered_entry(0);
    e.cast.clear();
    while (e.cast.size() < (512u << 10))
      e.cast += tag;
    const std::string page = testing::page_head() + testing::entry_markup(e) +
                             testing::entry_markup(testing::numbered_entry(1));
    const auto matches = result_->execute(std::make_shared<const std::u16string>(from_utf8(page)));
    ASSERT_NE(matches, nullptr);
    ASSERT_EQ(matches->count(), 2);
    EXPECT_EQ(matches->item(0)->submatch(3), from_utf8(e.cast));
    EXPECT_EQ(matches->item(1)->submatch(1), u"/movie/2.html");
  }
}

// The near-match page would take seconds without the bound; with it the
// search ends and keeps the match found before the page turned hostile.
TEST_F(SearchPage, NearMatchesEndAtTheLimit) {
  const std::string page =
      testing::entry_markup(testing::numbered_entry(0)) + testing::near_match_page(1 << 20);
  const auto matches = result_->execute(std::make_shared<const std::u16string>(from_utf8(page)));
  ASSERT_NE(matches, nullptr);
  ASSERT_EQ(matches->count(), 1);
  EXPECT_EQ(matches->item(0)->submatch(1), u"/movie/1.html");
}

TEST_F(SearchPage, PosterPatternAcrossLetterCase) {
  std::string page = testing::search_page(3);
  for (auto at = page.find("data-original"); at != std::string::npos;
       at = page.find("data-original", at))
    page.replace(at, 13, "DATA-ORIGINAL");
  auto poster = make(from_utf8(testing::poster_pattern), icase | multi | global);
  const auto matches = poster->execute(std::make_shared<const std::u16string>(from_utf8(page)));
  ASSERT_EQ(matches->count(), 3);
  EXPECT_EQ(matches->item(2)->submatch(0), u"https://img.example.com/upload/vod/3.jpg");
}

}  // namespace
}  // namespace kestrava::platform
