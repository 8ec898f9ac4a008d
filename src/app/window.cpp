// The window operations and start_worker.
//
// A call from a worker posts an event to a small object that lives on the
// user-interface thread and waits on a semaphore that the event releases when
// it is destroyed: after it has run, or unrun when the window goes away first.
// The link to the window is checked and the event posted under one mutex, so
// once detach_window has taken the window away no call can reach it and every
// call still queued is released without running.
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <memory>
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

const auto operation_event_type = static_cast<QEvent::Type>(QEvent::registerEventType());

class OperationEvent final : public QEvent {
 public:
  using Call = void (*)(void* body, MainWindow& window);

  OperationEvent(Call call, void* body, std::binary_semaphore* done)
      : QEvent(operation_event_type), call_(call), body_(body), done_(done) {}
  ~OperationEvent() override { done_->release(); }

  void run(MainWindow& window) { call_(body_, window); }

 private:
  Call call_;
  void* body_;
  std::binary_semaphore* done_;
};

class OperationTarget final : public QObject {
 public:
  explicit OperationTarget(MainWindow* window) : QObject(window), window_(window) {}

  bool event(QEvent* event) override {
    if (event->type() == operation_event_type) {
      static_cast<OperationEvent*>(event)->run(*window_);
      return true;
    }
    return QObject::event(event);
  }

 private:
  MainWindow* window_;
};

struct Link {
  std::mutex mutex;
  MainWindow* window = nullptr;
  OperationTarget* target = nullptr;
  std::thread::id ui_thread;
};

// Never destroyed: a worker may still call in while the process ends.
Link& link() {
  static Link* const the_link = new Link;
  return *the_link;
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
  OperationEvent::Call call = [](void* b, MainWindow& window) { (*static_cast<Body*>(b))(window); };
  QCoreApplication::postEvent(l.target, new OperationEvent(call, &body, &done));
  lock.unlock();
  done.acquire();
}

ResultModel* list_model(MainWindow& window) {
  return window.result_list()->result_model();
}

}  // namespace

void attach_window(MainWindow* window) {
  Link& l = link();
  auto* target = new OperationTarget(window);
  std::lock_guard lock(l.mutex);
  l.window = window;
  l.target = target;
  l.ui_thread = std::this_thread::get_id();
}

void detach_window(MainWindow* window) {
  Link& l = link();
  OperationTarget* target = nullptr;
  {
    std::lock_guard lock(l.mutex);
    if (l.window != window) {
      return;
    }
    target = l.target;
    l.window = nullptr;
    l.target = nullptr;
  }
  // Releases every caller still waiting; their calls never run.
  QCoreApplication::removePostedEvents(target, operation_event_type);
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
