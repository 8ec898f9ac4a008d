#include "text/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrava {
namespace {

struct Case {
  const char* name;
  std::string utf8;
  std::string gbk;
};

// utf8_to_gbk turns utf8 into gbk, and gbk_to_utf8 turns gbk back into utf8.
const Case both_ways[] = {
    {"empty", "", ""},
    {"ascii_page", "<html><a href=\"/movie/1.html\">A</a>\r\n</html>",
     "<html><a href=\"/movie/1.html\">A</a>\r\n</html>"},
    {"one_character", "\xE4\xB8\xAD", "\xD6\xD0"},
    {"mixed_keyword",
     "ab\xE4\xB8\xAD"
     "c\xE6\x96\x87",
     "ab\xD6\xD0"
     "c\xCE\xC4"},
    {"euro_sign", "\xE2\x82\xAC", "\x80"},
    {"ideographic_space",
     "a\xE3\x80\x80"
     "b",
     "a\xA1\xA1"
     "b"},
};

class BothWays : public ::testing::TestWithParam<Case> {};

TEST_P(BothWays, Utf8ToGbkAndBack) {
  const Case& c = GetParam();
  EXPECT_EQ(utf8_to_gbk(Text(c.utf8)).str(), c.gbk);
  EXPECT_EQ(gbk_to_utf8(Text(c.gbk)).str(), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(Codepage, BothWays, ::testing::ValuesIn(both_ways),
                         [](const auto& info) { return std::string(info.param.name); });

struct OneWay {
  const char* name;
  std::string utf8;
  std::string gbk;
};

// Pages the site may send that do not survive unchanged.
const OneWay lossy_pages[] = {
    {"emoji_becomes_question_mark", "<b>\xF0\x9F\x98\x80</b>", "<b>?</b>"},
    {"thai_becomes_question_mark", "x\xE0\xB8\x81y", "x?y"},
    // Invisible characters GBK cannot hold are not dropped either.
    {"soft_hyphen_becomes_question_mark",
     "a\xC2\xAD"
     "b",
     "a?b"},
    {"zero_width_joiner_becomes_question_mark",
     "a\xE2\x80\x8D"
     "b",
     "a?b"},
    {"invalid_byte_keeps_the_rest", "<p>\xFF\xE4\xB8\xAD</p>", "<p>?\xD6\xD0</p>"},
    // A lone lead byte before ASCII needs more UTF-16 units than a GBK size
    // query counts (C3 61 is one GBK character); the page must not be lost.
    {"lone_lead_byte_before_ascii",
     "x\xC3"
     "abc",
     "x?abc"},
    {"truncated_character_at_the_end", "abc\xE4\xB8", "abc?"},
};

class Lossy : public ::testing::TestWithParam<OneWay> {};

TEST_P(Lossy, Utf8ToGbk) {
  EXPECT_EQ(utf8_to_gbk(Text(GetParam().utf8)).str(), GetParam().gbk);
}

INSTANTIATE_TEST_SUITE_P(Codepage, Lossy, ::testing::ValuesIn(lossy_pages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Utf8ToGbk, LargePageOfLoneLeadBytesIsKeptWhole) {
  std::string page;
  std::string expected;
  for (int i = 0; i < 10000; ++i) {
    page += "\xC3<a>";
    expected += "?<a>";
  }
  EXPECT_EQ(utf8_to_gbk(Text(page)).str(), expected);
}

// Long pages convert in pieces; the result must not depend on where the
// pieces end, also with invalid bytes and long runs without ASCII.
TEST(Utf8ToGbk, LongPageConvertsAsAWhole) {
  std::string page;
  for (int i = 0; i < 3000; ++i) {
    page += "<a href=\"/m/" + std::to_string(i) + "\">\xE4\xB8\xAD\xE6\x96\x87";
    if (i % 97 == 0)
      page += "\xC3\xE4\xB8";
    if (i % 101 == 0)
      page += std::string(20000, '\x80');
    page += "</a>\xF0\x9F\x98\x80\xE2\x82\xAC\r\n";
  }
  const Text text(page);
  const Text whole = utf16_to_text(text_to_utf16(text), code_page_gbk);
  ASSERT_GT(whole.length(), 100000);
  EXPECT_EQ(utf8_to_gbk(text), whole);
  EXPECT_EQ(gbk_to_utf8(whole), utf16_to_text(text_to_utf16(whole, code_page_gbk), code_page_utf8));
}

TEST(TextToUtf16, IsZeroTerminatedLittleEndian) {
  EXPECT_EQ(text_to_utf16(Text("abc")).view(), std::string_view("a\0b\0c\0\0\0", 8));
  EXPECT_EQ(text_to_utf16(Text("\xD6\xD0"), code_page_gbk).view(),
            std::string_view("\x2D\x4E\0\0", 4));
  EXPECT_EQ(text_to_utf16(Text("\xD6\xD0"), code_page_ansi).view(),
            std::string_view("\x2D\x4E\0\0", 4));
  EXPECT_EQ(text_to_utf16(Text()).view(), std::string_view("\0\0", 2));
}

TEST(Utf16ToText, StopsAtTheFirstZeroUnit) {
  EXPECT_EQ(utf16_to_text(Bytes(std::string_view("a\0b\0\0\0c\0", 8))).str(), "ab");
  EXPECT_EQ(utf16_to_text(Bytes(std::string_view("a\0b\0c", 5))).str(), "ab")
      << "an odd last byte is no unit";
  EXPECT_EQ(utf16_to_text(Bytes()).str(), "");
  EXPECT_EQ(utf16_to_text(Bytes(std::string_view("\x2D\x4E\0\0", 4))).str(), "\xD6\xD0");
}

TEST(Utf16ToText, Utf8NeedsMoreRoomThanGbk) {
  // An emoji is one "?" in GBK but four bytes in UTF-8.
  const std::string emojis = "\xF0\x9F\x98\x80\xF0\x9F\x98\x80";
  EXPECT_EQ(utf16_to_text(text_to_utf16(Text(emojis)), code_page_utf8).str(), emojis);
}

// A run of the units cut from the source must equal the run converted back,
// at every mark boundary, and for sources the code page cannot read whole.
struct UnitsCase {
  const char* name;
  std::string gbk;
  bool exact;
};

std::string repeated(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i)
    out += piece;
  return out;
}

const UnitsCase units_cases[] = {
    {"empty", "", true},
    {"ascii", "fed-list-title", true},
    {"mixed",
     "a\xD6\xD0"
     "bc\xCE\xC4\x80"
     "d",
     true},
    {"exactly_64_units",
     repeated("\xD6\xD0"
              "a",
              32) +
         "",
     true},
    {"exactly_128_units", repeated("ab", 64), true},
    {"long_mixed",
     repeated("Mira \xD6\xD0\xCE\xC4,\xA1\xA1"
              "Kestell ",
              40),
     true},
    {"long_ascii_then_pairs", std::string(150, 'x') + repeated("\xD6\xD0", 100), true},
    {"invalid_pair", repeated("ab\xD6\xD0", 30) + "\x81\x20" + repeated("\xCE\xC4z", 30), false},
    {"lone_lead_at_the_end", repeated("\xD6\xD0q", 50) + "\x81", false},
    {"single_byte_ff",
     "a\xFF"
     "b\xD6\xD0",
     true},
};

class Units : public ::testing::TestWithParam<UnitsCase> {};

TEST_P(Units, EveryRunCutsAsItConvertsBack) {
  const UnitsCase& c = GetParam();
  const TextUnits units{Text(c.gbk)};
  EXPECT_EQ(units.units(), text_to_units(Text(c.gbk), code_page_ansi));
  EXPECT_EQ(units.exact(), c.exact);
  const std::size_t size = units.units().size();
  const std::size_t step = size > 100 ? 7 : 1;
  for (std::size_t from = 0; from <= size; from += step) {
    for (std::size_t to = from; to <= size; to += step) {
      const std::u16string_view run = std::u16string_view(units.units()).substr(from, to - from);
      ASSERT_EQ(units.text_of(from, to), units_to_text(run, code_page_ansi)) << from << ".." << to;
    }
    ASSERT_EQ(units.text_of(from, size), units_to_text(units.units().substr(from), code_page_ansi));
  }
  EXPECT_EQ(units.text_of(0, size + 10), units_to_text(units.units(), code_page_ansi));
}

// Read straight from UTF-8, a page gives what converting it to GBK and
// reading that gives.
TEST(Units, ReadFromUtf8AsFromItsGbk) {
  const std::string pages[] = {
      "",
      "plain",
      repeated("<li>\xE5\xA1\x94\xE5\xB0\x94 Talvik,Mira Kestell \xE2\x82\xAC</li>", 40),
      repeated("ok \xF0\x9F\x98\x80 \xC2\xAD \xE0\xB8\x81", 20),
      repeated("bad \x80\xE4\xB8 and \xC0\xAF\xFF\xE4\xB8\xAD", 20),
  };
  for (const std::string& page : pages) {
    SCOPED_TRACE(page);
    const TextUnits straight = TextUnits::from_utf8(Text(page));
    const TextUnits two_steps{utf8_to_gbk(Text(page))};
    EXPECT_EQ(straight.source(), two_steps.source());
    EXPECT_EQ(straight.units(), two_steps.units());
    EXPECT_TRUE(straight.exact());
    const std::size_t size = straight.units().size();
    for (std::size_t from = 0; from <= size; from += 3) {
      for (std::size_t to = from; to <= size; to += 5) {
        const std::u16string_view run =
            std::u16string_view(straight.units()).substr(from, to - from);
        ASSERT_EQ(straight.text_of(from, to), units_to_text(run, code_page_ansi))
            << from << ".." << to;
        ASSERT_EQ(two_steps.text_of(from, to), units_to_text(run, code_page_ansi))
            << from << ".." << to;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, Units, ::testing::ValuesIn(units_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrava
