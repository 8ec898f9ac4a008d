// The window operations and start_worker.
//
// A call from a worker joins a queue and waits on a semaphore of its own. The
// queue is drained on the user-interface thread, woken by one queued call
// whenever the queue stops being empty; each call is released when it has
// run, in the order the calls were queued. The queue and the link to the
// window share one mutex, so once detach_window has taken the window away no
// call can reach it, and the calls still queued are released without running.
// (Our own queue rather than one event per call: the handoff stays visible to
// ThreadSanitizer, and a burst of calls from several workers costs one
// wake-up.)
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <deque>
#include <mutex>
#include <semaphore>
#include <system_error>
#include <thread>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/window.h"

namespace kestrava {
namespace {

struct Call {
  void (*run)(void* body, MainWindow& window);
  void* body;
  std::binary_semaphore* done;
};

struct Link {
  std::mutex mutex;
  MainWindow* window = nullptr;
  QObject* target = nullptr;  // a child of the window, living on its thread
  std::thread::id ui_thread;
  std::deque<Call> calls;
  bool drain_posted = false;
};

// Never destroyed: a worker may still call in while the process ends.
Link& link() {
  static Link* const the_link = new Link;
  return *the_link;
}

// On the user-interface thread: runs the queued calls in order.
void drain_calls() {
  Link& l = link();
  for (;;) {
    Call call{};
    MainWindow* window = nullptr;
    {
      std::lock_guard lock(l.mutex);
      if (l.calls.empty() || l.window == nullptr) {
        l.drain_posted = false;
        return;
      }
      call = l.calls.front();
      l.calls.pop_front();
      window = l.window;
    }
    call.run(call.body, *window);
    call.done->release();
  }
}

// Runs body(window) on the user-interface thread and returns when it has run;
// returns at once without running it when there is no window.
template <class Body>
void on_ui_thread(Body& body) {
  Link& l = link();
  std::unique_lock lock(l.mutex);
  if (l.window == nullptr) {
    return;
  }
  if (std::this_thread::get_id() == l.ui_thread) {
    MainWindow& window = *l.window;
    lock.unlock();
    body(window);
    return;
  }
  std::binary_semaphore done(0);
  l.calls.push_back(
      {[](void* b, MainWindow& window) { (*static_cast<Body*>(b))(window); }, &body, &done});
  if (!l.drain_posted) {
    l.drain_posted = true;
    // Dropped by Qt if the target goes first; detach_window releases the
    // calls then. A lambda without captures rather than &drain_calls: Qt
    // would store the function pointer in the posted event and read it back
    // on the other thread, a hand-off through Qt's queue that ThreadSanitizer
    // cannot see; the lambda reads nothing before drain_calls takes the mutex.
    QMetaObject::invokeMethod(
        l.target, [] { drain_calls(); }, Qt::QueuedConnection);
  }
  lock.unlock();
  done.acquire();
}

ResultModel* list_model(MainWindow& window) {
  return window.result_list()->result_model();
}

}  // namespace

void attach_window(MainWindow* window) {
  Link& l = link();
  auto* target = new QObject(window);
  std::lock_guard lock(l.mutex);
  l.window = window;
  l.target = target;
  l.ui_thread = std::this_thread::get_id();
}

void detach_window(MainWindow* window) {
  Link& l = link();
  std::deque<Call> unrun;
  {
    std::lock_guard lock(l.mutex);
    if (l.window != window) {
      return;
    }
    l.window = nullptr;
    l.target = nullptr;
    l.drain_posted = false;
    unrun.swap(l.calls);
  }
  // Every caller still waiting goes on with the empty value.
  for (const Call& call : unrun) {
    call.done->release();
  }
}

void set_visible(Control control, bool visible) {
  auto body = [&](MainWindow& window) {
    if (QWidget* widget = window.control(control)) {
      widget->setVisible(visible);
    }
  };
  on_ui_thread(body);
}

void set_enabled(Control control, bool enabled) {
  auto body = [&](MainWindow& window) {
    if (QWidget* widget = window.control(control)) {
      widget->setEnabled(enabled);
    }
  };
  on_ui_thread(body);
}

void set_text(Control control, const Text& text) {
  QString string = to_qstring(text);
  auto body = [&](MainWindow& window) {
    switch (control) {
      case 透明标签1:
        window.status_label()->set_text(string);
        break;
      case 透明标签2:
        window.loading_label()->set_text(string);
        break;
      case 编辑框1:
        window.address_box()->setPlainText(string);
        break;
      case 编辑框_搜索:
        window.search_box()->setText(string);
        break;
      case 按钮_搜索:
        window.search_button()->setText(string);
        break;
      case 分组框1:
        window.address_group()->setTitle(string);
        break;
      case 分组框2:
        window.picture_group()->setTitle(string);
        break;
      case 图片框1:
      case 超级列表框1:
        break;
    }
  };
  if (control == 编辑框1) {
    string.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  }
  on_ui_thread(body);
}

Text get_text(Control control) {
  QString string;
  auto body = [&](MainWindow& window) {
    switch (control) {
      case 透明标签1:
        string = window.status_label()->text();
        break;
      case 透明标签2:
        string = window.loading_label()->text();
        break;
      case 编辑框1:
        string = window.address_box()->toPlainText();
        break;
      case 编辑框_搜索:
        string = window.search_box()->text();
        break;
      case 按钮_搜索:
        string = window.search_button()->text();
        break;
      case 分组框1:
        string = window.address_group()->title();
        break;
      case 分组框2:
        string = window.picture_group()->title();
        break;
      case 图片框1:
      case 超级列表框1:
        break;
    }
  };
  on_ui_thread(body);
  if (control == 编辑框1) {
    string.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  }
  return to_text(string);
}

void set_picture(Control control, const Bytes& picture) {
  if (control != 图片框1) {
    return;
  }
  // Decoded on the caller's thread: a large poster never stalls the window.
  std::optional<Frames> frames = decode_frames(picture.view());
  auto body = [&](MainWindow& window) { window.picture_box()->set_frames(std::move(frames)); };
  on_ui_thread(body);
}

void list_clear(Control control) {
  if (control != 超级列表框1) {
    return;
  }
  auto body = [](MainWindow& window) { list_model(window)->clear(); };
  on_ui_thread(body);
}

int list_append_row(Control control) {
  int row = -1;
  if (control != 超级列表框1) {
    return row;
  }
  auto body = [&](MainWindow& window) { row = list_model(window)->append_row(); };
  on_ui_thread(body);
  return row;
}

void list_set_cell(Control control, int row, int column, const Text& text) {
  if (control != 超级列表框1) {
    return;
  }
  auto body = [&](MainWindow& window) { list_model(window)->set_cell(row, column, text); };
  on_ui_thread(body);
}

Text list_get_cell(Control control, int row, int column) {
  Text text;
  if (control != 超级列表框1) {
    return text;
  }
  auto body = [&](MainWindow& window) { text = list_model(window)->cell(row, column); };
  on_ui_thread(body);
  return text;
}

int list_selected_row(Control control) {
  int row = -1;
  if (control != 超级列表框1) {
    return row;
  }
  auto body = [&](MainWindow& window) { row = window.result_list()->selected_row(); };
  on_ui_thread(body);
  return row;
}

void start_worker(WorkerRoutine routine) {
  if (routine == nullptr) {
    return;
  }
  try {
    std::thread(routine).detach();
  } catch (const std::system_error&) {
    // No thread: the click has no effect.
  }
}

}  // namespace kestrava
