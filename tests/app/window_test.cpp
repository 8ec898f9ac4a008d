// The window operations as the workers use them: from a thread of their own,
// in call order, reads after writes, rows that do not exist, the window
// going away under a waiting worker.
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/window_fixture.h"
#include "text/codepage.h"
#include "text/literal.h"

namespace kestrava::test {
namespace {

using namespace kestrava::literals;
using WindowOperationsTest = WindowTest;

struct TextCase {
  const char* name;
  Control control;
  QString (*shown)(const MainWindow&);
};

const TextCase text_cases[] = {
    {"status_label", 透明标签1, [](const MainWindow& w) { return w.status_label()->text(); }},
    {"loading_label", 透明标签2, [](const MainWindow& w) { return w.loading_label()->text(); }},
    {"address_box", 编辑框1, [](const MainWindow& w) { return w.address_box()->toPlainText(); }},
    {"search_box", 编辑框_搜索, [](const MainWindow& w) { return w.search_box()->text(); }},
    {"search_button", 按钮_搜索, [](const MainWindow& w) { return w.search_button()->text(); }},
    {"address_group", 分组框1, [](const MainWindow& w) { return w.address_group()->title(); }},
};

TEST_F(WindowOperationsTest, TextCrossesAsCodePage936BothWays) {
  const Text chinese = "搜索中，请耐心等待......"_gbk;
  for (const TextCase& c : text_cases) {
    SCOPED_TRACE(c.name);
    Text read, emptied;
    in_worker([&] {
      set_text(c.control, chinese);
      read = get_text(c.control);
      set_text(c.control, Text());
      emptied = get_text(c.control);
      set_text(c.control, chinese);
    });
    EXPECT_EQ(read, chinese);
    EXPECT_EQ(emptied, Text());
    EXPECT_EQ(c.shown(*window), QStringLiteral("搜索中，请耐心等待......"));
  }
}

TEST_F(WindowOperationsTest, GetTextSeesWhatTheUserTyped) {
  window->search_box()->clear();
  QTest::keyClicks(window->search_box(), QStringLiteral("abc"));
  // Chinese arrives through the input method.
  QInputMethodEvent input;
  input.setCommitString(QStringLiteral("中文"));
  QApplication::sendEvent(window->search_box(), &input);
  Text keyword;
  in_worker([&] { keyword = get_text(编辑框_搜索); });
  EXPECT_EQ(keyword, Text("abc\xD6\xD0\xCE\xC4"));
  // Once enabled, the address box takes Enter as a new line.
  window->address_box()->setEnabled(true);
  window->address_box()->setFocus();
  QTest::keyClicks(window->address_box(), QStringLiteral("a"));
  QTest::keyClick(window->address_box(), Qt::Key_Return);
  QTest::keyClicks(window->address_box(), QStringLiteral("b"));
  Text typed;
  in_worker([&] { typed = get_text(编辑框1); });
  EXPECT_EQ(typed, Text("a\r\nb"));
}

TEST_F(WindowOperationsTest, CrLfInTheAddressBoxShowsOnSeveralLines) {
  const Text addresses("a  b\r\n\r\nc  d");
  Text read;
  in_worker([&] {
    set_text(编辑框1, addresses);
    read = get_text(编辑框1);
  });
  EXPECT_EQ(window->address_box()->blockCount(), 3);
  EXPECT_EQ(window->address_box()->document()->findBlockByNumber(2).text(), QStringLiteral("c  d"));
  EXPECT_EQ(read, addresses);
}

TEST_F(WindowOperationsTest, VisibleAndEnabledFromAWorker) {
  in_worker([&] {
    set_visible(透明标签1, true);
    set_enabled(编辑框1, true);
    set_enabled(按钮_搜索, false);
    set_visible(透明标签2, false);
  });
  EXPECT_TRUE(window->status_label()->isVisible());
  EXPECT_TRUE(window->address_box()->isEnabled());
  EXPECT_FALSE(window->search_button()->isEnabled());
  EXPECT_FALSE(window->loading_label()->isVisible());
  // A disabled edit box takes no input.
  in_worker([&] { set_enabled(编辑框_搜索, false); });
  QTest::keyClicks(window->search_box(), QStringLiteral("x"));
  EXPECT_EQ(window->search_box()->text(), QStringLiteral("Talvik"));
}

// The picture fixtures of the decoder's tests, one file per kind.
Bytes picture_file(const char* name) {
  const std::filesystem::path corpus =
      std::filesystem::path(__FILE__).parent_path() / "../platform/picture/corpus/picture";
  std::ifstream in(corpus / name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return Bytes(bytes.str());
}

// The box shows nothing but its background.
bool shows_background_only(PictureBox* box) {
  const QImage shown = box->grab().toImage();
  const QColor background = box->palette().color(QPalette::Window);
  for (int y = 0; y < shown.height(); y += 7) {
    for (int x = 0; x < shown.width(); x += 7) {
      if (shown.pixelColor(x, y) != background) {
        return false;
      }
    }
  }
  return true;
}

struct PictureCase {
  const char* name;
  const char* file;
};

TEST_F(WindowOperationsTest, SetPictureShowsEveryKindStretched) {
  const PictureCase kinds[] = {
      {"jpeg", "baseline.jpg"},     {"png", "rgba.png"},  {"gif", "still.gif"},
      {"bmp", "24bit-topdown.bmp"}, {"icon", "icon.ico"}, {"cursor", "cursor.cur"},
      {"pcx", "24bit.pcx"},
  };
  PictureBox* box = window->picture_box();
  for (const PictureCase& kind : kinds) {
    SCOPED_TRACE(kind.name);
    const Bytes picture = picture_file(kind.file);
    ASSERT_GE(picture.size(), 6u);
    in_worker([&] {
      set_picture(图片框1, Bytes());  // drops the old one first
      set_picture(图片框1, picture);
    });
    EXPECT_TRUE(box->has_picture());
    EXPECT_EQ(box->frame_count(), 1);
    EXPECT_FALSE(shows_background_only(box));
  }
}

TEST_F(WindowOperationsTest, AnAnimatedGifPlays) {
  const Bytes gif = picture_file("animated.gif");
  in_worker([&] { set_picture(图片框1, gif); });
  PictureBox* box = window->picture_box();
  ASSERT_GT(box->frame_count(), 1);
  const int first = box->current_frame();
  QTRY_VERIFY_WITH_TIMEOUT(box->current_frame() != first, 5000);
  // Replaced by a still picture, the animation stops.
  in_worker([&] { set_picture(图片框1, picture_file("baseline.jpg")); });
  EXPECT_EQ(box->frame_count(), 1);
}

TEST_F(WindowOperationsTest, DataOfNoPictureLeavesOnlyTheBackground) {
  using namespace std::string_view_literals;
  const struct {
    const char* name;
    std::string_view bytes;
  } no_pictures[] = {
      {"empty", ""sv},
      {"five_bytes_of_a_jpeg", "\xFF\xD8\xFF\xE0\x00"sv},
      {"text", "<html><body>404 Not Found</body></html>"sv},
      {"truncated_png", "\x89PNG\r\n\x1a\n\x00\x00"sv},
  };
  PictureBox* box = window->picture_box();
  for (const auto& data : no_pictures) {
    SCOPED_TRACE(data.name);
    in_worker([&] { set_picture(图片框1, picture_file("baseline.jpg")); });
    ASSERT_TRUE(box->has_picture());
    in_worker([&] { set_picture(图片框1, Bytes(data.bytes)); });
    EXPECT_FALSE(box->has_picture());
    EXPECT_TRUE(shows_background_only(box));
  }
}

TEST_F(WindowOperationsTest, RowsAppendInOrderAndCellsReadBackWhole) {
  const Text long_cell(std::string(100000, 'x'));
  std::vector<int> rows;
  Text cells[3][6];
  in_worker([&] {
    for (int r = 0; r < 3; ++r) {
      rows.push_back(list_append_row(超级列表框1));
      for (int c = 0; c < 6; ++c) {
        list_set_cell(超级列表框1, r, c,
                      r == 2 && c == 5 ? long_cell : Text(std::to_string(r * 10 + c)));
      }
    }
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 6; ++c) {
        cells[r][c] = list_get_cell(超级列表框1, r, c);
      }
    }
  });
  EXPECT_EQ(rows, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(cells[1][3], Text("13"));
  EXPECT_EQ(cells[2][5], long_cell);
  // The view shows them a moment later, unsorted.
  show_rows();
  ASSERT_EQ(model()->rowCount(), 3);
  EXPECT_EQ(model()->index(2, 0).data().toString(), QStringLiteral("20"));
}

struct MissingCell {
  const char* name;
  int row;
  int column;
};

TEST_F(WindowOperationsTest, CellsOfRowsThatDoNotExistReadEmptyAndIgnoreWrites) {
  const MissingCell missing[] = {
      {"row_past_the_end", 5, 1}, {"row_count", 3, 0},         {"row_minus_one", -1, 3},
      {"column_six", 0, 6},       {"column_minus_one", 0, -1},
  };
  fill_rows(3);
  for (const MissingCell& m : missing) {
    SCOPED_TRACE(m.name);
    Text read;
    in_worker([&] {
      list_set_cell(超级列表框1, m.row, m.column, Text("written"));
      read = list_get_cell(超级列表框1, m.row, m.column);
    });
    EXPECT_EQ(read, Text());
  }
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 6; ++c) {
      EXPECT_EQ(list_get_cell(超级列表框1, r, c),
                Text(std::to_string(r) + "." + std::to_string(c)));
    }
  }
  EXPECT_EQ(list_append_row(超级列表框1), 3);
}

