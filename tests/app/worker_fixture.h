// The real MainWindow, offscreen, with its handlers starting the search and
// detail workers against a site the test chooses, and ways to act as a user
// would and to read the window back.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/window.h"
#include "app/window_fixture.h"
#include "app/workers.h"
#include "text/codepage.h"
#include "text/text.h"

namespace kestrava::testing {

// Read by the workers; written only while none runs.
inline Text worker_site;
inline std::atomic<int> searches_ended{0};
inline std::atomic<int> details_ended{0};

inline void run_search() {
  search_worker_at(worker_site);
  ++searches_ended;
}

inline void run_detail() {
  detail_worker_at(worker_site);
  ++details_ended;
}

inline std::string utf8(const Text& text) {
  return gbk_to_utf8(text).str();
}
inline std::string utf8(const QString& text) {
  return text.toUtf8().toStdString();
}
inline Text gbk(const std::string& text) {
  return utf8_to_gbk(Text(text));
}

class WorkerTest : public ::testing::Test {
 protected:
  static constexpr int wait_ms = 15000;

  void SetUp() override {
    test::qt_application();
    set_site(server_base());
    searches_ended = 0;
    details_ended = 0;
    WindowHandlers handlers;
    handlers.search_clicked = [this] {
      ++searches_started_;
      start_worker(run_search);
    };
    handlers.result_list_clicked = [this] {
      ++details_started_;
      start_worker(run_detail);
    };
    window_ = std::make_unique<MainWindow>(handlers);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  void TearDown() override {
    // No worker may outlive the window it writes to, nor the server it reads.
    EXPECT_TRUE(wait_for_workers());
    window_.reset();
  }

  // The base address the workers use; the fixture server by default.
  virtual std::string server_base() = 0;
  void set_site(const std::string& base) { worker_site = Text(base); }

  bool wait_for_workers() {
    return wait_until([this] {
      return searches_ended == searches_started_ && details_ended == details_started_;
    });
  }

  // Runs the window's events until done() holds, at most wait_ms.
  template <class Done>
  static bool wait_until(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    // Sleeps in the event loop rather than spinning: the workers need the
    // processor too. The heartbeat wakes it for conditions no event reports.
    QTimer heartbeat;
    heartbeat.start(5);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
  }

  // Types keyword (UTF-8) into the search box, clicks 搜索 and waits until
  // the search worker has ended.
  bool search(const std::string& keyword) {
    type_keyword(keyword);
    click_search();
    return wait_for_workers();
  }
  void type_keyword(const std::string& keyword) {
    // Set whole: QTest's key clicks carry Latin-1 characters only.
    window_->search_box()->setText(QString::fromUtf8(keyword));
  }
  void click_search() { QTest::mouseClick(window_->search_button(), Qt::LeftButton); }

  // A left click in the list as the user makes it: on row, or below the
  // last row when row is -1.
  void click_row(int row) {
    ResultList* list = window_->result_list();
    list->result_model()->flush();
    QApplication::processEvents();
    QPoint at;
    if (row >= 0) {
      at = list->visualRect(list->model()->index(row, 0)).center();
    } else {
      at = QPoint(10, list->viewport()->height() - 3);
    }
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  }
  bool click_row_and_wait(int row) {
    click_row(row);
    return wait_for_workers();
  }

  // Rows straight into the list, as a search would leave them.
  void add_row(const std::string& address, const std::string& poster) {
    const int row = list_append_row(超级列表框1);
    list_set_cell(超级列表框1, row, 0, number_to_text(row + 1));
    list_set_cell(超级列表框1, row, 3, gbk(address));
    list_set_cell(超级列表框1, row, 5, gbk(poster));
  }

  std::vector<std::vector<std::string>> rows() const {
    std::vector<std::vector<std::string>> out;
    const int count = window_->result_list()->result_model()->row_count();
    for (int r = 0; r < count; ++r) {
      std::vector<std::string> row;
      for (int c = 0; c < 6; ++c) {
        row.push_back(utf8(list_get_cell(超级列表框1, r, c)));
      }
      out.push_back(row);
    }
    return out;
  }

  std::string status_text() const { return utf8(window_->status_label()->text()); }
  bool status_shown() const { return !window_->status_label()->isHidden(); }
  bool loading_shown() const { return !window_->loading_label()->isHidden(); }
  bool button_enabled() const { return window_->search_button()->isEnabled(); }
  std::string address_text() const { return utf8(get_text(编辑框1)); }
  bool address_enabled() const { return window_->address_box()->isEnabled(); }

  std::unique_ptr<MainWindow> window_;
  int searches_started_ = 0;
  int details_started_ = 0;
};

}  // namespace kestrava::testing
