// The window under many workers at once: a burst of detail clicks while a
// search fills the list, and the window closing while fifty workers are
// inside requests.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "posters.h"
#include "site_markup.h"
#include "support/fault_server.h"
#include "worker_fixture.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;
using test::FaultResponse;
using test::FaultServer;

class WorkerLoadTest : public WorkerTest {
 protected:
  std::string server_base() override { return server_.base_url(); }
  FaultServer server_;
};

// 200 clicks on the rows while the search is still appending them: every
// worker ends, the list is whole and in order, and the controls hold what a
// worker wrote last.
TEST_F(WorkerLoadTest, TwoHundredDetailClicksWhileASearchFillsTheList) {
  constexpr int entries = 500;
  constexpr int clicks = 200;
  std::vector<ResultEntry> page;
  for (int i = 0; i < entries; ++i) {
    page.push_back({"HD", "/movie/" + std::to_string(i % 7) + ".html", "T" + std::to_string(i), "C",
                    server_.base_url() + "/poster.png"});
  }
  server_.on("/search.php", FaultResponse{.body = search_markup(page)});
  for (int i = 0; i < 7; ++i) {
    server_.on("/movie/" + std::to_string(i) + ".html",
               FaultResponse{.body = detail_markup("m" + std::to_string(i) + "$x")});
  }
  // A click that finds the row's cells still empty asks the base alone.
  server_.on("/", FaultResponse{.body = detail_markup("base$x")});
  server_.on("/poster.png", FaultResponse{.body = demo::make_poster(demo::PosterKind::png, 3),
                                          .content_type = "image/png"});

  click_search();
  int during_search = 0;
  for (int i = 0; i < clicks; ++i) {
    const int shown = window_->result_list()->result_model()->row_count();
    click_row(shown == 0 ? -1 : i % std::min(shown, 6));
    during_search += searches_ended == 0 ? 1 : 0;
  }
  ASSERT_TRUE(wait_for_workers());

  EXPECT_EQ(details_started_, clicks);
  EXPECT_GT(during_search, 0);
  const auto list = rows();
  ASSERT_EQ(list.size(), static_cast<std::size_t>(entries));
  for (int i = 0; i < entries; ++i) {
    ASSERT_EQ(list[static_cast<std::size_t>(i)][0], std::to_string(i + 1));
    ASSERT_EQ(list[static_cast<std::size_t>(i)][2], "T" + std::to_string(i));
  }
  EXPECT_TRUE(button_enabled());
  EXPECT_FALSE(status_shown());
  EXPECT_FALSE(loading_shown());
  const std::string shown = address_text();
  EXPECT_TRUE(shown.ends_with("  x")) << shown;
  EXPECT_TRUE(address_enabled());
  std::printf("[load] %d of %d clicks while the search ran\n", during_search, clicks);
}

// For the child process: the site every worker is stuck in.
Text stuck_site;
FaultServer* stuck_server = nullptr;

void stuck_detail() {
  detail_worker_at(stuck_site);
}
void stuck_search() {
  search_worker_at(stuck_site);
}

// The whole program in a child process, closed while 49 detail workers and a
// search are inside requests that never answer: it ends with 0, at once.
TEST(WorkerLoadDeathTest, ClosingWithFiftyWorkersInsideRequestsEndsAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Named once by the parent; the child, which runs this body again,
  // inherits the name.
  setenv("KESTRAVA_CLOSE_STAMP",
         (::testing::TempDir() + "close_stamp_" + std::to_string(getpid())).c_str(), 0);
  const std::string stamp_file = std::getenv("KESTRAVA_CLOSE_STAMP");
  std::remove(stamp_file.c_str());
  EXPECT_EXIT(
      {
        stuck_server = new FaultServer;  // left to the process's end
        stuck_server->on("/", FaultResponse{.fault = test::Fault::silent});
        stuck_server->on("/search.php", FaultResponse{.fault = test::Fault::silent});
        stuck_site = Text(stuck_server->base_url());
        for (int i = 0; i < 49; ++i) {
          start_worker(stuck_detail);
        }
        start_worker(stuck_search);
        static std::string stamp_path = stamp_file;
        start_worker([] {
          while (stuck_server->connections() < 50) {
            std::this_thread::sleep_for(5ms);
          }
          while (get_text(按钮_搜索).empty()) {  // until the window is there
            std::this_thread::sleep_for(5ms);
          }
          const auto now = std::chrono::steady_clock::now().time_since_epoch();
          std::ofstream(stamp_path)
              << std::chrono::duration_cast<std::chrono::microseconds>(now).count();
          QMetaObject::invokeMethod(
              qApp, [] { QApplication::closeAllWindows(); }, Qt::QueuedConnection);
        });
        end_process(run_application());
      },
      ::testing::ExitedWithCode(0), "");
  // The child wrote when it closed the window; the time since then bounds
  // from above how long the process took to end.
  long long closed_at = 0;
  ASSERT_TRUE(std::ifstream(stamp_file) >> closed_at);
  const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count();
  std::printf("[load] ended %lld ms after the close\n", (now - closed_at) / 1000);
  EXPECT_LT(now - closed_at, 1'000'000);
  std::remove(stamp_file.c_str());
}

}  // namespace
}  // namespace kestrava::testing
