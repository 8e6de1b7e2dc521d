#include "app/MainRoutine.h"

#include "app/CommandLine.h"
#include "app/ExportCommand.h"
#include "app/LoadProgress.h"
#include "app/LogCommands.h"
#include "app/MainWindow.h"
#include "app/OverviewWindow.h"
#include "app/RowCommands.h"
#include "app/StartUp.h"
#include "app/ViewCommands.h"
#include "text/FileLayer.h"
#include "text/Text.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Events.h"

#include <cstdio>
#include <cstdlib>

namespace qk {

namespace {

// Another log in place of the one on screen: the overview lets go of the
// old one's records first and follows the new one.
void ReplaceLog(const Text& path, bool reload) {
    SetOverviewAside();
    if (reload)
        ReloadCurrentLog();
    else
        OpenAnotherLog(path);
    ResumeOverview();
}

} // namespace

void DispatchEvent(std::int64_t event) {
    if (event == MenuEvent && EventSource() == kFindShortcut) FocusFindField();
    if (event == MenuEvent && EventSource() == kOpenShortcut) ReplaceLog(Text(), false);
    if (event == MenuEvent && EventSource() == kReloadShortcut) ReplaceLog(Text(), true);
    if (event == MenuEvent && EventSource() == kOverviewShortcut) OpenOverview();
    if (event == DropEvent) ReplaceLog(DroppedFile(), false);
    if (event == CloseWindowEvent && EventSource() == OverviewWindow) CloseOverview();
    if (event != ControlEvent) return;
    const std::int64_t source = EventSource();
    const std::int64_t type = EventType();
    if (DispatchOverviewEvent(source, type)) return;
    const bool list = source == RecordListView || source == MatchListView;
    if (source == RecordListView && type == kLeftClick) {
        ShowNameMatches();
    } else if (source == RecordListView && type == kRowActivated) {
        // Enter on a selected row is a click on it.
        if (SelectedRow(RecordListView) >= 0) ShowNameMatches();
    } else if (list && type == kCopyRequested) {
        CopySelectedRow(source);
    } else if (list && type == kContextMenuRequested) {
        ShowRowMenu(source);
    } else if (source >= FirstSortOption && source <= LastSortOption) {
        SortByOption(source);
    } else if (source == FindField && type == kSelectionOrTextChanged) {
        ApplyFindFilter();
    } else if (source == ExportButton && type == kLeftClick) {
        ExportRecordList();
    }
    // Everything else, the labels included, does nothing.
}

int RunMainRoutine(int& argc, char** argv) {
    // --help, --version and bad arguments need no display.
    const CommandLine commandLine = ReadCommandLine(argc, argv);
    if (commandLine.exitCode) return *commandLine.exitCode;
    PrepareForMemoryLimits();
    if (!StartUp(argc, argv)) {
        const char* display = std::getenv("DISPLAY");
        if (display && *display)
            std::fprintf(stderr, "quellkamp: cannot open display %s\n", display);
        else
            std::fputs("quellkamp: no display to open the window on (DISPLAY is not set)\n",
                       stderr);
        return 1;
    }
    if (LoadDuplicateLog(PathFromSystem(commandLine.log)) && OpenMainWindow()) {
        AddMainWindowShortcuts();
        AddLogShortcuts();
        AddOverviewShortcut();
        ShowStartCount();
        FillRecordListView();
        for (;;) {
            const std::int64_t event = WaitForEvent();
            DispatchEvent(event);
            // The main window's close box ends the program, the overview's
            // only closes the overview.
            if (event == CloseWindowEvent && EventSource() == MainWindow) break;
        }
    }
    return ShutDown();
}

} // namespace qk
