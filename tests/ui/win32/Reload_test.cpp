// F5, a dropped log and a cancelled long load on the real Win32 controls:
// the viewer's own commands run on the events that real input gives.
#include "tests/ui/win32/Win32TestSupport.h"

#include "app/LoadProgress.h"
#include "app/LogCommands.h"
#include "app/MainRoutine.h"
#include "app/ViewCommands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace qk::test {
namespace {

namespace fs = std::filesystem;

// Hands every waiting event to the viewer's dispatch, as its loop does.
void DispatchWaiting() {
    Settle();
    std::int64_t number = 0;
    while (ui::TakeWaitingEvent(number))
        DispatchEvent(number);
}

// Records teil<n>.par of size n, user cad0<n % 3>, for n from `last` down
// to `first`: file order is the reverse of the order by size.
std::string Lines(int first, int last) {
    std::string lines;
    for (int n = last; n >= first; --n)
        lines += "D:\\Werk\\teil" + std::to_string(n) + ".par " + std::to_string(n) +
                 " 01.02.2017 13:05 cad0" + std::to_string(n % 3) + "\r\n";
    return lines;
}

Text PathText(const fs::path& path) {
    const std::wstring wide = path.wstring();
    return ui::FromWide(wide.c_str(), wide.size());
}

std::string Cell(std::int64_t list, std::int64_t row, int column) {
    return GetCellText(list, row, column).ToUtf8();
}

// Copies over an existing file (the runtime's overwrite option fails here).
void CopyOver(const fs::path& from, const fs::path& to) {
    fs::remove(to);
    fs::copy_file(from, to);
}

bool Chosen(std::int64_t option) {
    return SendMessageW(Hwnd(option), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

class Win32Reload : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / "quellkamp-reload-test";
        fs::create_directories(dir_);
        log_ = dir_ / "dubletten.txt";
        std::ofstream(log_, std::ios::binary | std::ios::trunc) << Lines(1000, 1299);
        ASSERT_NE(BuildMainWindow(), nullptr);
        AddLogShortcuts();
        ASSERT_TRUE(LoadDuplicateLog(PathText(log_)));
        ShowStartCount();
        FillRecordListView();
        // Sorted by size, the records with user cad01 found.
        Click(Hwnd(3), POINT{8, 10});
        Click(Hwnd(FindField), POINT{40, 8});
        KeyPress(VK_END);
        KeyPress(VK_BACK);
        Type(L"cad01");
        DispatchWaiting();
        ASSERT_EQ(GetControlText(CountLabel).ToUtf8(), "100/300");
    }
    void TearDown() override {
        progressWindowDelay = std::chrono::milliseconds(500);
        ui::CloseAllWindows();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path dir_, log_;
};

TEST_F(Win32Reload, F5PutsTheViewBackNearTheSameRecords) {
    ScrollToRow(RecordListView, 40);
    Click(Hwnd(RecordListView), RowPoint(RecordListView, 45));
    DispatchWaiting();
    ASSERT_EQ(SelectedRow(RecordListView), 45);
    const std::string selected = Cell(RecordListView, 45, 1);
    const std::string top = Cell(RecordListView, TopRow(RecordListView), 1);
    ASSERT_EQ(Cell(MatchListView, 0, 1), selected);
    // Ten records of smaller sizes, three of them cad01, come before them.
    std::ofstream(log_, std::ios::binary | std::ios::trunc) << Lines(990, 1299);
    SetFocus(Hwnd(RecordListView));
    KeyPress(VK_F5);
    DispatchWaiting();
    EXPECT_EQ(GetControlText(CountLabel).ToUtf8(), "103/310");
    EXPECT_EQ(GetControlText(FindField).ToUtf8(), "cad01");
    EXPECT_TRUE(Chosen(3));
    EXPECT_EQ(Cell(RecordListView, 0, 1), "teil991.par ");
    EXPECT_EQ(SelectedRow(RecordListView), 48);
    EXPECT_EQ(Cell(RecordListView, SelectedRow(RecordListView), 1), selected);
    EXPECT_EQ(Cell(RecordListView, TopRow(RecordListView), 1), top);
    EXPECT_EQ(RowCount(MatchListView), 1);
    EXPECT_EQ(Cell(MatchListView, 0, 1), selected);
}

// Presses Cancel in the progress window from another thread once it is up,
// as the loading thread is busy.
class CancelWhenShown {
  public:
    CancelWhenShown()
        : clicker_([this] {
              for (int tries = 0; tries < 3000 && !stop_; ++tries) {
                  const HWND window = FindWindowW(L"QuellkampProgress", nullptr);
                  const HWND cancel =
                      window ? FindWindowExW(window, nullptr, L"Button", L"Cancel") : nullptr;
                  if (cancel && IsWindowVisible(cancel)) {
                      RECT place;
                      GetWindowRect(cancel, &place);
                      SetCursorPos((place.left + place.right) / 2, (place.top + place.bottom) / 2);
                      INPUT input{};
                      input.type = INPUT_MOUSE;
                      input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
                      Send(input);
                      input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
                      Send(input);
                      clicked_ = true;
                      return;
                  }
                  Sleep(10);
              }
          }) {}
    ~CancelWhenShown() {
        stop_ = true;
        clicker_.join();
    }
    bool Clicked() const { return clicked_; }

  private:
    std::atomic<bool> stop_{false}, clicked_{false};
    std::thread clicker_;
};

TEST_F(Win32Reload, DropShowsTheNewLogAsAtStartAndACancelledLoadKeepsTheOld) {
    Click(Hwnd(RecordListView), RowPoint(RecordListView, 2));
    DispatchWaiting();
    const fs::path other = dir_ / "andere.txt", big = dir_ / "gross.txt";
    std::ofstream(other, std::ios::binary) << Lines(1, 4);
    {
        std::ofstream out(big, std::ios::binary);
        for (int i = 0; i < 1'000'000; ++i)
            out << "D:\\Werk\\teil.par 12KB 01.02.2017 13:05 cad01\r\n";
    }
    const struct {
        const char* what;
        bool drop; // a drop, or F5 on the log rewritten as `file`
        fs::path file;
        bool cancelled; // in the progress window
        std::string count;
    } cases[] = {
        {"F5 cancelled", false, big, true, "100/300"},
        {"a drop cancelled", true, big, true, "100/300"},
        {"a drop", true, other, false, "4/4"},
    };
    const fs::path kept = dir_ / "behalten.txt";
    fs::copy_file(log_, kept);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.drop) CopyOver(c.file, log_);
        progressWindowDelay = std::chrono::milliseconds(c.cancelled ? 0 : 500);
        {
            CancelWhenShown cancel;
            if (c.drop) {
                SendMessageW(ui::WindowHandle(MainWindow), WM_DROPFILES,
                             reinterpret_cast<WPARAM>(DropOf({c.file.wstring()})), 0);
            } else {
                SetFocus(Hwnd(RecordListView));
                KeyPress(VK_F5);
            }
            DispatchWaiting();
            EXPECT_EQ(cancel.Clicked(), c.cancelled);
        }
        CopyOver(kept, log_);
        EXPECT_EQ(GetControlText(CountLabel).ToUtf8(), c.count);
        EXPECT_EQ(GetControlText(FindField).ToUtf8(), c.cancelled ? "cad01" : "?");
        EXPECT_EQ(Chosen(3), c.cancelled);
        for (std::int64_t option : {1, 2, 4, 5, 6})
            EXPECT_FALSE(Chosen(option)) << option;
        EXPECT_EQ(SelectedRow(RecordListView), c.cancelled ? 2 : -1);
        EXPECT_EQ(RowCount(MatchListView), c.cancelled ? 1 : 0);
        EXPECT_EQ(Cell(RecordListView, 0, 1), c.cancelled ? "teil1000.par " : "teil4.par ");
    }
}

