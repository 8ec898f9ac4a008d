// Filling the result list from a worker, as a search does (one
// list_append_row and six list_set_cell per row), side by side with the same
// number of bare blocking cross-thread calls that do nothing: the cost of the
// waiting alone. Counters give the time per call, which must not grow with
// the number of rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/window.h"
#include "text/literal.h"

namespace {

using namespace kestrava::literals;
constexpr int operations_per_row = 7;

QApplication& application() {
  static int argc = 1;
  static char name[] = "bench_window";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  return *app;
}

kestrava::MainWindow& window() {
  application();
  static auto* the_window = [] {
    auto* w = new kestrava::MainWindow(kestrava::WindowHandlers{});
    w->show_centred();
    QCoreApplication::processEvents();
    return w;
  }();
  return *the_window;
}

// Runs work on a worker thread while this thread runs the event loop, and
// gives the worker's own time for work.
template <class Work>
double seconds_in_worker(Work work) {
  QEventLoop loop;
  double seconds = 0;
  std::thread worker([&] {
    const auto start = std::chrono::steady_clock::now();
    work();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  return seconds;
}

void report(benchmark::State& state, int rows) {
  const double calls = static_cast<double>(rows) * operations_per_row;
  state.counters["per_call"] = benchmark::Counter(
      calls, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void fill_rows_ours(benchmark::State& state) {
  using namespace kestrava;
  window();
  const int rows = static_cast<int>(state.range(0));
  std::vector<std::array<Text, 6>> cells(static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    cells[static_cast<std::size_t>(r)] = {
        Text(std::to_string(r + 1)),
        "HD中字"_gbk,
        text_concat("名称 "_gbk, Text(std::to_string(r))),
        Text("/movie/" + std::to_string(r) + ".html"),
        "主演甲,主演乙"_gbk,
        Text("http://127.0.0.1/poster/" + std::to_string(r) + ".jpg")};
  }
  for (auto _ : state) {
    state.SetIterationTime(seconds_in_worker([&] {
      list_clear(超级列表框1);
      for (const auto& row_cells : cells) {
        const int row = list_append_row(超级列表框1);
        for (int c = 0; c < 6; ++c) {
          list_set_cell(超级列表框1, row, c, row_cells[static_cast<std::size_t>(c)]);
        }
      }
    }));
  }
  if (list_get_cell(超级列表框1, rows - 1, 5) != cells.back()[5]) {
    state.SkipWithError("the last cell does not read back");
  }
  report(state, rows);
}

void fill_rows_peer(benchmark::State& state) {
  kestrava::MainWindow& w = window();
  const int rows = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.SetIterationTime(seconds_in_worker([&] {
      // list_clear's share, then a bare call for each operation of a row.
      QMetaObject::invokeMethod(
          &w, [] {}, Qt::BlockingQueuedConnection);
      for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < operations_per_row; ++c) {
          QMetaObject::invokeMethod(
              &w, [] {}, Qt::BlockingQueuedConnection);
        }
      }
    }));
  }
  report(state, rows);
}

BENCHMARK(fill_rows_ours)
    ->Name("fill_rows/ours")
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(fill_rows_peer)
    ->Name("fill_rows/peer")
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
