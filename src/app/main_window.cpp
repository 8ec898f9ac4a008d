#include "app/main_window.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QWindow>
#include <limits>

#include "app/controls.h"
#include "app/placeholder.h"
#include "app/workers.h"

namespace kestrava {

void on_search_button_clicked() {
  start_worker(search_worker);
}

void on_result_list_clicked() {
  start_worker(detail_worker);
}

namespace {

constexpr Qt::WindowFlags window_flags = Qt::Window | Qt::CustomizeWindowHint |
                                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

// The right and bottom edges of the outermost controls: a client area smaller
// than this would cut controls off.
constexpr QSize controls_extent{667, 472};

}  // namespace

MainWindow::MainWindow(WindowHandlers handlers)
    : QWidget(nullptr, window_flags), handlers_(std::move(handlers)) {
  setWindowTitle(QStringLiteral("Kestrava V1.0"));
  setFixedSize(window_client_size);

  // Qt stacks a later sibling above an earlier one, so the controls are made
  // from the bottom of the stack up.
  result_list_ = new ResultList(this);
  result_list_->setGeometry(0, 8, 664, 192);

  search_button_ = new QPushButton(QStringLiteral("搜索"), this);
  search_button_->setGeometry(7, 208, 88, 32);
  search_button_->setAutoDefault(false);
  search_button_->setDefault(false);

  search_box_ = new QLineEdit(QStringLiteral("Talvik"), this);
  search_box_->setGeometry(104, 207, 112, 32);
  search_box_->setMaxLength(std::numeric_limits<int>::max());
  search_box_->setAlignment(Qt::AlignCenter);
  QPalette red_text = search_box_->palette();
  red_text.setColor(QPalette::Active, QPalette::Text, QColor(255, 0, 0));
  red_text.setColor(QPalette::Inactive, QPalette::Text, QColor(255, 0, 0));
  search_box_->setPalette(red_text);

  address_group_ = new GroupBox(QStringLiteral("下载地址"), Qt::AlignRight, this);
  address_group_->setGeometry(1, 241, 495, 231);

  address_box_ = new QPlainTextEdit(address_group_);
  address_box_->setGeometry(7, 17, 480, 206);
  address_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  address_box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  address_box_->setTabChangesFocus(true);
  address_box_->setEnabled(false);

  picture_group_ = new GroupBox(QStringLiteral("图片框"), Qt::AlignLeft, this);
  picture_group_->setGeometry(496, 208, 171, 264);

  picture_box_ = new PictureBox(picture_group_);
  picture_box_->setGeometry(4, 20, 163, 233);
  picture_box_->set_frames(decode_frames(placeholder_jpeg()));

  loading_label_ = new TransparentLabel(picture_box_, QColor(255, 0, 255));
  loading_label_->setGeometry(4, 97, 152, 32);

  status_label_ = new TransparentLabel(this, Qt::black);
  status_label_->setGeometry(208, 88, 192, 32);
  status_label_->hide();

  setTabOrder(search_box_, search_button_);
  setTabOrder(search_button_, result_list_);
  setTabOrder(result_list_, address_box_);

  connect(search_button_, &QPushButton::clicked, this, [this] {
    if (handlers_.search_clicked) {
      handlers_.search_clicked();
    }
  });
  result_list_->on_click = [this] {
    if (handlers_.result_list_clicked) {
      handlers_.result_list_clicked();
    }
  };
  // Enter does nothing: there is no default button and nothing listens to
  // the search box's return key.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &QWidget::close);

  attach_window(this);
}

MainWindow::~MainWindow() {
  detach_window(this);
}

QWidget* MainWindow::control(Control control) const {
  switch (control) {
    case 透明标签1:
      return status_label_;
    case 分组框2:
      return picture_group_;
    case 图片框1:
      return picture_box_;
    case 透明标签2:
      return loading_label_;
    case 分组框1:
      return address_group_;
    case 编辑框1:
      return address_box_;
    case 编辑框_搜索:
      return search_box_;
    case 按钮_搜索:
      return search_button_;
    case 超级列表框1:
      return result_list_;
  }
  return nullptr;
}

void MainWindow::show_centred() {
  const QRect screen_area = screen()->geometry();
  move(screen_area.x() + (screen_area.width() - window_outer_size.width()) / 2,
       screen_area.y() + (screen_area.height() - window_outer_size.height()) / 2);
  show();
}

bool MainWindow::event(QEvent* event) {
  if (!frame_fitted_ && (event->type() == QEvent::Show || event->type() == QEvent::Move)) {
    fit_frame();
  }
  return QWidget::event(event);
}

// Once the window manager has framed the window, the frame and the client
// area together take the outer size; never so small that controls are cut.
void MainWindow::fit_frame() {
  const QWindow* handle = windowHandle();
  if (handle == nullptr) {
    return;
  }
  const QMargins frame = handle->frameMargins();
  if (frame.isNull()) {
    return;
  }
  frame_fitted_ = true;
  const QSize client = QSize(window_outer_size.width() - frame.left() - frame.right(),
                             window_outer_size.height() - frame.top() - frame.bottom())
                           .expandedTo(controls_extent);
  setFixedSize(client);
  const QRect screen_area = screen()->geometry();
  move(screen_area.x() + (screen_area.width() - window_outer_size.width()) / 2,
       screen_area.y() + (screen_area.height() - window_outer_size.height()) / 2);
}

}  // namespace kestrava
