#include <cstdio>
#include <cstdlib>

#include "app/application.h"

int main() {
  const int code = kestrava::run_application();
  // Workers may still be inside a request: end the process without running
  // static destructors underneath them.
  std::fflush(nullptr);
  std::quick_exit(code);
}
