// The main window's Win32 controls: classes, styles, places, and the rows of
// the owner-data lists.
#include "tests/ui/win32/Win32TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace qk::test {
namespace {

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

TEST(Win32Controls, MainWindowControlsHaveTheirClassesStylesAndPlaces) {
    ASSERT_NE(BuildMainWindow(), nullptr);
    const DWORD list = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL;
    const DWORD option = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;
    const DWORD label = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOPREFIX;
    const struct {
        std::int64_t control;
        const wchar_t* className;
        DWORD style;    // bits that must be set
        DWORD absent;   // bits that must not be set
        DWORD extended; // extended bits that must be set
        RECT place;     // in the window's inner area
    } expected[] = {
        {0, L"SysListView32", list | LVS_OWNERDATA, 0, WS_EX_CLIENTEDGE, {10, 45, 940, 445}},
        {1, L"Button", option | WS_GROUP, 0, 0, {80, 10, 140, 30}},
        {2, L"Button", option, WS_GROUP, 0, {150, 10, 210, 30}},
        {6, L"Button", option, WS_GROUP, 0, {430, 10, 490, 30}},
        {7, L"Static", label, SS_RIGHT, 0, {10, 13, 70, 33}},
        {8,
         L"Button",
         WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP,
         BS_AUTORADIOBUTTON,
         0,
         {500, 10, 580, 30}},
        {9, L"SysListView32", list, 0, WS_EX_CLIENTEDGE, {10, 450, 940, 590}},
        {10, L"Static", label | SS_RIGHT, 0, 0, {810, 13, 850, 33}},
        {11,
         L"Edit",
         WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
         0,
         WS_EX_CLIENTEDGE,
         {860, 13, 940, 33}},
        {12, L"Static", label, SS_RIGHT, 0, {720, 13, 800, 33}},
    };
    const HWND window = ui::WindowHandle(MainWindow);
    for (const auto& e : expected) {
        SCOPED_TRACE(e.control);
        const HWND hwnd = Hwnd(e.control);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(ClassOf(hwnd), e.className);
        const DWORD style = DWORD(GetWindowLongW(hwnd, GWL_STYLE));
        EXPECT_EQ(style & e.style, e.style);
        EXPECT_EQ(style & e.absent, 0u);
        EXPECT_EQ(DWORD(GetWindowLongW(hwnd, GWL_EXSTYLE)) & e.extended, e.extended);
        EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_ID), e.control);
        // The stock GUI font's face, 8 points at the display's resolution.
        LOGFONTW font{}, stock{};
        GetObjectW(HFONT(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof stock, &stock);
        EXPECT_EQ(std::wstring(font.lfFaceName), std::wstring(stock.lfFaceName));
        EXPECT_EQ(font.lfHeight, -ui::Scale(11));
        RECT place;
        GetWindowRect(hwnd, &place);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.left, e.place.left);
        EXPECT_EQ(place.top, e.place.top);
        EXPECT_EQ(place.right, e.place.right);
        EXPECT_EQ(place.bottom, e.place.bottom);
    }
    const DWORD extended = DWORD(SendMessageW(Hwnd(0), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    for (DWORD bit : {LVS_EX_FULLROWSELECT, LVS_EX_GRIDLINES, LVS_EX_DOUBLEBUFFER})
        EXPECT_TRUE(extended & bit) << bit;
}

TEST(Win32Controls, MainWindowHasItsInnerSizeTitleAndFrameAndIsCentred) {
    const HWND window = BuildMainWindow();
    ASSERT_NE(window, nullptr);
    RECT inner, outer;
    GetClientRect(window, &inner);
    EXPECT_EQ(inner.right, 950);
    EXPECT_EQ(inner.bottom, 600);
    wchar_t title[32] = {};
    GetWindowTextW(window, title, 32);
    EXPECT_STREQ(title, L"Quellkamp");
    const DWORD style = DWORD(GetWindowLongW(window, GWL_STYLE));
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), DWORD(WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    EXPECT_STREQ(className, L"WindowClass_0");
}

// Row texts split at line feeds into the cells from the given column on.
TEST(Win32Controls, RowsAndCells) {
    ASSERT_NE(BuildMainWindow(), nullptr);
    AddRow(0, -1, u"a\nb");
    AddRow(0, -1, u"c\n");
    AddRow(0, 99, u"");
    AddRow(0, 1, u"inserted");
    SetCellText(0, 0, u"x\ny\nz", 3);
    SetCellText(0, 9, u"nowhere", 0);
    const struct {
        std::int64_t row;
        int column;
        const char16_t* text;
    } cells[] = {
        {0, 0, u"a"}, {0, 1, u"b"},     {0, 3, u"x"},     {0, 5, u"z"}, {1, 0, u"inserted"},
        {1, 1, u""},  {2, 0, u"c"},     {2, 1, u""},      {3, 0, u""},  {9, 0, u""},
        {0, 6, u""},  {-1, 1, u"Name"}, {-1, 5, u"User"}, {-1, 6, u""},
    };
    for (const auto& c : cells)
        EXPECT_EQ(GetCellText(0, c.row, c.column), Text(c.text)) << c.row << "," << c.column;
    EXPECT_EQ(RowCount(0), 4);
    Settle();
    EXPECT_EQ(SendMessageW(Hwnd(0), LVM_GETITEMCOUNT, 0, 0), 4); // the control knows the rows
    SetCellText(0, -1, u"Ort", 0);
    EXPECT_EQ(GetCellText(0, -1, 0), Text(u"Ort"));
    ClearRows(0);
    EXPECT_EQ(RowCount(0), 0);
    EXPECT_EQ(SelectedRow(0), -1);
    EXPECT_EQ(GetCellText(0, -1, 1), Text(u"Name")); // the columns stay
}

TEST(Win32Controls, ControlTexts) {
    ASSERT_NE(BuildMainWindow(), nullptr);
    EXPECT_EQ(GetControlText(FindField), Text(u"?"));
    EXPECT_EQ(GetControlText(CountLabel), Text(u"Sätze"));
    SetControlText(CountLabel, u"3/10");
    EXPECT_EQ(GetControlText(CountLabel), Text(u"3/10"));
    EXPECT_EQ(GetControlText(RecordListView), Text()); // no row selected
}

} // namespace
} // namespace qk::test

