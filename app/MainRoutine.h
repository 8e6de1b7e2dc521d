// The program from start to end: choose a log, show it, handle the user's
// commands until the window is closed.
#pragma once

#include <cstdint>

namespace qk {

// Hands one event to its command.
void DispatchEvent(std::int64_t event);

// Runs the whole program and returns the process's exit code.
int RunMainRoutine(int& argc, char** argv);

} // namespace qk