TEST_F(WindowOperationsTest, ClearEmptiesTheListAndTheSelection) {
  fill_rows(4);
  list()->selectRow(2);
  int selected = 0, first_after = 0;
  Text old_cell("unread");
  in_worker([&] {
    selected = list_selected_row(超级列表框1);
    list_clear(超级列表框1);
    old_cell = list_get_cell(超级列表框1, 0, 0);
    first_after = list_append_row(超级列表框1);
  });
  EXPECT_EQ(selected, 2);
  EXPECT_EQ(old_cell, Text());
  EXPECT_EQ(first_after, 0);
  EXPECT_EQ(list_selected_row(超级列表框1), -1);
}

TEST_F(WindowOperationsTest, OperationsOnTheWrongKindOfControlDoNothing) {
  int appended = 0, selected = 0;
  Text cell("unread"), picture_text("unread");
  in_worker([&] {
    appended = list_append_row(编辑框1);
    list_set_cell(编辑框_搜索, 0, 0, Text("x"));
    cell = list_get_cell(按钮_搜索, 0, 0);
    selected = list_selected_row(透明标签1);
    set_picture(透明标签2, Bytes(std::string_view("GIF89a......")));
    picture_text = get_text(图片框1);
    set_visible(static_cast<Control>(42), false);
  });
  EXPECT_EQ(appended, -1);
  EXPECT_EQ(selected, -1);
  EXPECT_EQ(cell, Text());
  EXPECT_EQ(picture_text, Text());
  EXPECT_EQ(model()->row_count(), 0);
  EXPECT_TRUE(window->picture_box()->has_picture());
}

