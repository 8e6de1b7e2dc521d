#include "app/StartUp.h"

#include "text/TextFileReader.h"
#include "ui/UiSupport.h"

namespace qk {

namespace {

// Nothing in the program changes it.
constexpr int kExitCode = 0;

} // namespace

bool StartUp(int& argc, char** argv) {
    // Texts, files and record lists need no preparation; the window layer
    // brings the event support, the window and control tables and the
    // dialogs. The command line is the program's own (ReadCommandLine): the
    // toolkit gets the program's name alone, so that no argument, not even
    // one after "--", is taken as one of its options. It keeps both for as
    // long as it runs.
    static char* toolkitArgv[2] = {nullptr, nullptr};
    static int toolkitArgc = 1;
    toolkitArgv[0] = argc > 0 ? argv[0] : nullptr;
    toolkitArgc = toolkitArgv[0] ? 1 : 0;
    return StartUserInterface(toolkitArgc, toolkitArgv);
}

int ShutDown() {
    EndUserInterface();
    CloseTextFile(-1);
    return kExitCode;
}

} // namespace qk
