// The program's start-up: the window system, MainWindow, the message loop.
#pragma once

namespace kestrava {

// Shows MainWindow centred on the screen and runs the message loop on the
// calling thread until the window closes; then 0. Reads no command line.
int run_application();

// Ends the process with code at once. Workers may still be inside a request:
// static destructors do not run underneath them.
[[noreturn]] void end_process(int code);

}  // namespace kestrava
