// The search command of kestrava-probe.
#pragma once

namespace kestrava::probe {

// argv holds the arguments after "search".
int probe_search(int argc, char** argv);

}  // namespace kestrava::probe