// Answers the modal windows the viewer opens, in order, from another thread
// as the viewer's thread waits in them: the open dialog with a path, then the
// message box, whose text it keeps.
class AnswerModals {
  public:
    explicit AnswerModals(std::wstring path)
        : path_(std::move(path)), answerer_([this] {
              if (!path_.empty())
                  Answer(L"LOG-Datei", [this](HWND dialog) {
                      constexpr int kNameCombo = 0x47C, kNameEdit = 0x480;
                      HWND field = GetDlgItem(dialog, kNameCombo);
                      if (!field) field = GetDlgItem(dialog, kNameEdit);
                      const HWND ok = GetDlgItem(dialog, IDOK);
                      if (!field || !ok) return false; // not made yet
                      SetWindowTextW(field, path_.c_str());
                      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                   reinterpret_cast<LPARAM>(ok));
                      return true;
                  });
              Answer(L"Information", [this](HWND box) {
                  wchar_t text[512] = {};
                  GetDlgItemTextW(box, 0xFFFF, text, 512); // the box's static text
                  const HWND ok = GetDlgItem(box, IDOK);
                  if (!text[0] || !ok) return false;
                  message_ = text;
                  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                               reinterpret_cast<LPARAM>(ok));
                  return true;
              });
          }) {}
    ~AnswerModals() { Join(); }
    // The message box's text, once it was answered.
    std::wstring Message() {
        Join();
        return message_;
    }

  private:
    // Hands the visible, enabled dialog titled `title` to `answer` until
    // it takes it (its controls are there).
    void Answer(const wchar_t* title, const std::function<bool(HWND)>& answer) {
        for (int tries = 0; tries < 3000; ++tries) {
            const HWND window = FindWindowW(L"#32770", title);
            if (window && IsWindowVisible(window) && IsWindowEnabled(window) && answer(window))
                return;
            Sleep(10);
        }
    }
    void Join() {
        if (answerer_.joinable()) answerer_.join();
    }
    std::wstring path_, message_;
    std::thread answerer_;
};

