// kestrava-probe: runs pieces of Kestrava against real servers and prints
// what they did as JSON, for checking a site or a change by hand.
//
//   kestrava-probe <command> [arguments...]
//
// Each command lives in its own file (probe_<command>.cpp) and is one line
// of the table below.
#include <cstdio>
#include <cstring>

#include "platform/inet/inet.h"
#include "probe_fetch.h"
#include "probe_search.h"

namespace kestrava::probe {
namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);  // the arguments after the command's name
  const char* summary;
};

const Command commands[] = {
    {"fetch", probe_fetch, "one request with fetch_url; prints the results as JSON"},
    {"search", probe_search,
     "a search and a row click in the real window, offscreen; its state as JSON"},
};

int usage() {
  std::fprintf(stderr, "usage: kestrava-probe <command> [arguments...]\ncommands:\n");
  for (const Command& command : commands) {
    std::fprintf(stderr, "  %-10s %s\n", command.name, command.summary);
  }
  return 2;
}

}  // namespace
}  // namespace kestrava::probe

int main(int argc, char** argv) {
  using namespace kestrava::probe;
  if (argc < 2) {
    return usage();
  }
  kestrava::platform::inet_initialise();  // before any thread
  for (const Command& command : commands) {
    if (std::strcmp(argv[1], command.name) == 0) {
      return command.run(argc - 2, argv + 2);
    }
  }
  return usage();
}
