// utf8_to_gbk of a search page against glibc iconv(3) on the same bytes.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstddef>
#include <string>

#include "text/codepage.h"

namespace {

// A search-result page in UTF-8: ASCII markup around Chinese names and casts,
// cut at a character boundary near size bytes.
std::string utf8_page(std::size_t size) {
  const std::string entry =
      "<li class=\"fed-list-item fed-padding fed-col-xs4\"><a class=\"fed-list-pics\" "
      "data-original=\"/upload/p.jpg\"><span class=\"fed-list-score\">9.1</span></a>"
      "<a class=\"fed-list-title\" href=\"/movie/1.html\">\xE4\xB8\xAD\xE6\x96\x87\xE6\xA0\x87"
      "\xE9\xA2\x98\xE7\x94\xB5\xE5\xBD\xB1</a><span class=\"fed-list-desc\">\xE4\xB8\xBB"
      "\xE6\xBC\x94\xEF\xBC\x9A\xE5\xBC\xA0\xE4\xB8\x89\xE3\x80\x80\xE6\x9D\x8E\xE5\x9B\x9B"
      "</span></li>\r\n";
  std::string page;
  page.reserve(size + entry.size());
  while (page.size() + entry.size() <= size)
    page += entry;
  page.append(size - page.size(), ' ');
  return page;
}

void utf8_to_gbk_ours(benchmark::State& state) {
  const kestrava::Text page(utf8_page(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) {
    kestrava::Text gbk = kestrava::utf8_to_gbk(page);
    benchmark::DoNotOptimize(gbk);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void utf8_to_gbk_iconv(benchmark::State& state) {
  const std::string page = utf8_page(static_cast<std::size_t>(state.range(0)));
  iconv_t cd = iconv_open("GBK", "UTF-8");
  for (auto _ : state) {
    std::string gbk(page.size(), '\0');
    char* in = const_cast<char*>(page.data());
    std::size_t in_left = page.size();
    char* out = gbk.data();
    std::size_t out_left = gbk.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1)) {
      state.SkipWithError("iconv failed");
      break;
    }
    gbk.resize(gbk.size() - out_left);
    benchmark::DoNotOptimize(gbk);
  }
  iconv_close(cd);
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(utf8_to_gbk_ours)->Name("utf8_to_gbk/ours")->Arg(1 << 20)->Arg(8 << 20);
BENCHMARK(utf8_to_gbk_iconv)->Name("utf8_to_gbk/peer")->Arg(1 << 20)->Arg(8 << 20);
