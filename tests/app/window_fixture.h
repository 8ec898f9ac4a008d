// The real MainWindow, offscreen, with handlers that count the events instead
// of starting workers, and a way to call the window operations from a worker
// thread while the test's own thread runs the window.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/window.h"

namespace kestrava::test {

// One QApplication for the whole test program, made before the first test
// and destroyed after the last (window_fixture.cpp).
QApplication& qt_application();

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt_application();
    WindowHandlers handlers;
    handlers.search_clicked = [this] { ++searches; };
    handlers.result_list_clicked = [this] {
      ++details;
      // What a detail worker would find when it starts.
      selected_at_click = list_selected_row(超级列表框1);
    };
    window = std::make_unique<MainWindow>(handlers);
    window->show_centred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  void TearDown() override { window.reset(); }

  // Runs f on a thread of its own and keeps this, the user-interface thread,
  // handling events until f has returned.
  template <class F>
  void in_worker(F&& f) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      f();
      done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done && std::chrono::steady_clock::now() < deadline) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    worker.join();
    ASSERT_TRUE(done) << "the worker did not finish";
  }

  ResultList* list() const { return window->result_list(); }
  ResultModel* model() const { return list()->result_model(); }

  // Lets the view catch up with the rows, as it would a moment later.
  void show_rows() {
    model()->flush();
    QCoreApplication::processEvents();
  }

  // Fills n rows on the user-interface thread, cell (r, c) reading "r.c".
  void fill_rows(int n);

  std::unique_ptr<MainWindow> window;
  int searches = 0;
  int details = 0;
  int selected_at_click = -2;
};

}  // namespace kestrava::test
