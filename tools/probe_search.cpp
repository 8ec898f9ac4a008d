// kestrava-probe search --site URL --keyword K [--click ROW] [--screenshot FILE]
//
// Runs the real window offscreen against any site: types the keyword into the
// search box, clicks 搜索, waits until the search worker has ended, and with
// --click clicks that row of the list as a user would and waits until its
// detail worker has ended. Then prints the window's state as one JSON object,
// texts in UTF-8. Exits 0 whenever the flow ran, whatever the site answered.
#include "probe_search.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/placeholder.h"
#include "app/window.h"
#include "app/workers.h"
#include "net/fetch.h"
#include "platform/picture/picture.h"
#include "probe_json.h"
#include "text/codepage.h"
#include "text/text.h"

namespace kestrava::probe {
namespace {

// The workers read it; it is set before the window exists.
Text site;
std::atomic<int> searches_ended{0};
std::atomic<int> details_ended{0};

void run_search() {
  search_worker_at(site);
  ++searches_ended;
}

void run_detail() {
  detail_worker_at(site);
  ++details_ended;
}

// Long enough for both requests of a worker to reach their own time-outs.
constexpr auto worker_limit = std::chrono::minutes(3);

bool wait_until(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + worker_limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qSleep(5);
  }
  return true;
}

std::string json_qstring(const QString& text) {
  return json_string(text.toUtf8().toStdString());
}
const char* json_bool(bool value) {
  return value ? "true" : "false";
}

const char* kind_name(platform::PictureKind kind) {
  switch (kind) {
    case platform::PictureKind::jpeg:
      return "jpeg";
    case platform::PictureKind::png:
      return "png";
    case platform::PictureKind::gif:
      return "gif";
    case platform::PictureKind::bmp:
      return "bmp";
    case platform::PictureKind::ico:
      return "ico";
    case platform::PictureKind::cur:
      return "cur";
    case platform::PictureKind::pcx:
      return "pcx";
  }
  return "unknown";
}

// The picture box keeps frames, not the kind of file they came from. Before
// any click it holds the placeholder; after one, the kind is read from the
// selected row's poster address, the one the detail worker fetched.
std::string picture_json(const MainWindow& window, bool clicked) {
  const PictureBox* box = window.picture_box();
  if (!box->has_picture()) {
    return "null";
  }
  const QSize size = box->current_image().size();
  const Bytes source =
      clicked ? fetch_url(list_get_cell(超级列表框1, list_selected_row(超级列表框1), 5))
              : Bytes(placeholder_jpeg());
  std::string kind = "null";
  if (const auto picture = platform::decode_picture(source.view())) {
    kind = json_string(kind_name(picture->kind));
  }
  return "{\"kind\": " + kind + ", \"width\": " + std::to_string(size.width()) +
         ", \"height\": " + std::to_string(size.height()) +
         ", \"frames\": " + std::to_string(box->frame_count()) + "}";
}

std::string state_json(const MainWindow& window, bool clicked) {
  std::string out = "{\"rows\": [";
  const int count = window.result_list()->result_model()->row_count();
  for (int r = 0; r < count; ++r) {
    out += r ? ", [" : "[";
    for (int c = 0; c < 6; ++c) {
      out += (c ? ", " : "") + json_text(list_get_cell(超级列表框1, r, c));
    }
    out += "]";
  }
  out += "],\n \"status_label\": {\"text\": " + json_qstring(window.status_label()->text()) +
         ", \"visible\": " + json_bool(!window.status_label()->isHidden()) + "}";
  out += ",\n \"search_button\": {\"enabled\": " +
         std::string(json_bool(window.search_button()->isEnabled())) + "}";
  out += ",\n \"address_box\": {\"text\": " + json_text(get_text(编辑框1)) +
         ", \"enabled\": " + json_bool(window.address_box()->isEnabled()) + "}";
  out += ",\n \"loading_label\": {\"text\": " + json_qstring(window.loading_label()->text()) +
         ", \"visible\": " + json_bool(!window.loading_label()->isHidden()) + "}";
  out += ",\n \"picture\": " + picture_json(window, clicked) + "}\n";
  return out;
}

int usage() {
  std::fprintf(stderr,
               "usage: kestrava-probe search --site URL --keyword K [--click ROW] "
               "[--screenshot FILE]\n");
  return 2;
}

// A left click on row as the user makes it: scrolled into view, on its first
// column. A row that does not exist gets a click on the empty area below the
// rows.
void click_row(ResultList* list, int row) {
  list->result_model()->flush();
  QApplication::processEvents();
  QPoint at(10, list->viewport()->height() - 3);
  if (row >= 0 && row < list->result_model()->row_count()) {
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    QApplication::processEvents();
    at = list->visualRect(index).center();
  }
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

int probe_search(int argc, char** argv) {
  std::optional<std::string> site_url;
  std::optional<std::string> keyword;
  std::optional<int> click;
  std::string screenshot;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) {
      return usage();
    }
    const std::string value = argv[++i];
    if (arg == "--site") {
      site_url = value;
    } else if (arg == "--keyword") {
      keyword = value;
    } else if (arg == "--click") {
      char* end = nullptr;
      const long row = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || row < 0 || row > 1'000'000) {
        return usage();
      }
      click = static_cast<int>(row);
    } else if (arg == "--screenshot") {
      screenshot = value;
    } else {
      return usage();
    }
  }
  if (!site_url || !keyword) {
    return usage();
  }
  // The site's scheme and host, as the workers append their paths to it.
  while (!site_url->empty() && site_url->back() == '/') {
    site_url->pop_back();
  }
  site = utf8_to_gbk(Text(*site_url));

  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  static char name[] = "kestrava-probe";
  static char* qt_argv[] = {name, nullptr};
  int qt_argc = 1;
  QApplication application(qt_argc, qt_argv);

  int searches = 0;
  int details = 0;
  WindowHandlers handlers;
  handlers.search_clicked = [&searches] {
    ++searches;
    start_worker(run_search);
  };
  handlers.result_list_clicked = [&details] {
    ++details;
    start_worker(run_detail);
  };
  MainWindow window(handlers);
  window.show_centred();
  QApplication::processEvents();

  // Set whole: QTest's key clicks carry Latin-1 characters only.
  window.search_box()->setText(QString::fromUtf8(*keyword));
  QTest::mouseClick(window.search_button(), Qt::LeftButton);
  bool ran = wait_until([&] { return searches_ended == searches; });
  if (ran && click) {
    click_row(window.result_list(), *click);
    ran = wait_until([&] { return details_ended == details; });
  }
  if (!ran) {
    std::fprintf(stderr, "kestrava-probe: a worker did not end in time\n");
    std::fflush(nullptr);
    std::quick_exit(1);
  }
  window.result_list()->result_model()->flush();
  QTest::qWait(100);
  if (!screenshot.empty() &&
      !window.grab().save(QString::fromLocal8Bit(screenshot.c_str()), "PNG")) {
    std::fprintf(stderr, "kestrava-probe: cannot write %s\n", screenshot.c_str());
  }
  const std::string state = state_json(window, click.has_value());
  std::fwrite(state.data(), 1, state.size(), stdout);
  return 0;
}

}  // namespace kestrava::probe