// A file without a record, by F5, Ctrl+O or a drop, is reported and the
// log on screen stays with everything the user sees.
TEST_F(Win32Reload, AFileWithoutRecordsKeepsTheLogOnScreen) {
    Click(Hwnd(RecordListView), RowPoint(RecordListView, 2));
    DispatchWaiting();
    const fs::path empty = dir_ / "leer.txt";
    std::ofstream(empty, std::ios::binary) << "Doppelte Dateien\r\nSumme: 0\r\n";
    const fs::path kept = dir_ / "behalten.txt";
    fs::copy_file(log_, kept);
    enum class Way { Reload, Open, Drop };
    const struct {
        const char* what;
        Way way;
    } cases[] = {{"F5", Way::Reload}, {"Ctrl+O", Way::Open}, {"a drop", Way::Drop}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.way == Way::Reload) CopyOver(empty, log_);
        const fs::path named = c.way == Way::Reload ? log_ : empty;
        std::wstring message;
        {
            AnswerModals answer(c.way == Way::Open ? empty.wstring() : std::wstring());
            if (c.way == Way::Drop) {
                SendMessageW(ui::WindowHandle(MainWindow), WM_DROPFILES,
                             reinterpret_cast<WPARAM>(DropOf({empty.wstring()})), 0);
            } else {
                SetFocus(Hwnd(RecordListView));
                if (c.way == Way::Open) {
                    INPUT control{};
                    control.type = INPUT_KEYBOARD;
                    control.ki.wVk = VK_CONTROL;
                    Send(control);
                    KeyPress('O');
                    control.ki.dwFlags = KEYEVENTF_KEYUP;
                    Send(control);
                } else {
                    KeyPress(VK_F5);
                }
            }
            DispatchWaiting();
            message = answer.Message();
        }
        CopyOver(kept, log_);
        EXPECT_EQ(message, L"Die Datei enthält keine Einträge: " + named.wstring());
        EXPECT_EQ(GetControlText(CountLabel).ToUtf8(), "100/300");
        EXPECT_EQ(GetControlText(FindField).ToUtf8(), "cad01");
        EXPECT_TRUE(Chosen(3));
        EXPECT_EQ(SelectedRow(RecordListView), 2);
        EXPECT_EQ(RowCount(MatchListView), 1);
    }
}

} // namespace
} // namespace qk::test
