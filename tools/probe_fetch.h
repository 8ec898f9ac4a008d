// The fetch command of kestrava-probe.
#pragma once

namespace kestrava::probe {

// argv holds the arguments after "fetch".
int probe_fetch(int argc, char** argv);

}  // namespace kestrava::probe
