#include "app/controls.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <limits>

#include "app/qt_text.h"
#include "platform/picture/picture.h"

namespace kestrava {

TransparentLabel::TransparentLabel(QWidget* parent, QColor color) : QWidget(parent), color_(color) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

void TransparentLabel::set_text(const QString& text) {
  text_ = text;
  update();
}

void TransparentLabel::paintEvent(QPaintEvent*) {
  if (text_.isEmpty()) {
    return;
  }
  QPainter painter(this);
  painter.setPen(color_);
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text_);
}

GroupBox::GroupBox(const QString& caption, Qt::Alignment side, QWidget* parent)
    : QGroupBox(caption, parent) {
  setAlignment(side);
  setFocusPolicy(Qt::NoFocus);
}

void GroupBox::paintEvent(QPaintEvent*) {
  // The frame line runs through the middle of the caption, which sits 8
  // pixels in from its side, on a gap in the line.
  constexpr int caption_inset = 8;
  constexpr int caption_padding = 2;
  QPainter painter(this);
  const QFontMetrics metrics = fontMetrics();
  const int line_y = metrics.height() / 2;
  const QRect frame = rect().adjusted(0, line_y, -2, -2);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(frame);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawRect(frame.translated(1, 1));
  if (title().isEmpty()) {
    return;
  }
  const int caption_width = metrics.horizontalAdvance(title()) + 2 * caption_padding;
  const int left =
      alignment() & Qt::AlignRight ? width() - caption_inset - caption_width : caption_inset;
  const QRect caption(left, 0, caption_width, metrics.height());
  painter.fillRect(caption, palette().color(QPalette::Window));
  painter.setPen(Qt::black);
  painter.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title());
}

std::optional<Frames> decode_frames(std::string_view bytes) {
  std::optional<platform::Picture> picture = platform::decode_picture(bytes);
  if (!picture || picture->frames.empty() || picture->width <= 0 || picture->height <= 0) {
    return std::nullopt;
  }
  const auto width = static_cast<std::size_t>(picture->width);
  const auto height = static_cast<std::size_t>(picture->height);
  const std::size_t row_bytes = width * 4;
  Frames frames;
  frames.images.reserve(picture->frames.size());
  frames.delays_ms.reserve(picture->frames.size());
  for (platform::PictureFrame& frame : picture->frames) {
    if (frame.rgba.size() != row_bytes * height) {
      break;
    }
    // The image takes the decoder's pixels over rather than copying them: an
    // animation may hold many frames.
    auto* pixels = new std::vector<std::uint8_t>(std::move(frame.rgba));
    frames.images.emplace_back(
        pixels->data(), picture->width, picture->height, static_cast<qsizetype>(row_bytes),
        QImage::Format_RGBA8888,
        [](void* owned) { delete static_cast<std::vector<std::uint8_t>*>(owned); }, pixels);
    frames.delays_ms.push_back(frame.delay_ms);
  }
  if (frames.images.empty()) {
    return std::nullopt;
  }
  return frames;
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  setFocusPolicy(Qt::NoFocus);
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { next_frame(); });
}

namespace {

// As browsers do: a delay of 10 ms or less stands for a GIF written without
// a real delay, which would otherwise spin.
int frame_delay(int delay_ms) {
  return delay_ms <= 10 ? 100 : delay_ms;
}

}  // namespace

void PictureBox::set_frames(std::optional<Frames> frames) {
  timer_.stop();
  frames_ = std::move(frames);
  current_ = 0;
  if (frame_count() > 1) {
    timer_.start(frame_delay(frames_->delays_ms[0]));
  }
  update();
}

QImage PictureBox::current_image() const {
  return frames_ ? frames_->images[static_cast<std::size_t>(current_)] : QImage();
}

void PictureBox::next_frame() {
  if (frame_count() <= 1) {
    return;
  }
  current_ = (current_ + 1) % frame_count();
  timer_.start(frame_delay(frames_->delays_ms[static_cast<std::size_t>(current_)]));
  update();
}

void PictureBox::paintEvent(QPaintEvent*) {
  if (!frames_) {
    return;
  }
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(rect(), frames_->images[static_cast<std::size_t>(current_)]);
}

namespace {

// Often enough that rows appear while a search fills the list, seldom enough
// that a fill of thousands of rows costs a handful of layouts.
constexpr int flush_interval_ms = 25;

const QString& column_title(int column) {
  static const std::array<QString, ResultModel::column_count> titles = {
      QStringLiteral("序号"), QStringLiteral("集数(清晰度)"), QStringLiteral("名称"),
      QStringLiteral("地址"), QStringLiteral("主演"),         QStringLiteral("图片地址"),
  };
  return titles[static_cast<std::size_t>(column)];
}

constexpr std::array<int, ResultModel::column_count> column_widths = {50, 150, 180, 0, 279, 0};

}  // namespace

