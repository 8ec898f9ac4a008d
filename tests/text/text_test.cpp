#include "text/text.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace kestrava {
namespace {

// Two-byte characters of code page 936 used below: 中 is D6 D0, 文 is CE C4,
// the ideographic space is A1 A1, full-width 8 and 0 are A3 B8 and A3 B0.
constexpr const char* zhong = "\xD6\xD0";
constexpr const char* wen = "\xCE\xC4";
constexpr const char* wide_space = "\xA1\xA1";

Text raw(const std::string& s) {
  return Text(std::string_view(s));
}

TEST(TextValue, KeepsTheBytesBeforeTheFirstZero) {
  EXPECT_EQ(Text(std::string_view("a\0b", 3)), Text("a"));
  EXPECT_EQ(Text(std::string("ab\0c", 4)), Text("ab"));
  EXPECT_EQ(bytes_to_text(Bytes(std::string_view("\x61\x00\x62", 3))), Text("a"));
  EXPECT_EQ(Text(static_cast<const char*>(nullptr)), Text());
  EXPECT_EQ(bytes_to_text(Bytes()), Text());
}

TEST(TextValue, BytesMayHoldZeros) {
  const Bytes b(std::string_view("a\0b", 3));
  EXPECT_EQ(bytes_length(b), 3);
  EXPECT_EQ(b.at(2), 0);
  EXPECT_EQ(b.at(3), 'b');
  EXPECT_EQ(bytes_length(Bytes(nullptr, 5)), 0);
}

TEST(TextValue, CopiesAreIndependent) {
  Text a("abc");
  Text b = a;
  a = text_concat(a, "d");
  EXPECT_EQ(b, Text("abc"));
  EXPECT_EQ(a, Text("abcd"));
}

// --- cutting ---------------------------------------------------------------------

struct CutCase {
  const char* name;
  Text result;
  const char* expected;
};

class Cutting : public ::testing::TestWithParam<CutCase> {};

TEST_P(Cutting, GivesTheExpectedBytes) {
  EXPECT_EQ(GetParam().result, Text(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Text, Cutting,
    ::testing::Values(
        CutCase{"mid_inside", text_mid("abcdef", 3, 2), "cd"},
        CutCase{"mid_cut_at_end", text_mid("abc", 3, 10), "c"},
        CutCase{"mid_past_end", text_mid("abc", 4, 1), ""},
        CutCase{"mid_from_zero", text_mid("abc", 0, 2), ""},
        CutCase{"mid_count_zero", text_mid("abc", 1, 0), ""},
        CutCase{"left_zero", text_left("abc", 0), ""},
        CutCase{"left_negative", text_left("abc", -3), ""},
        CutCase{"left_more_than_length", text_left("abc", 10), "abc"},
        CutCase{"right_negative", text_right("abc", -1), ""},
        CutCase{"right_two", text_right("abc", 2), "bc"},
        CutCase{"right_more_than_length", text_right("abc", 9), "abc"},
        CutCase{"part_inside", Text("abcdef").part(2, 3), "cde"},
        CutCase{"part_cut_at_end", Text("abc").part(1, 10), "bc"},
        CutCase{"part_at_end", Text("abc").part(3, 1), ""},
        CutCase{"part_past_end", Text("abc").part(7, 1), ""},
        // Cutting counts bytes and may split a two-byte character.
        CutCase{"left_splits_character", text_left(raw(std::string(zhong) + "a"), 1), "\xD6"},
        CutCase{"concat_three", text_concat("a", "", "bc"), "abc"},
        CutCase{"char_text_a", char_text(0x61), "a"}, CutCase{"char_text_zero", char_text(0), ""},
        CutCase{"char_text_high", char_text(0xAB), "\xAB"},
        CutCase{"blank_three", blank_text(3), "   "}, CutCase{"blank_zero", blank_text(0), ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextCompare, IsBytewiseUnsignedAndCaseSensitive) {
  EXPECT_EQ(text_compare("", Text()), 0);
  EXPECT_EQ(text_compare("a", "b"), -1);
  EXPECT_EQ(text_compare("b", "a"), 1);
  EXPECT_EQ(text_compare("a", "A"), 1);
  EXPECT_EQ(text_compare("ab", "a"), 1);
  EXPECT_EQ(text_compare("\x7F", "\x80"), -1);  // unsigned: 0x80 sorts after 0x7F
}

// --- searching ---------------------------------------------------------------------

struct FindCase {
  const char* name;
  std::string text;
  std::string needle;
  int start;
  bool ignore_case;
  int expected;
};

class FindText : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindText, FindsTheFirstMatchAtACharacterStart) {
  const auto& c = GetParam();
  EXPECT_EQ(find_text(raw(c.text), raw(c.needle), c.start, c.ignore_case), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Text, FindText,
    ::testing::Values(FindCase{"first", "abcabc", "c", 0, false, 3},
                      FindCase{"from_four", "abcabc", "c", 4, false, 6},
                      FindCase{"start_past_end", "abcabc", "c", 7, false, -1},
                      FindCase{"start_at_match", "abcabc", "c", 3, false, 3},
                      FindCase{"start_negative", "abcabc", "c", -5, false, 3},
                      FindCase{"absent", "abcabc", "x", 0, false, -1},
                      FindCase{"needle_longer_than_text", "ab", "abc", 0, false, -1},
                      FindCase{"match_at_very_end", "abcd", "cd", 0, false, 3},
                      FindCase{"empty_needle", "abc", "", 3, false, 1},
                      FindCase{"empty_needle_empty_text", "", "", 0, false, -1},
                      FindCase{"empty_needle_start_past_end", "abc", "", 4, false, -1},
                      FindCase{"empty_text", "", "a", 0, false, -1},
                      FindCase{"case_folded", "User-agent: x", "User-Agent:", 0, true, 1},
                      FindCase{"case_exact", "User-agent: x", "User-Agent:", 0, false, -1},
                      // 0xD0 is the second byte of 中: never a match inside the character.
                      FindCase{"second_byte_not_a_start",
                               std::string(zhong) + "\xD0"
                                                    "a",
                               "\xD0"
                               "a",
                               0, false, 3},
                      FindCase{"needle_across_boundary", std::string("a") + zhong + wen, "\xD0\xCE",
                               0, false, -1},
                      FindCase{"after_two_byte_char", std::string(zhong) + "x", "x", 0, false, 3},
                      // A GBK trail byte in the ASCII range is part of its character.
                      FindCase{"ascii_trail_byte_hidden", "\x81\x40@", "@", 0, false, 3},
                      // The walk starts where it is told, even inside a character.
                      FindCase{"start_inside_character", std::string(zhong) + "\xD0", "\xD0", 2,
                               false, 2},
                      FindCase{"lone_lead_byte_at_end", "ab\xB0", "\xB0", 0, false, 3},
                      FindCase{"fold_only_ascii", "\xC1", "\xE1", 0, true, -1}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReverseCase {
  const char* name;
  std::string text;
  std::string needle;
  std::optional<int> start;
  int expected;
};

class FindTextReverse : public ::testing::TestWithParam<ReverseCase> {};

TEST_P(FindTextReverse, FindsTheLastMatchEndingBeforeStart) {
  const auto& c = GetParam();
  EXPECT_EQ(find_text_reverse(raw(c.text), raw(c.needle), c.start), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Text, FindTextReverse,
    ::testing::Values(ReverseCase{"whole_text", "a.b.c", ".", std::nullopt, 4},
                      ReverseCase{"before_four", "a.b.c", ".", 4, 2},
                      ReverseCase{"before_five", "a.b.c", ".", 5, 4},
                      ReverseCase{"start_one", "a.b.c", ".", 1, -1},
                      ReverseCase{"start_zero", "a.b.c", ".", 0, -1},
                      ReverseCase{"start_past_end", "a.b.c", ".", 99, 4},
                      ReverseCase{"must_end_before_start", "abab", "ab", 4, 1},
                      ReverseCase{"overlapping_candidates", "aaa", "aa", std::nullopt, 2},
                      ReverseCase{"not_inside_character", std::string(zhong) + "\xD0", "\xD0",
                                  std::nullopt, 3},
                      ReverseCase{"empty_needle", "abc", "", std::nullopt, 1},
                      ReverseCase{"empty_text", "", ".", std::nullopt, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FindTextReverse, RepeatingFromTheFoundPositionWalksBackwards) {
  const Text host("pic.a.example.com");
  std::vector<int> found;
  for (int p = find_text_reverse(host, "."); p != -1; p = find_text_reverse(host, ".", p)) {
    found.push_back(p);
  }
  EXPECT_EQ(found, (std::vector<int>{14, 6, 4}));
}

// --- replacing ---------------------------------------------------------------------

struct ReplaceCase {
  const char* name;
  std::string text;
  std::string search;
  std::string replacement;
  int start;
  int count;
  bool case_sensitive;
  std::string expected;
};

class ReplaceText : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceText, ReplacesNonOverlappingMatches) {
  const auto& c = GetParam();
  EXPECT_EQ(replace_text(raw(c.text), raw(c.search), raw(c.replacement), c.start, c.count,
                         c.case_sensitive),
            raw(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Text, ReplaceText,
    ::testing::Values(
        ReplaceCase{"dollar_to_two_spaces", "a$b$c", "$", "  ", 1, -1, true, "a  b  c"},
        ReplaceCase{"folds_by_default", "xSET-COOKIEy", "Set-Cookie", "Set-Cookie", 1, -1, false,
                    "xSet-Cookiey"},
        ReplaceCase{"case_sensitive_keeps", "xSET-COOKIEy", "Set-Cookie", "Set-Cookie", 1, -1, true,
                    "xSET-COOKIEy"},
        ReplaceCase{"delete", "aXbXc", "X", "", 1, -1, true, "abc"},
        ReplaceCase{"overlapping", "aaa", "aa", "b", 1, -1, true, "ba"},
        ReplaceCase{"replacement_not_searched_again", "ab", "a", "aa", 1, -1, true, "aab"},
        ReplaceCase{"count_one", "a.b.c", ".", "-", 1, 1, true, "a-b.c"},
        ReplaceCase{"count_zero", "a.b.c", ".", "-", 1, 0, true, "a.b.c"},
        ReplaceCase{"from_start", "a.b.c", ".", "-", 3, -1, true, "a.b-c"},
        ReplaceCase{"start_past_end", "abc", "c", "x", 4, -1, true, "abc"},
        ReplaceCase{"empty_search", "abc", "", "x", 1, -1, true, "abc"},
        ReplaceCase{"empty_text", "", "a", "x", 1, -1, true, ""},
        ReplaceCase{"entries", "a###b###c", "###", "\r\n\r\n", 1, -1, true, "a\r\n\r\nb\r\n\r\nc"},
        ReplaceCase{"not_inside_character", std::string(zhong) + "\xD0", "\xD0", "x", 1, -1, true,
                    std::string(zhong) + "x"},
        ReplaceCase{"lone_lead_byte_at_end_kept", "a$\xB0", "$", "", 1, -1, true, "a\xB0"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- splitting ---------------------------------------------------------------------

struct SplitCase {
  const char* name;
  std::string text;
  std::string delimiter;
  std::optional<int> max_count;
  std::vector<std::string> expected;
};

class SplitText : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitText, GivesThePieces) {
  const auto& c = GetParam();
  const auto pieces = split_text(raw(c.text), raw(c.delimiter), c.max_count);
  std::vector<std::string> got;
  for (int i = 1; i <= array_count(pieces); ++i)
    got.emplace_back(pieces.at(i).view());
  EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Text, SplitText,
    ::testing::Values(SplitCase{"trailing_delimiter", "a;b;", ";", std::nullopt, {"a", "b"}},
                      SplitCase{"leading_delimiter", ";a", ";", std::nullopt, {"", "a"}},
                      SplitCase{"adjacent_delimiters", "a;;b", ";", std::nullopt, {"a", "", "b"}},
                      SplitCase{"only_delimiters", ";;", ";", std::nullopt, {"", ""}},
                      SplitCase{"empty_text", "", ";", std::nullopt, {}},
                      SplitCase{"empty_delimiter", "abc", "", std::nullopt, {"abc"}},
                      SplitCase{"no_delimiter", "abc", ";", std::nullopt, {"abc"}},
                      SplitCase{"crlf_lines", "a\r\nb\r\n", "\r\n", std::nullopt, {"a", "b"}},
                      SplitCase{"max_count", "a;b;c", ";", 2, {"a", "b"}},
                      SplitCase{"max_count_zero", "a;b", ";", 0, {}},
                      SplitCase{"delimiter_inside_character",
                                std::string(zhong) + ";" + wen,
                                "\xD0",
                                std::nullopt,
                                {std::string(zhong) + ";" + wen}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SplitText, DefaultDelimiterIsAComma) {
  EXPECT_EQ(split_text("a,b"), (TextArray{"a", "b"}));
}

// --- case and spaces ---------------------------------------------------------------

TEST(ToLower, FoldsOnlyAsciiLettersOfSingleByteCharacters) {
  EXPECT_EQ(to_lower("HTTP://Pic.Example.COM/A"), Text("http://pic.example.com/a"));
  // 0x81 0x41 is one character whose second byte is 'A': left alone.
  EXPECT_EQ(to_lower("\x81"
                     "AB"),
            Text("\x81"
                 "Ab"));
}

struct SpaceCase {
  const char* name;
  std::string text;
  std::string trimmed;
  std::string removed;
};

class Spaces : public ::testing::TestWithParam<SpaceCase> {};

TEST_P(Spaces, TrimAndRemoveOnlyTheTwoKindsOfSpace) {
  const auto& c = GetParam();
  EXPECT_EQ(trim_spaces(raw(c.text)), raw(c.trimmed));
  EXPECT_EQ(remove_spaces(raw(c.text)), raw(c.removed));
}

INSTANTIATE_TEST_SUITE_P(
    Text, Spaces,
    ::testing::Values(SpaceCase{"tab_ends_trailing_run", "  a b \t", "a b \t", "ab\t"},
                      SpaceCase{"wide_spaces_only", std::string(wide_space) + wide_space, "", ""},
                      SpaceCase{"mixed_spaces",
                                std::string(" ") + wide_space + "x" + wide_space + " ", "x", "x"},
                      SpaceCase{"crlf_stays", "\r\n a \r\n", "\r\n a \r\n", "\r\na\r\n"},
                      // A1 A1 straddling two characters (B0 A1 then A1 B0) is no space.
                      SpaceCase{"wide_space_not_at_start", "\xB0\xA1\xA1\xB0", "\xB0\xA1\xA1\xB0",
                                "\xB0\xA1\xA1\xB0"},
                      SpaceCase{"empty", "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// --- numbers -----------------------------------------------------------------------

struct IntegerCase {
  const char* name;
  std::string text;
  int expected;
};

class ToInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ToInteger, ReadsALeadingNumber) {
  EXPECT_EQ(to_integer(raw(GetParam().text)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Text, ToInteger,
    ::testing::Values(IntegerCase{"leading_space", " 443", 443},
                      IntegerCase{"stops_at_slash", "80/", 80},
                      IntegerCase{"letter_first", "x1", 0}, IntegerCase{"empty", "", 0},
                      IntegerCase{"full_width_digits", "\xA3\xB8\xA3\xB0", 80},
                      IntegerCase{"full_width_minus",
                                  "\xA3\xAD"
                                  "5",
                                  -5},
                      IntegerCase{"wide_space_skipped", std::string(wide_space) + "7", 7},
                      IntegerCase{"whitespace_and_sign", "\t\r\n+12x", 12},
                      IntegerCase{"negative", "-2147483648", std::numeric_limits<int>::min()},
                      IntegerCase{"saturates", "99999999999", std::numeric_limits<int>::max()},
                      IntegerCase{"two_signs", "+-1", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Numbers, FormatAsTheSystemDoes) {
  EXPECT_EQ(number_to_text(3), Text("3"));
  EXPECT_EQ(number_to_text(12), Text("12"));
  EXPECT_EQ(number_to_text(1e13), Text("1e+13"));
  EXPECT_EQ(number_to_text(0.5), Text("0.5"));
  EXPECT_EQ(hex_text(15), Text("F"));
  EXPECT_EQ(hex_text(255), Text("FF"));
  EXPECT_EQ(hex_text(0), Text("0"));
  EXPECT_EQ(truncate_to_integer(2.9), 2);
  EXPECT_EQ(truncate_to_integer(-2.9), -2);
  EXPECT_EQ(truncate_to_integer(1e300), std::numeric_limits<int>::max());
  EXPECT_EQ(truncate_to_integer(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(bit_or(0x80000000LL, 0x10, 0x4000), 0x80004010LL);
}

// --- bytes and arrays --------------------------------------------------------------

TEST(BytesOperations, FollowTheEmptinessRules) {
  EXPECT_TRUE(text_to_bytes("").empty());
  EXPECT_EQ(text_to_bytes("ab"), Bytes("ab"));
  EXPECT_EQ(bytes_left(Bytes("abc"), 2), Bytes("ab"));
  EXPECT_TRUE(bytes_left(Bytes("abc"), 0).empty());
  EXPECT_EQ(bytes_left(Bytes("abc"), 10), Bytes("abc"));
  EXPECT_EQ(bytes_concat(Bytes("a"), Bytes(), Bytes(std::string_view("\0b", 2))),
            Bytes(std::string_view("a\0b", 3)));
  EXPECT_TRUE(bytes_concat(Bytes(), Bytes()).empty());
  EXPECT_TRUE(bytes_equal(Bytes(), Bytes("")));
  EXPECT_FALSE(bytes_equal(Bytes("a"), Bytes(std::string_view("a\0", 2))));
  EXPECT_EQ(blank_bytes(3), Bytes(std::string_view("\0\0\0", 3)));
  EXPECT_TRUE(blank_bytes(0).empty());
}

TEST(TextArrayOperations, AppendsCopies) {
  TextArray a;
  Text item("x");
  array_append(a, item);
  item = Text("y");
  array_append(a, "");
  EXPECT_EQ(array_count(a), 2);
  EXPECT_EQ(a.at(1), Text("x"));
  EXPECT_EQ(a.at(2), Text());
}

}  // namespace
}  // namespace kestrava