// Two workers write in turn; each one's reads see its own writes, and the
// calls of one worker take effect in its order.
TEST_F(WindowOperationsTest, ConcurrentWorkersKeepCallOrderAndReadTheirWrites) {
  constexpr int per_worker = 300;
  std::atomic<int> mismatches{0};
  std::vector<int> order_a, order_b;
  auto writer = [&](const char* tag, std::vector<int>& rows) {
    for (int i = 0; i < per_worker; ++i) {
      const int row = list_append_row(超级列表框1);
      rows.push_back(row);
      const Text value(std::string(tag) + std::to_string(i));
      list_set_cell(超级列表框1, row, 2, value);
      if (list_get_cell(超级列表框1, row, 2) != value) {
        ++mismatches;
      }
    }
  };
  in_worker([&] {
    std::thread other([&] { writer("b", order_b); });
    writer("a", order_a);
    other.join();
  });
  EXPECT_EQ(mismatches, 0);
  EXPECT_TRUE(std::is_sorted(order_a.begin(), order_a.end()));
  EXPECT_TRUE(std::is_sorted(order_b.begin(), order_b.end()));
  EXPECT_EQ(model()->row_count(), 2 * per_worker);
  // The last write to a control wins.
  in_worker([&] {
    std::thread other([] { set_text(透明标签1, Text("first")); });
    other.join();
    set_text(透明标签1, Text("second"));
  });
  EXPECT_EQ(window->status_label()->text(), QStringLiteral("second"));
}

TEST_F(WindowOperationsTest, OnTheUserInterfaceThreadOperationsRunDirectly) {
  set_text(编辑框_搜索, Text("direct"));
  EXPECT_EQ(window->search_box()->text(), QStringLiteral("direct"));
  EXPECT_EQ(get_text(编辑框_搜索), Text("direct"));
  EXPECT_EQ(list_append_row(超级列表框1), 0);
}

// The decision for a window that has gone: every operation returns at once
// with the empty value, also for a worker that was waiting when it went.
TEST_F(WindowOperationsTest, AfterTheWindowIsGoneOperationsReturnEmptyAtOnce) {
  std::atomic<bool> posted{false};
  int waiting_result = 0;
  std::thread waiting([&] {
    posted = true;
    waiting_result = list_append_row(超级列表框1);  // the UI thread handles no event now
  });
  while (!posted) {
    std::this_thread::yield();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  window.reset();
  waiting.join();
  EXPECT_EQ(waiting_result, -1);

  int appended = 0, selected = 0;
  Text text("unread"), cell("unread");
  std::thread late([&] {
    set_text(编辑框1, Text("late"));
    set_visible(透明标签1, true);
    set_picture(图片框1, Bytes(std::string_view("GIF89a")));
    list_clear(超级列表框1);
    appended = list_append_row(超级列表框1);
    list_set_cell(超级列表框1, 0, 0, Text("late"));
    cell = list_get_cell(超级列表框1, 0, 0);
    text = get_text(编辑框_搜索);
    selected = list_selected_row(超级列表框1);
  });
  late.join();  // no event loop runs: it must not wait for one
  EXPECT_EQ(appended, -1);
  EXPECT_EQ(selected, -1);
  EXPECT_EQ(text, Text());
  EXPECT_EQ(cell, Text());
}

TEST(StartWorkerTest, RunsTheRoutineOnAnotherThreadAndReturnsAtOnce) {
  static std::atomic<bool> ran{false};
  static std::thread::id runner;
  static std::atomic<bool> release{false};
  start_worker([] {
    runner = std::this_thread::get_id();
    ran = true;
    while (!release) {
      std::this_thread::yield();
    }
  });
  // It returned while the routine still runs.
  while (!ran) {
    std::this_thread::yield();
  }
  EXPECT_NE(runner, std::this_thread::get_id());
  release = true;
  start_worker(nullptr);
}

}  // namespace
}  // namespace kestrava::test
