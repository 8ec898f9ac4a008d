// A search and a detail click against a loopback site, from the click to the
// filled window, beside the time curl takes to download the same bytes
// (libcurl in this process; for the search without the window, the curl
// program too). The search is split into its parts: the transfer, the
// conversion and matching, and the window operations; each part is also set
// beside the download.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QProcess>
#include <QPushButton>
#include <atomic>
#include <charconv>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/site_markup.h"  // tests/app
#include "app/window.h"
#include "app/workers.h"
#include "net/fetch.h"
#include "posters.h"
#include "regex/regex_object.h"
#include "regex/search_page.h"  // tests/regex
#include "text/codepage.h"
#include "text/extract.h"
#include "text/literal.h"

namespace {

using namespace kestrava;
using namespace kestrava::literals;

// --- the site -----------------------------------------------------------------

// An entry of about 1 KiB, as a busy search page has them.
std::string search_page(int entries) {
  std::vector<testing::ResultEntry> list;
  for (int i = 0; i < entries; ++i) {
    const std::string n = std::to_string(i);
    list.push_back({"更新至" + n + "集 HD国语中字", "/movie/" + n + ".html",
                    "塔尔维克之冬 Talvik Winter 第" + n + "部",
                    "林望舒,Mira Kestell,周砚,韩芷,沈一舟,Joren Abt,顾念安,许青禾,Pell Aubrey,"
                    "Oren Stahl,白露,程砚秋,魏然,苏晚,叶知秋,季川,Hale Ferrin,Nessa Doyle,"
                    "Tomas Reyner,Wilma Oakes,何晏,秦霜,唐未央,Kata Ilves,Bruno Selk,温如玉,"
                    "陆寒,姜小满,Lisbet Näslund,Axel Grön",
                    "http://127.0.0.1/posters/" + n + ".jpg"});
  }
  return testing::search_markup(list);
}

std::string download_list(int entries) {
  std::string list;
  for (int i = 1; i <= entries; ++i) {
    list += (i > 1 ? "###" : "") + std::string("第") + std::to_string(i) +
            "集$http://dl.kestrava-demo.test/v2/" + std::to_string(i) + ".mp4";
  }
  return list;
}

class Site {
 public:
  Site() {
    poster_ = demo::make_poster(demo::PosterKind::jpeg, 3);
    detail_ = testing::detail_markup(download_list(40));
    server_.Get("/search.php",
                [this](const httplib::Request& request, httplib::Response& response) {
                  const int entries = std::stoi(request.get_param_value("searchword"));
                  std::lock_guard lock(mutex_);
                  auto& page = pages_[entries];
                  if (page.empty()) {
                    page = search_page(entries);
                  }
                  response.set_content(page, "text/html; charset=utf-8");
                });
    server_.Get(R"(/movie/\d+\.html)",
                [this](const httplib::Request&, httplib::Response& response) {
                  response.set_content(detail_, "text/html; charset=utf-8");
                });
    server_.Get("/poster.jpg", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(poster_, "image/jpeg");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // The keyword is the number of entries the page holds.
  std::string search_url(int entries) const {
    return base() + "/search.php?searchword=" + std::to_string(entries);
  }
  std::string detail_url() const { return base() + "/movie/1.html"; }
  std::string poster_url() const { return base() + "/poster.jpg"; }

 private:
  httplib::Server server_;
  int port_ = -1;
  std::thread thread_;
  std::mutex mutex_;
  std::map<int, std::string> pages_;
  std::string poster_;
  std::string detail_;
};

Site& site() {
  static auto* the_site = new Site;
  return *the_site;
}

// --- the window -----------------------------------------------------------------

Text worker_site;
std::atomic<int> workers_ended{0};
QEventLoop* waiting_loop = nullptr;  // touched on the user-interface thread only

// The last thing a worker does: wakes the user-interface thread.
void worker_ended() {
  ++workers_ended;
  QMetaObject::invokeMethod(
      qApp,
      [] {
        if (waiting_loop) {
          waiting_loop->quit();
        }
      },
      Qt::QueuedConnection);
}

QApplication& application() {
  static int argc = 1;
  static char name[] = "bench_search";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  return *app;
}

MainWindow& window() {
  application();
  static auto* the_window = [] {
    WindowHandlers handlers;
    handlers.search_clicked = [] {
      start_worker([] {
        search_worker_at(worker_site);
        worker_ended();
      });
    };
    handlers.result_list_clicked = [] {
      start_worker([] {
        detail_worker_at(worker_site);
        worker_ended();
      });
    };
    auto* w = new MainWindow(handlers);
    w->show_centred();
    QCoreApplication::processEvents();
    return w;
  }();
  return *the_window;
}

// Runs the event loop until the worker started by the click has ended.
void click_and_wait(const std::function<void()>& click) {
  QEventLoop loop;
  waiting_loop = &loop;
  const int ended = workers_ended + 1;
  click();
  if (workers_ended < ended) {
    loop.exec();
  }
  waiting_loop = nullptr;
}

// Runs work on a thread of its own while this one runs the event loop.
template <class Work>
void in_worker(Work work) {
  QEventLoop loop;
  std::thread worker([&] {
    work();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
}

// --- the peer: curl downloading the same bytes ---------------------------------

std::size_t keep(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

std::string curl_download(const std::string& url) {
  std::string body;
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keep);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  return body;
}

// The curl program downloading the same bytes, as curl itself times it: from
// the start of the request to the last byte, without the program's start-up.
// Negative when curl cannot be run.
double curl_program_seconds(const std::string& url) {
  QProcess curl;
  curl.start("curl", {"--silent", "--output", QProcess::nullDevice(), "--write-out",
                      "%{time_total}", QString::fromStdString(url)});
  if (!curl.waitForFinished(30'000) || curl.exitCode() != 0) {
    return -1;
  }
  const QByteArray out = curl.readAllStandardOutput();
  double seconds = -1;
  std::from_chars(out.constData(), out.constData() + out.size(), seconds);
  return seconds;
}

void set_bytes(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// --- search -----------------------------------------------------------------------

void search_click(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  MainWindow& w = window();
  worker_site = Text(site().base());
  set_text(编辑框_搜索, Text(std::to_string(entries)));
  for (auto _ : state) {
    click_and_wait([&w] { w.search_button()->click(); });
  }
  if (w.result_list()->result_model()->row_count() != entries ||
      list_get_cell(超级列表框1, entries - 1, 5).empty()) {
    state.SkipWithError("the list was not filled");
  }
}

void search_download(benchmark::State& state) {
  const std::string url = site().search_url(static_cast<int>(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = curl_download(url).size();
  }
  set_bytes(state, bytes);
}

void search_transfer(benchmark::State& state) {
  const Text url(site().search_url(static_cast<int>(state.range(0))));
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = fetch_url(url).size();
  }
  set_bytes(state, bytes);
}

// Conversion and matching as the worker does them, reading every sub-match.
void convert_and_match(Bytes body) {
  static const Text result_pattern(testing::result_pattern);
  static const Text poster_pattern(testing::poster_pattern);
  RegexObject matcher;
  const auto page =
      std::make_shared<const TextUnits>(TextUnits::from_utf8(bytes_to_text(std::move(body))));
  matcher.create(result_pattern, page);
  for (int n = 1; n <= matcher.match_count(); ++n) {
    for (int k = 1; k <= 4; ++k) {
      benchmark::DoNotOptimize(matcher.submatch_text(n, k));
    }
  }
  matcher.create(poster_pattern, page);
  for (int n = 1; n <= matcher.match_count(); ++n) {
    benchmark::DoNotOptimize(matcher.submatch_text(n, 1));
  }
  matcher.release();
}

// The worker converts the body it fetched where it lies; each run here gets a
// fresh copy of it, made outside the timing.
Bytes fresh_body(benchmark::State& state, const Bytes& body) {
  state.PauseTiming();
  Bytes copy = body;
  state.ResumeTiming();
  return copy;
}

void search_matching(benchmark::State& state) {
  const Bytes body(curl_download(site().search_url(static_cast<int>(state.range(0)))));
  for (auto _ : state) {
    convert_and_match(fresh_body(state, body));
  }
  set_bytes(state, body.size());
}

// Everything the search does but the window operations: the transfer, then
// the conversion and matching, in one run.
void search_without_window(benchmark::State& state) {
  const Text url(site().search_url(static_cast<int>(state.range(0))));
  std::size_t bytes = 0;
  for (auto _ : state) {
    Bytes body = fetch_url(url);
    bytes = body.size();
    convert_and_match(std::move(body));
  }
  set_bytes(state, bytes);
}

// A second peer for the search as a whole: the curl program downloading the
// same page in a process of its own, by its own clock.
void search_curl_program(benchmark::State& state) {
  const std::string url = site().search_url(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const double seconds = curl_program_seconds(url);
    if (seconds < 0) {
      state.SkipWithError("the curl program did not download the page");
      break;
    }
    state.SetIterationTime(seconds);
  }
}

// The conversion alone, the first half of the above.
void search_conversion(benchmark::State& state) {
  const Bytes body(curl_download(site().search_url(static_cast<int>(state.range(0)))));
  for (auto _ : state) {
    benchmark::DoNotOptimize(TextUnits::from_utf8(bytes_to_text(fresh_body(state, body))));
  }
  set_bytes(state, body.size());
}

// The window operations of a search of that many rows, from a worker.
void search_window(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  window();
  const Text cell = "塔尔维克之冬 Talvik Winter"_gbk;
  for (auto _ : state) {
    in_worker([&] {
      set_enabled(按钮_搜索, false);
      set_visible(透明标签1, true);
      set_text(透明标签1, "搜索中，请耐心等待......"_gbk);
      list_clear(超级列表框1);
      set_visible(透明标签1, false);
      for (int i = 0; i < entries; ++i) {
        const int row = list_append_row(超级列表框1);
        for (int c = 0; c < 5; ++c) {
          list_set_cell(超级列表框1, row, c, cell);
        }
      }
      for (int i = 0; i < entries; ++i) {
        list_set_cell(超级列表框1, i, 5, cell);
      }
      set_enabled(按钮_搜索, true);
    });
  }
}

// --- detail -------------------------------------------------------------------------

void prepare_detail_row() {
  window();
  worker_site = Text(site().base());
  list_clear(超级列表框1);
  const int row = list_append_row(超级列表框1);
  list_set_cell(超级列表框1, row, 3, "/movie/1.html");
  list_set_cell(超级列表框1, row, 5, Text(site().poster_url()));
}

void detail_click(benchmark::State& state) {
  prepare_detail_row();
  MainWindow& w = window();
  ResultList* list = w.result_list();
  list->result_model()->flush();
  QCoreApplication::processEvents();
  list->selectRow(0);
  for (auto _ : state) {
    click_and_wait([list] { list->on_click(); });
  }
  if (get_text(编辑框1).length() < 100) {
    state.SkipWithError("the addresses were not shown");
  }
}

void detail_download(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(curl_download(site().poster_url()));
    benchmark::DoNotOptimize(curl_download(site().detail_url()));
  }
}

void detail_transfer(benchmark::State& state) {
  const Text poster(site().poster_url());
  const Text detail(site().detail_url());
  for (auto _ : state) {
    benchmark::DoNotOptimize(fetch_url(poster));
    benchmark::DoNotOptimize(fetch_url(detail));
  }
}

void detail_conversion(benchmark::State& state) {
  const Bytes body(curl_download(site().detail_url()));
  for (auto _ : state) {
    const Text page = utf8_to_gbk(bytes_to_text(body));
    Text addresses = take_between(page, "var GvodUrls1 = \"", "\";echoDown(GvodUrls1,0)");
    addresses = replace_text(addresses, "$", "  ", 1, -1, true);
    benchmark::DoNotOptimize(replace_text(addresses, "###", "\r\n\r\n", 1, -1, true));
  }
}

void detail_window(benchmark::State& state) {
  window();
  const Bytes poster(curl_download(site().poster_url()));
  const Text addresses = utf8_to_gbk(Text(download_list(40)));
  for (auto _ : state) {
    in_worker([&] {
      set_text(编辑框1, "");
      benchmark::DoNotOptimize(list_get_cell(超级列表框1, list_selected_row(超级列表框1), 3));
      benchmark::DoNotOptimize(list_get_cell(超级列表框1, list_selected_row(超级列表框1), 5));
      set_visible(透明标签2, true);
      set_text(透明标签2, "图片加载中....."_gbk);
      set_text(编辑框1, "正在获取，请耐心等待......"_gbk);
      set_picture(图片框1, poster);
      set_visible(透明标签2, false);
      set_text(编辑框1, addresses);
      benchmark::DoNotOptimize(get_text(编辑框1));
      set_enabled(编辑框1, true);
    });
  }
}

void in_milliseconds(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

void entry_counts(benchmark::internal::Benchmark* b) {
  in_milliseconds(b->Arg(100)->Arg(300)->Arg(1000));
}

}  // namespace

BENCHMARK(search_click)->Name("search_click/ours")->Apply(entry_counts);
BENCHMARK(search_download)->Name("search_click/peer")->Apply(entry_counts);
BENCHMARK(search_without_window)->Name("search_without_window/ours")->Apply(entry_counts);
BENCHMARK(search_download)->Name("search_without_window/peer")->Apply(entry_counts);
BENCHMARK(search_curl_program)
    ->Name("search_without_window/peer-curl")
    ->Arg(100)
    ->Arg(300)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(search_transfer)->Name("search_transfer/ours")->Apply(entry_counts);
BENCHMARK(search_download)->Name("search_transfer/peer")->Apply(entry_counts);
BENCHMARK(search_matching)->Name("search_matching/ours")->Apply(entry_counts);
BENCHMARK(search_download)->Name("search_matching/peer")->Apply(entry_counts);
BENCHMARK(search_conversion)->Name("search_conversion/ours")->Apply(entry_counts);
BENCHMARK(search_download)->Name("search_conversion/peer")->Apply(entry_counts);
BENCHMARK(search_window)->Name("search_window/ours")->Apply(entry_counts);
BENCHMARK(search_download)->Name("search_window/peer")->Apply(entry_counts);
BENCHMARK(detail_click)->Name("detail_click/ours")->Apply(in_milliseconds);
BENCHMARK(detail_download)->Name("detail_click/peer")->Apply(in_milliseconds);
BENCHMARK(detail_transfer)->Name("detail_transfer/ours")->Apply(in_milliseconds);
BENCHMARK(detail_download)->Name("detail_transfer/peer")->Apply(in_milliseconds);
BENCHMARK(detail_conversion)->Name("detail_conversion/ours")->Apply(in_milliseconds);
BENCHMARK(detail_download)->Name("detail_conversion/peer")->Apply(in_milliseconds);
BENCHMARK(detail_window)->Name("detail_window/ours")->Apply(in_milliseconds);
BENCHMARK(detail_download)->Name("detail_window/peer")->Apply(in_milliseconds);
