#include "app/application.h"

int main() {
  kestrava::end_process(kestrava::run_application());
}
