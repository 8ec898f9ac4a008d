// MainWindow as the user meets it: every control in its initial state, the
// two events and what must not raise them, the keys.
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

#include "app/window_fixture.h"
#include "text/codepage.h"

namespace kestrava::test {
namespace {

using MainWindowTest = WindowTest;

struct ControlCase {
  const char* name;
  Control control;
  QWidget* (*parent)(const MainWindow&);
  QRect geometry;
  bool visible;
  bool enabled;
  const char* text;  // UTF-8; nullptr where the control has none
};

QWidget* window_itself(const MainWindow& w) {
  return const_cast<MainWindow*>(&w);
}
QWidget* picture_group(const MainWindow& w) {
  return w.picture_group();
}
QWidget* picture_box(const MainWindow& w) {
  return w.picture_box();
}
QWidget* address_group(const MainWindow& w) {
  return w.address_group();
}

const ControlCase control_cases[] = {
    {"status_label", 透明标签1, window_itself, {208, 88, 192, 32}, false, true, ""},
    {"picture_group", 分组框2, window_itself, {496, 208, 171, 264}, true, true, "图片框"},
    {"picture_box", 图片框1, picture_group, {4, 20, 163, 233}, true, true, nullptr},
    {"loading_label", 透明标签2, picture_box, {4, 97, 152, 32}, true, true, ""},
    {"address_group", 分组框1, window_itself, {1, 241, 495, 231}, true, true, "下载地址"},
    {"address_box", 编辑框1, address_group, {7, 17, 480, 206}, true, false, ""},
    {"search_box", 编辑框_搜索, window_itself, {104, 207, 112, 32}, true, true, "Talvik"},
    {"search_button", 按钮_搜索, window_itself, {7, 208, 88, 32}, true, true, "搜索"},
    {"result_list", 超级列表框1, window_itself, {0, 8, 664, 192}, true, true, nullptr},
};

TEST_F(MainWindowTest, EveryControlStartsWhereAndAsDefined) {
  for (const ControlCase& c : control_cases) {
    SCOPED_TRACE(c.name);
    QWidget* widget = window->control(c.control);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget(), c.parent(*window));
    EXPECT_EQ(widget->geometry(), c.geometry);
    EXPECT_EQ(widget->isVisibleTo(widget->parentWidget()), c.visible);
    EXPECT_EQ(widget->isEnabled(), c.enabled);
    EXPECT_EQ(widget->font(), QApplication::font());
    if (c.text != nullptr) {
      EXPECT_EQ(get_text(c.control), utf8_to_gbk(Text(c.text)));
    }
  }
}

TEST_F(MainWindowTest, SiblingsStackInTheOrderOfTheDefinition) {
  // Qt paints later children above earlier ones.
  const QObjectList& top = window->children();
  auto depth = [&](Control c) { return top.indexOf(window->control(c)); };
  EXPECT_GT(depth(透明标签1), depth(分组框2));
  EXPECT_GT(depth(分组框2), depth(分组框1));
  EXPECT_GT(depth(分组框1), depth(编辑框_搜索));
  EXPECT_GT(depth(编辑框_搜索), depth(按钮_搜索));
  EXPECT_GT(depth(按钮_搜索), depth(超级列表框1));
  // The status label is drawn over the list view.
  EXPECT_TRUE(window->result_list()->geometry().contains(window->status_label()->geometry()));
}

TEST_F(MainWindowTest, WindowFrameCaptionAndPlace) {
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrava V1.0"));
  // The frame as the window system reports it, or that of a dialog frame.
  if (window->windowHandle()->frameMargins().isNull()) {
    EXPECT_EQ(window->size(), window_client_size);
  } else {
    EXPECT_EQ(window->frameGeometry().size(), window_outer_size);
  }
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  const QRect screen = window->screen()->geometry();
  EXPECT_EQ(window->frameGeometry().topLeft(),
            QPoint((screen.width() - window_outer_size.width()) / 2,
                   (screen.height() - window_outer_size.height()) / 2));
}

TEST_F(MainWindowTest, LabelsGroupBoxesAndEditBoxesLookAsDefined) {
  EXPECT_EQ(window->status_label()->color(), QColor(0, 0, 0));
  EXPECT_EQ(window->loading_label()->color(), QColor(255, 0, 255));
  EXPECT_TRUE(window->status_label()->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_FALSE(window->status_label()->autoFillBackground());
  EXPECT_EQ(window->picture_group()->alignment(), Qt::AlignLeft);
  EXPECT_EQ(window->address_group()->alignment(), Qt::AlignRight);

  QLineEdit* search = window->search_box();
  EXPECT_EQ(search->alignment(), Qt::AlignCenter);
  EXPECT_EQ(search->palette().color(QPalette::Active, QPalette::Text), QColor(255, 0, 0));
  EXPECT_FALSE(search->isReadOnly());

  QPlainTextEdit* address = window->address_box();
  EXPECT_EQ(address->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(address->isReadOnly());
  EXPECT_FALSE(window->search_button()->isDefault());
  EXPECT_FALSE(window->search_button()->autoDefault());
}

TEST_F(MainWindowTest, TransparentLabelsShowWhatLiesBeneathAndDrawAmpersands) {
  fill_rows(6);  // something under the status label
  const QRect area = window->status_label()->geometry();
  const QImage beneath = window->grab(area).toImage();
  set_visible(透明标签1, true);
  EXPECT_EQ(window->grab(area).toImage(), beneath);
  set_text(透明标签1, Text("a"));
  const QImage plain = window->grab(area).toImage();
  EXPECT_NE(plain, beneath);
  // "&" is a character like any other, not a mnemonic marker.
  set_text(透明标签1, Text("&a"));
  EXPECT_NE(window->grab(area).toImage(), plain);
  set_visible(透明标签1, false);
  EXPECT_EQ(window->grab(area).toImage(), beneath);
}

TEST_F(MainWindowTest, PictureBoxStartsWithThePlaceholderStretched) {
  PictureBox* box = window->picture_box();
  ASSERT_TRUE(box->has_picture());
  EXPECT_EQ(box->current_image().size(), QSize(230, 306));
  // Stretched over the whole box: its corners show the picture's corners,
  // not the background.
  const QImage shown = box->grab().toImage();
  const QColor background = box->palette().color(QPalette::Window);
  const QImage picture = box->current_image();
  EXPECT_NE(shown.pixelColor(1, 1), background);
  EXPECT_NEAR(shown.pixelColor(box->width() - 2, box->height() - 2).red(),
              picture.pixelColor(229, 305).red(), 24);
}

TEST_F(MainWindowTest, ResultListIsAReportViewWithSixColumns) {
  ResultList* l = list();
  EXPECT_EQ(model()->rowCount(), 0);
  ASSERT_EQ(model()->columnCount(), 6);
  const char* titles[] = {"序号", "集数(清晰度)", "名称", "地址", "主演", "图片地址"};
  const int widths[] = {50, 150, 180, 0, 279, 0};
  for (int c = 0; c < 6; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
              QString::fromUtf8(titles[c]));
    EXPECT_EQ(l->horizontalHeader()->sectionSize(c), widths[c]);
  }
  EXPECT_TRUE(l->horizontalHeader()->isVisible());
  EXPECT_FALSE(l->horizontalHeader()->sectionsClickable());
  EXPECT_FALSE(l->verticalHeader()->isVisible());
  EXPECT_TRUE(l->showGrid());
  EXPECT_FALSE(l->isSortingEnabled());
  EXPECT_EQ(l->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(l->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(l->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(l->palette().color(QPalette::Inactive, QPalette::Highlight),
            l->palette().color(QPalette::Active, QPalette::Highlight));
}

TEST_F(MainWindowTest, TabMovesAmongTheTabStops) {
  window->search_box()->setFocus();
  QCoreApplication::processEvents();
  const QWidget* expected[] = {window->search_button(), window->result_list(),
                               window->search_box()};  // 编辑框1 is disabled
  for (const QWidget* next : expected) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next);
  }
  set_enabled(编辑框1, true);
  window->result_list()->setFocus();
  QTest::keyClick(window->result_list(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window->address_box());
}

// --- events -------------------------------------------------------------------

TEST_F(MainWindowTest, ButtonClickAndSpaceStartASearch) {
  QTest::mouseClick(window->search_button(), Qt::LeftButton);
  EXPECT_EQ(searches, 1);
  window->search_button()->setFocus();
  QTest::keyClick(window->search_button(), Qt::Key_Space);
  EXPECT_EQ(searches, 2);
  EXPECT_EQ(details, 0);
}

TEST_F(MainWindowTest, EnterStartsNothing) {
  QTest::keyClick(window->search_box(), Qt::Key_Return);
  window->search_button()->setFocus();
  QTest::keyClick(window->search_button(), Qt::Key_Return);
  QTest::keyClick(window->search_button(), Qt::Key_Enter);
  EXPECT_EQ(searches, 0);
  EXPECT_TRUE(window->isVisible());
}

QPoint row_centre(ResultList* l, int row) {
  return l->visualRect(l->result_model()->index(row, 1)).center();
}

TEST_F(MainWindowTest, ClickOnARowSelectsItBeforeTheHandlerRuns) {
  fill_rows(3);
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, row_centre(list(), 1));
  EXPECT_EQ(details, 1);
  EXPECT_EQ(selected_at_click, 1);
  EXPECT_EQ(searches, 0);
  // The status label over the list does not catch the click.
  set_visible(透明标签1, true);
  const QPoint under_label =
      list()->viewport()->mapFrom(window.get(), window->status_label()->geometry().center());
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, under_label);
  EXPECT_EQ(details, 2);
}

TEST_F(MainWindowTest, ClickBelowTheRowsStartsADetailWithNoRowSelected) {
  fill_rows(2);
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, row_centre(list(), 0));
  ASSERT_EQ(selected_at_click, 0);
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                    QPoint(20, list()->viewport()->height() - 5));
  EXPECT_EQ(details, 2);
  EXPECT_EQ(selected_at_click, -1);
  EXPECT_EQ(list_get_cell(超级列表框1, selected_at_click, 3), Text());
}