ResultModel::ResultModel(QObject* parent) : QAbstractTableModel(parent) {
  flush_timer_.setSingleShot(true);
  flush_timer_.setInterval(flush_interval_ms);
  QObject::connect(&flush_timer_, &QTimer::timeout, this, [this] { flush(); });
}

int ResultModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_rows_;
}

int ResultModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : column_count;
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= shown_rows_ ||
      index.column() >= column_count) {
    return {};
  }
  return to_qstring(
      rows_[static_cast<std::size_t>(index.row())][static_cast<std::size_t>(index.column())]);
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= column_count) {
    return {};
  }
  if (role == Qt::DisplayRole) {
    return column_title(section);
  }
  return {};
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) {
    return Qt::NoItemFlags;
  }
  return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

void ResultModel::clear() {
  flush_timer_.stop();
  beginResetModel();
  rows_ = {};
  shown_rows_ = 0;
  dirty_first_ = dirty_last_ = -1;
  endResetModel();
}

int ResultModel::append_row() {
  if (rows_.size() >= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    return -1;
  }
  rows_.emplace_back();
  schedule_flush();
  return row_count() - 1;
}

void ResultModel::set_cell(int row, int column, Text text) {
  if (row < 0 || row >= row_count() || column < 0 || column >= column_count) {
    return;
  }
  rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = std::move(text);
  if (row < shown_rows_) {
    dirty_first_ = dirty_first_ < 0 ? row : std::min(dirty_first_, row);
    dirty_last_ = std::max(dirty_last_, row);
    schedule_flush();
  }
}

Text ResultModel::cell(int row, int column) const {
  if (row < 0 || row >= row_count() || column < 0 || column >= column_count) {
    return {};
  }
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void ResultModel::schedule_flush() {
  if (!flush_timer_.isActive()) {
    flush_timer_.start();
  }
}

void ResultModel::flush() {
  flush_timer_.stop();
  if (shown_rows_ < row_count()) {
    beginInsertRows(QModelIndex(), shown_rows_, row_count() - 1);
    shown_rows_ = row_count();
    endInsertRows();
  }
  if (dirty_first_ >= 0) {
    emit dataChanged(index(dirty_first_, 0), index(dirty_last_, column_count - 1),
                     {Qt::DisplayRole});
    dirty_first_ = dirty_last_ = -1;
  }
}

ResultList::ResultList(QWidget* parent) : QTableView(parent), model_(new ResultModel(this)) {
  setModel(model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setShowGrid(true);
  setWordWrap(false);
  setTabKeyNavigation(false);
  setDragEnabled(false);
  setMouseTracking(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setFocusPolicy(Qt::StrongFocus);

  QHeaderView* rows = verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(fontMetrics().height() + 4);

  QHeaderView* header = horizontalHeader();
  header->setSectionsClickable(false);
  header->setSectionsMovable(false);
  header->setHighlightSections(false);
  header->setSortIndicatorShown(false);
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(0);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setSectionResizeMode(QHeaderView::Interactive);
  for (int column = 0; column < ResultModel::column_count; ++column) {
    header->resizeSection(column, column_widths[static_cast<std::size_t>(column)]);
  }

  // The selected row stays highlighted while another control has the focus.
  QPalette colours = palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
  }
  setPalette(colours);
}

int ResultList::selected_row() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void ResultList::mousePressEvent(QMouseEvent* event) {
  QTableView::mousePressEvent(event);
  left_press_ = event->button() == Qt::LeftButton;
  // A click on no row leaves no row selected, as in a list view.
  if (left_press_ && !indexAt(event->position().toPoint()).isValid()) {
    selectionModel()->clearSelection();
  }
}

void ResultList::mouseReleaseEvent(QMouseEvent* event) {
  QTableView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && left_press_) {
    left_press_ = false;
    if (on_click) {
      on_click();
    }
  }
}

// As in a report view with grid lines, the grid goes on below the last row
// down to the bottom of the view.
void ResultList::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  const int rows = model_->rowCount();
  const int top = rows == 0 ? 0 : rowViewportPosition(rows - 1) + rowHeight(rows - 1);
  const int height = viewport()->height();
  if (top >= height) {
    return;
  }
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const auto grid =
      static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this));
  QPainter painter(viewport());
  painter.setPen(QColor::fromRgba(grid));
  const int step = verticalHeader()->defaultSectionSize();
  for (int y = top + step - 1; y < height; y += step) {
    painter.drawLine(0, y, viewport()->width(), y);
  }
  for (int column = 0; column < ResultModel::column_count; ++column) {
    if (columnWidth(column) > 0) {
      const int x = columnViewportPosition(column) + columnWidth(column) - 1;
      painter.drawLine(x, top, x, height);
    }
  }
}

void ResultList::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second click of a double click is the double-click notification,
  // which starts nothing.
  QTableView::mouseDoubleClickEvent(event);
  left_press_ = false;
}

}  // namespace kestrava
