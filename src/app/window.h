// The window operations: the only way the workers read and change the
// controls of MainWindow, and start_worker, which runs a worker on a thread of
// its own.
//
// Every operation may be called from any thread. Called from a worker, it is
// carried out on the user-interface thread while the caller waits, so the
// effects of one thread's calls appear in call order and a read after a write
// sees the write; called on the user-interface thread it runs directly.
//
// Rows and columns are numbered from 0. A row that does not exist reads ""
// and ignores writes. An operation on a control of the wrong kind does
// nothing and gives the empty value ("", false or -1).
//
// Once the window has closed, every operation returns at once with the empty
// value and changes nothing; a worker waiting for one at that moment is
// released the same way. The process ends with the window, taking running
// workers with it.
#pragma once

#include "text/text.h"

namespace kestrava {

// The controls of MainWindow, under the names of the window's definition, in
// stacking order (the first on top).
enum Control : int {
  透明标签1,    // status label, over the list view
  分组框2,      // group box "图片框"
  图片框1,      // picture box, inside 分组框2
  透明标签2,    // loading label, inside 图片框1
  分组框1,      // group box "下载地址"
  编辑框1,      // address box, multi-line, inside 分组框1
  编辑框_搜索,  // search box
  按钮_搜索,    // search button
  超级列表框1,  // result list, six columns
};
inline constexpr int control_count = 9;

// Any control.
void set_visible(Control control, bool visible);
void set_enabled(Control control, bool enabled);

// Labels, edit boxes, the button and the group boxes (caption). Line breaks
// in 编辑框1 are CR LF both ways.
void set_text(Control control, const Text& text);
Text get_text(Control control);

// 图片框1: shows the picture the bytes hold (JPEG, PNG, GIF, BMP, icon,
// cursor, PCX; an animated GIF plays), stretched over the whole box. Empty or
// unrecognised bytes leave the box without a picture.
void set_picture(Control control, const Bytes& picture);

// 超级列表框1.
void list_clear(Control control);
// The index of the new row (the number of rows before the call), -1 when no
// row was added.
int list_append_row(Control control);
void list_set_cell(Control control, int row, int column, const Text& text);
Text list_get_cell(Control control, int row, int column);
// -1 when no row is selected.
int list_selected_row(Control control);

// Runs routine on a new detached thread and returns at once; nobody waits for
// it. When the thread cannot be created, nothing happens.
using WorkerRoutine = void (*)();
void start_worker(WorkerRoutine routine);

}  // namespace kestrava
