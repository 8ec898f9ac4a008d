#include "app/window_fixture.h"

#include <string>

namespace kestrava::test {
namespace {

QApplication* application = nullptr;

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { qt_application(); }
  void TearDown() override {
    delete application;
    application = nullptr;
  }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

QApplication& qt_application() {
  static int argc = 1;
  static char name[] = "kestrava-test";
  static char* argv[] = {name, nullptr};
  if (application == nullptr) {
    application = new QApplication(argc, argv);
  }
  return *application;
}

void WindowTest::fill_rows(int n) {
  for (int r = 0; r < n; ++r) {
    const int row = list_append_row(超级列表框1);
    for (int c = 0; c < ResultModel::column_count; ++c) {
      list_set_cell(超级列表框1, row, c, Text(std::to_string(r) + "." + std::to_string(c)));
    }
  }
  show_rows();
}

}  // namespace kestrava::test
