// The result pattern over a 1 MiB search page of 1000 entries:
//   search_page: create from the code page 936 page, then every sub-match of
//   every match as the search worker reads them, against std::regex
//   (ECMAScript, icase) iterating over the same bytes;
//   execute: the layer's execute alone against a bare PCRE2 JIT match loop
//   over the same UTF-16 subject.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <memory>
#include <regex>
#include <string>

#include "platform/codepage/codepage.h"
#include "platform/regexp/regexp.h"
#include "regex/regex_object.h"
#include "regex/search_page.h"
#include "text/codepage.h"

namespace {

using kestrava::Text;
namespace testing = kestrava::testing;

constexpr int entries = 1000;

// 1000 entries with the markup between them that makes up a real page,
// about 1 MiB in UTF-8.
std::string page_utf8() {
  std::string page = testing::page_head();
  for (int i = 0; i < entries; ++i) {
    page += testing::entry_markup(testing::numbered_entry(static_cast<std::size_t>(i)));
    page +=
        "<li class=\"fed-list-ad\"><div class=\"fed-part-case\"><span class=\"fed-text-muted\">";
    while (page.size() < static_cast<std::size_t>(i + 1) * 1048)
      page += "&nbsp;\xE6\x8E\xA8\xE8\x8D\x90 ";
    page += "</span></div></li>\r\n";
  }
  return page + testing::page_tail();
}

const Text& page_gbk() {
  static const Text page = kestrava::utf8_to_gbk(Text(page_utf8()));
  return page;
}

std::u16string units(std::string_view utf8) {
  std::u16string out(utf8.size(), u'\0');
  const int n = kestrava::platform::multibyte_to_wide(kestrava::platform::code_page_utf8,
                                                      utf8.data(), static_cast<int>(utf8.size()),
                                                      out.data(), static_cast<int>(out.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

void search_page_ours(benchmark::State& state) {
  const Text& page = page_gbk();
  const Text pattern(testing::result_pattern);
  for (auto _ : state) {
    kestrava::RegexObject re;
    re.create(pattern, page);
    const int count = re.match_count();
    for (int n = 1; n <= count; ++n) {
      for (int k : {1, 3, 2, 4})
        benchmark::DoNotOptimize(re.submatch_text(n, k));
    }
    if (count != entries)
      state.SkipWithError("wrong match count");
  }
  state.SetBytesProcessed(state.iterations() * page.length());
}

void search_page_std_regex(benchmark::State& state) {
  const std::string page = page_gbk().str();
  const std::regex re(std::string(testing::result_pattern),
                      std::regex::ECMAScript | std::regex::icase);
  for (auto _ : state) {
    int count = 0;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), re); it != std::sregex_iterator();
         ++it) {
      for (int k : {1, 3, 2, 4})
        benchmark::DoNotOptimize((*it)[k].str());
      ++count;
    }
    if (count != entries)
      state.SkipWithError("wrong match count");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}

void execute_ours(benchmark::State& state) {
  const auto subject = std::make_shared<const std::u16string>(units(page_utf8()));
  kestrava::platform::RegExp re;
  re.set_ignore_case(true);
  re.set_multiline(true);
  re.set_global(true);
  re.set_pattern(units(testing::result_pattern));
  for (auto _ : state) {
    auto matches = re.execute(subject);
    if (matches == nullptr || matches->count() != entries)
      state.SkipWithError("wrong match count");
    benchmark::DoNotOptimize(matches);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(subject->size() * 2));
}

void execute_bare_pcre2(benchmark::State& state) {
  const std::u16string subject = units(page_utf8());
  const std::u16string pattern = units(testing::result_pattern);
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  pcre2_code* code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                    PCRE2_CASELESS | PCRE2_MULTILINE, &error, &error_offset, nullptr);
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  const auto* s = reinterpret_cast<PCRE2_SPTR>(subject.data());
  for (auto _ : state) {
    int count = 0;
    PCRE2_SIZE start = 0;
    while (pcre2_jit_match(code, s, subject.size(), start, 0, data, nullptr) > 0) {
      const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
      start = ovector[1] > ovector[0] ? ovector[1] : ovector[1] + 1;
      ++count;
    }
    if (count != entries)
      state.SkipWithError("wrong match count");
  }
  pcre2_match_data_free(data);
  pcre2_code_free(code);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(subject.size() * 2));
}

// The page of near-matches that the match limit ends.
void near_match_page_ours(benchmark::State& state) {
  const Text page = kestrava::utf8_to_gbk(Text(testing::near_match_page(1 << 20)));
  const Text pattern(testing::result_pattern);
  for (auto _ : state) {
    kestrava::RegexObject re;
    re.create(pattern, page);
    benchmark::DoNotOptimize(re.match_count());
  }
}

}  // namespace

BENCHMARK(search_page_ours)->Name("search_page/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(search_page_std_regex)->Name("search_page/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(execute_ours)->Name("execute/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(execute_bare_pcre2)->Name("execute/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(near_match_page_ours)->Name("near_match_page_1mib")->Unit(benchmark::kMillisecond);
