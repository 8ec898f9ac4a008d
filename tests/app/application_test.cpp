// The program from start-up to its end: the window closes while workers are
// still inside a request, the process ends with 0, and a worker that calls a
// window operation after the close gets the empty value at once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/application.h"
#include "app/window.h"

namespace kestrava::test {
namespace {

using namespace std::chrono_literals;

// From a worker: true once MainWindow is there (its button has a caption).
void wait_for_window() {
  while (get_text(按钮_搜索).empty()) {
    std::this_thread::sleep_for(5ms);
  }
}

// What Escape does, sent from a worker as the user would press it.
void press_escape_on_the_window() {
  QMetaObject::invokeMethod(
      qApp,
      [] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
          if (top->isVisible()) {
            QTest::keyClick(top, Qt::Key_Escape);
          }
        }
      },
      Qt::QueuedConnection);
}

TEST(ApplicationTest, EscapeEndsTheLoopAndLateOperationsGetEmptyValues) {
  std::atomic<bool> closed{false};
  int late_row = 0;
  Text late_text("unread");
  std::thread in_request([&] {
    wait_for_window();
    list_append_row(超级列表框1);
    while (!closed) {  // the request is still running
      std::this_thread::sleep_for(1ms);
    }
    late_row = list_append_row(超级列表框1);
    late_text = get_text(编辑框_搜索);
    set_text(编辑框1, Text("too late"));
  });
  std::thread user([] {
    wait_for_window();
    press_escape_on_the_window();
  });
  EXPECT_EQ(run_application(), 0);
  closed = true;
  in_request.join();
  user.join();
  EXPECT_EQ(late_row, -1);
  EXPECT_EQ(late_text, Text());
}

// The whole program as main runs it, in a child process: workers that are
// inside a request, or keep calling the window after it closed, neither keep
// the process alive nor change its exit code.
TEST(ApplicationDeathTest, ProcessEndsWithZeroWhileWorkersRun) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        start_worker([] {
          wait_for_window();
          std::this_thread::sleep_for(1h);  // a request that never answers
        });
        start_worker([] {
          wait_for_window();
          for (;;) {
            list_set_cell(超级列表框1, 0, 0, Text("busy"));
            set_picture(图片框1, Bytes(std::string_view("GIF89a")));
          }
        });
        start_worker([] {
          wait_for_window();
          std::this_thread::sleep_for(100ms);
          press_escape_on_the_window();
        });
        end_process(run_application());
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kestrava::test
