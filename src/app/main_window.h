// MainWindow: the program's only window with every control in its initial
// state, and the two event handlers.
#pragma once

#include <QWidget>
#include <functional>

#include "app/window.h"

class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kestrava {

class PictureBox;
class ResultList;
class TransparentLabel;

// The handlers: each starts a worker and returns.
void on_search_button_clicked();
void on_result_list_clicked();

// The outer size including the frame, and the client area used where the
// window system reports no frame: that of a Windows dialog frame (3 pixels
// each side) and caption (23 pixels).
inline constexpr QSize window_outer_size{678, 505};
inline constexpr QSize window_client_size{672, 476};

// What the two events run; the program uses the handlers above, tests put
// their own in.
struct WindowHandlers {
  std::function<void()> search_clicked = on_search_button_clicked;
  std::function<void()> result_list_clicked = on_result_list_clicked;
};

class MainWindow : public QWidget {
 public:
  // The window operations of app/window.h reach this window from its creation
  // until it is destroyed.
  explicit MainWindow(WindowHandlers handlers = {});
  ~MainWindow() override;

  // Centred on its screen, as the window system reports the frame.
  void show_centred();

  QWidget* control(Control control) const;
  TransparentLabel* status_label() const { return status_label_; }
  TransparentLabel* loading_label() const { return loading_label_; }
  QGroupBox* picture_group() const { return picture_group_; }
  QGroupBox* address_group() const { return address_group_; }
  PictureBox* picture_box() const { return picture_box_; }
  QPlainTextEdit* address_box() const { return address_box_; }
  QLineEdit* search_box() const { return search_box_; }
  QPushButton* search_button() const { return search_button_; }
  ResultList* result_list() const { return result_list_; }

 protected:
  bool event(QEvent* event) override;

 private:
  void fit_frame();

  WindowHandlers handlers_;
  ResultList* result_list_;
  QPushButton* search_button_;
  QLineEdit* search_box_;
  QGroupBox* address_group_;
  QPlainTextEdit* address_box_;
  QGroupBox* picture_group_;
  PictureBox* picture_box_;
  TransparentLabel* loading_label_;
  TransparentLabel* status_label_;
  bool frame_fitted_ = false;
};

// The link between the window operations and the window (window.cpp).
void attach_window(MainWindow* window);
void detach_window(MainWindow* window);

}  // namespace kestrava