TEST_F(MainWindowTest, KeyboardSelectionStartsNothingUntilTheRowIsClicked) {
  fill_rows(3);
  list()->setFocus();
  QTest::keyClick(list(), Qt::Key_Down);
  const int first = list_selected_row(超级列表框1);
  QTest::keyClick(list(), Qt::Key_Down);
  EXPECT_EQ(list_selected_row(超级列表框1), first + 1);
  QTest::keyClick(list(), Qt::Key_Up);
  EXPECT_EQ(list_selected_row(超级列表框1), first);
  EXPECT_EQ(details, 0);
  QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, row_centre(list(), 1));
  EXPECT_EQ(details, 1);
  EXPECT_EQ(selected_at_click, 1);
}

TEST_F(MainWindowTest, RightClicksHeaderClicksAndDoubleClicksStartNoMore) {
  fill_rows(3);
  QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, row_centre(list(), 2));
  QHeaderView* header = list()->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(20, header->height() / 2));
  EXPECT_EQ(details, 0);
  // A double click is one click and a double-click notification.
  // Through the window system, so Qt makes press, release, double click and
  // release of it as it would for a user.
  QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {},
                     list()->viewport()->mapTo(window.get(), row_centre(list(), 2)));
  EXPECT_EQ(details, 1);
  EXPECT_EQ(list_selected_row(超级列表框1), 2);
  EXPECT_EQ(model()->rowCount(), 3);
  EXPECT_EQ(list_get_cell(超级列表框1, 0, 0), Text("0.0"));  // not sorted by the header click
}

TEST_F(MainWindowTest, EscapeClosesFromAnyControl) {
  QWidget* focus_on[] = {window->search_box(), window->search_button(), window->result_list(),
                         window->address_box()};
  for (QWidget* widget : focus_on) {
    SCOPED_TRACE(widget->metaObject()->className());
    widget->setEnabled(true);
    window->show();
    QApplication::setActiveWindow(window.get());
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
  }
}

}  // namespace
}  // namespace kestrava::test
