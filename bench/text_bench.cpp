// The page-sized text operations beside the plain byte-string equivalents.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "markup_page.h"
#include "text/text.h"

namespace {

using kestrava::Text;

constexpr const char* rare_needle = "var GvodUrls1 = \"";

std::string page_with_needle_at_end(std::size_t size) {
  auto page = kestrava::bench::markup_page_gbk(size);
  page.replace(page.size() - 40, std::strlen(rare_needle), rare_needle);
  return page;
}

void find_ours(benchmark::State& state) {
  const Text page(page_with_needle_at_end(static_cast<std::size_t>(state.range(0))));
  const Text needle(rare_needle);
  for (auto _ : state)
    benchmark::DoNotOptimize(kestrava::find_text(page, needle));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void find_peer(benchmark::State& state) {
  const auto page = page_with_needle_at_end(static_cast<std::size_t>(state.range(0)));
  const auto n = std::strlen(rare_needle);
  for (auto _ : state)
    benchmark::DoNotOptimize(memmem(page.data(), page.size(), rare_needle, n));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void replace_ours(benchmark::State& state) {
  const Text page(kestrava::bench::markup_page_gbk(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) {
    benchmark::DoNotOptimize(kestrava::replace_text(page, "$", "  ", 1, -1, true));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void replace_peer(benchmark::State& state) {
  const auto page = kestrava::bench::markup_page_gbk(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::string out;
    out.reserve(page.size());
    std::size_t done = 0;
    for (auto at = page.find('$'); at != std::string::npos; at = page.find('$', done)) {
      out.append(page, done, at - done);
      out.append("  ");
      done = at + 1;
    }
    out.append(page, done);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void split_ours(benchmark::State& state) {
  const Text page(kestrava::bench::markup_page_gbk(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state)
    benchmark::DoNotOptimize(kestrava::split_text(page, "\r\n"));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void split_peer(benchmark::State& state) {
  const auto page = kestrava::bench::markup_page_gbk(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::vector<std::string> pieces;
    std::size_t done = 0;
    for (auto at = page.find("\r\n"); at != std::string::npos; at = page.find("\r\n", done)) {
      pieces.emplace_back(page, done, at - done);
      done = at + 2;
    }
    if (done < page.size())
      pieces.emplace_back(page, done);
    benchmark::DoNotOptimize(pieces);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

constexpr long mib = 1 << 20;

BENCHMARK(find_ours)->Name("find_text/ours")->Arg(mib)->Arg(8 * mib);
BENCHMARK(find_peer)->Name("find_text/peer")->Arg(mib)->Arg(8 * mib);
BENCHMARK(replace_ours)->Name("replace_text/ours")->Arg(mib)->Arg(8 * mib);
BENCHMARK(replace_peer)->Name("replace_text/peer")->Arg(mib)->Arg(8 * mib);
BENCHMARK(split_ours)->Name("split_text/ours")->Arg(mib)->Arg(8 * mib);
BENCHMARK(split_peer)->Name("split_text/peer")->Arg(mib)->Arg(8 * mib);

}  // namespace
