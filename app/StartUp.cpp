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
    // dialogs.
    return StartUserInterface(argc, argv);
}

int ShutDown() {
    EndUserInterface();
    CloseTextFile(-1);
    return kExitCode;
}

} // namespace qk
