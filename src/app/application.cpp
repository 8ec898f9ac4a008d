#include "app/application.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/main_window.h"

namespace kestrava {
namespace {

// Nothing to read or restore; kept as the step it is in the start-up order.
int start_up() {
  return 0;
}

}  // namespace

int run_application() {
  // Qt parses its own options out of argv; the program takes none, so it is
  // given its name alone.
  static char name[] = "kestrava";
  static char* argv[] = {name, nullptr};
  int argc = 1;
  QApplication application(argc, argv);
  start_up();
  MainWindow window;
  window.show_centred();
  QApplication::exec();
  return 0;
}

void end_process(int code) {
  std::fflush(nullptr);
  std::quick_exit(code);
}

}  // namespace kestrava