namespace qk::test {
namespace {

// The count label keeps its right edge and grows to the left until the
// whole text fits, and shrinks back.
TEST(Win32Controls, CountLabelGrowsToTheLeftToShowItsWholeText) {
    ASSERT_NE(BuildMainWindow(), nullptr);
    const HWND window = ui::WindowHandle(MainWindow);
    const auto place = [&] {
        RECT rect;
        GetWindowRect(Hwnd(CountLabel), &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    const auto textWidth = [&](const wchar_t* text) {
        const HDC dc = GetDC(Hwnd(CountLabel));
        SelectObject(dc, HGDIOBJ(SendMessageW(Hwnd(CountLabel), WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32W(dc, text, int(wcslen(text)), &size);
        ReleaseDC(Hwnd(CountLabel), dc);
        return int(size.cx);
    };
    for (const wchar_t* text : {L"1000000/1000000", L"10000000/10000000"}) {
        SetControlText(CountLabel, Text(std::u16string_view(reinterpret_cast<const char16_t*>(text),
                                                            wcslen(text))));
        const RECT grown = place();
        EXPECT_EQ(grown.right, ui::Scale(800)) << "the right edge stays";
        EXPECT_GE(grown.right - grown.left, textWidth(text));
    }
    SetControlText(CountLabel, u"5/5");
    EXPECT_EQ(place().left, ui::Scale(720));
    EXPECT_EQ(place().right, ui::Scale(800));
}

} // namespace
} // namespace qk::test
