// kestrava_screenshot <file.png>: renders MainWindow in its initial state
// and saves it, for machines without a display (./run) and for the docs.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "app/main_window.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kestrava_screenshot <file.png>\n");
    return 2;
  }
  QApplication application(argc, argv);
  kestrava::MainWindow window;
  window.show_centred();
  int code = 1;
  // Once the event loop has laid out and painted the window.
  QTimer::singleShot(200, &window, [&] {
    code = window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
    QApplication::quit();
  });
  QApplication::exec();
  return code;
}
