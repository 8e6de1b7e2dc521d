// Start and end of the window layer, called by the program's start-up and
// shutdown.
#pragma once

namespace qk {

// Prepares the event support, the window and control tables and the dialog
// support. Returns false when no display can be reached.
bool StartUserInterface(int& argc, char** argv);
// Closes every window (the main window goes away here) and forgets every
// control and waiting event.
void EndUserInterface();

} // namespace qk
