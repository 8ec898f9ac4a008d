// The custom controls of MainWindow: the transparent label, the picture box
// and the result list with its model.
#pragma once

#include <QAbstractTableModel>
#include <QGroupBox>
#include <QImage>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "text/text.h"

namespace kestrava {

// Text drawn straight over whatever lies beneath, on one line, centred; "&"
// is an ordinary character. Clicks fall through to the control beneath.
class TransparentLabel : public QWidget {
 public:
  TransparentLabel(QWidget* parent, QColor color);

  void set_text(const QString& text);
  const QString& text() const { return text_; }
  QColor color() const { return color_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
  QColor color_;
};

// A group frame with its caption on the top edge, at the left or the right
// (alignment), over the button-face colour; the caption is black.
class GroupBox : public QGroupBox {
 public:
  GroupBox(const QString& caption, Qt::Alignment side, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A decoded picture: one frame for a still picture, several for an animation.
struct Frames {
  std::vector<QImage> images;  // Format_RGBA8888, all of one size
  std::vector<int> delays_ms;  // one per image
};

// Decodes picture bytes of any kind the picture box knows; nothing for empty,
// short or unrecognised data. Safe on any thread.
std::optional<Frames> decode_frames(std::string_view bytes);

// Stretches its picture over its whole area, aspect ratio not kept; plays an
// animation; shows only its background without a picture.
class PictureBox : public QWidget {
 public:
  explicit PictureBox(QWidget* parent);

  void set_frames(std::optional<Frames> frames);
  bool has_picture() const { return frames_.has_value(); }
  int frame_count() const { return frames_ ? static_cast<int>(frames_->images.size()) : 0; }
  int current_frame() const { return current_; }
  // The frame on show, unscaled; null without a picture.
  QImage current_image() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void next_frame();

  std::optional<Frames> frames_;
  int current_ = 0;
  QTimer timer_;
};

// The rows of the result list. Reads and writes work on the rows at once; the
// view learns of changes in batches (flush), so a worker filling the list
// costs no layout or repaint per call.
class ResultModel : public QAbstractTableModel {
 public:
  static constexpr int column_count = 6;

  explicit ResultModel(QObject* parent);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  void clear();
  int append_row();
  void set_cell(int row, int column, Text text);
  Text cell(int row, int column) const;
  int row_count() const { return static_cast<int>(rows_.size()); }

  // Tells the view what changed since the last flush.
  void flush();

 private:
  using Row = std::array<Text, column_count>;

  void schedule_flush();

  std::vector<Row> rows_;
  int shown_rows_ = 0;  // the rows the view knows of
  int dirty_first_ = -1;
  int dirty_last_ = -1;
  QTimer flush_timer_;
};

// Report view with a header, grid lines, single full-row selection and no
// editing or sorting. on_click runs after a left click anywhere in the rows'
// area, on a row or below the rows, once the selection has moved.
class ResultList : public QTableView {
 public:
  explicit ResultList(QWidget* parent);

  ResultModel* result_model() const { return model_; }
  // -1 when no row is selected.
  int selected_row() const;

  std::function<void()> on_click;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  ResultModel* model_;
  bool left_press_ = false;
};

}  // namespace kestrava
