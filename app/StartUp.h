// The program's first and last steps: the runtime facilities start in a
// fixed order before anything else runs and end in a fixed order at the end.
#pragma once

namespace qk {

// Prepares the window and control support, the event support and the
// dialog support. False when no display can be reached; nothing else fails.
bool StartUp(int& argc, char** argv);
// Closes every window still open (the main window goes here), then every
// file still open, and returns the exit code for the main routine to end
// the process with: always 0.
int ShutDown();

} // namespace qk
