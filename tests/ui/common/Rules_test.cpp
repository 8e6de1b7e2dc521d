#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/common/ListRules.h"
#include "ui/common/TypeAhead.h"
#include "ui/common/WindowRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qk::ui {
namespace {

// ------------------------------------------------------------ type-ahead

// Items whose first column is one of a few shared paths; counts what the
// search asked for.
class SharedPaths final : public RowSource {
  public:
    std::vector<std::u16string> paths;
    std::vector<std::uint32_t> pathOf; // by item
    mutable std::size_t idsAsked = 0;
    std::u16string_view CellText(std::uint32_t item, int column) const override {
        return column == 0 ? std::u16string_view(paths[pathOf[item]]) : u"x";
    }
    std::uint32_t SharedTextCount(int column) const override {
        return column == 0 ? std::uint32_t(paths.size()) : 0;
    }
    std::u16string_view SharedText(int, std::uint32_t id) const override { return paths[id]; }
    void SharedTextIds(int, const std::uint32_t* items, std::size_t count,
                       std::uint32_t* ids) const override {
        idsAsked += count;
        for (std::size_t i = 0; i < count; ++i)
            ids[i] = pathOf[items[i]];
    }
};

struct FindCase {
    const char* label;
    std::int64_t start;
    const char16_t* prefix;
    std::int64_t found;
};

// Rows (items in list order): 0 D:\A, 1 e:\b, 2 D:\Ä, 3 K:\c, 4 d:\a\x
const std::vector<std::u16string> kPaths = {u"D:\\A\\", u"e:\\b\\", u"D:\\Ä\\", u"K:\\c\\",
                                            u"d:\\a\\x\\"};
const FindCase kFinds[] = {
    {"from the start row itself", 0, u"d", 0},
    {"the next match after start", 1, u"d", 2},
    {"wraps past the last row", 3, u"e", 1},
    {"case is ignored beyond ASCII", 0, u"d:\\ä", 2},
    {"longer prefix narrows", 0, u"d:\\a\\x", 4},
    {"no row starts with it", 0, u"q", -1},
    {"prefix longer than every text", 0, u"d:\\a\\x\\y\\z", -1},
    {"a start out of range is row 0", 99, u"k", 3},
};

void Fill(ListRows& rows, const std::vector<std::u16string>& paths) {
    rows.InsertColumn(0);
    for (const std::u16string& path : paths)
        rows.AddRow(-1, Text(path));
}

TEST(TypeAhead, FindsTheSameRowsStoredAndFromASharedSource) {
    SharedPaths source;
    source.paths = kPaths;
    // The items are listed in reverse, so list order differs from item order.
    for (std::uint32_t i = 0; i < kPaths.size(); ++i)
        source.pathOf.push_back(std::uint32_t(kPaths.size() - 1 - i));
    std::vector<std::uint32_t> items;
    for (std::uint32_t i = 0; i < kPaths.size(); ++i)
        items.push_back(std::uint32_t(kPaths.size() - 1 - i));
    ListRows fromSource, stored;
    fromSource.InsertColumn(0);
    fromSource.ShowSource(&source, items);
    Fill(stored, kPaths);
    TypeAhead sourceSearch, storedSearch;
    for (const FindCase& c : kFinds) {
        EXPECT_EQ(sourceSearch.Find(fromSource, c.start, c.prefix), c.found) << c.label;
        EXPECT_EQ(storedSearch.Find(stored, c.start, c.prefix), c.found) << c.label;
    }
}

TEST(TypeAhead, AsksTheSourceForEachRowsIdOnceUntilTheRowsChange) {
    SharedPaths source;
    source.paths = {u"a", u"b"};
    std::vector<std::uint32_t> items(10000);
    for (std::uint32_t i = 0; i < items.size(); ++i)
        source.pathOf.push_back(i == 9999 ? 1 : 0);
    for (std::uint32_t i = 0; i < items.size(); ++i)
        items[i] = i;
    ListRows rows;
    rows.InsertColumn(0);
    rows.ShowSource(&source, items);
    TypeAhead search;
    EXPECT_EQ(search.Find(rows, 0, u"a"), 0);
    EXPECT_EQ(source.idsAsked, 4096u) << "only the chunk walked";
    EXPECT_EQ(search.Find(rows, 0, u"b"), 9999);
    EXPECT_EQ(search.Find(rows, 5, u"b"), 9999);
    EXPECT_EQ(source.idsAsked, 10000u);
    source.pathOf[3] = 1;
    rows.ShowSource(&source, items); // new rows: what was learnt is dropped
    EXPECT_EQ(search.Find(rows, 0, u"b"), 3);
}

// Past the rows walked near the start, the search asks which ids the rows
// hold: a text only other items have finds nothing, a far row is found.
TEST(TypeAhead, FindsFarRowsAndNoneForTextsNoRowHas) {
    SharedPaths source;
    source.paths = {u"a", u"b", u"c"}; // no row has "c"
    std::vector<std::uint32_t> items(70000);
    for (std::uint32_t i = 0; i < items.size(); ++i) {
        items[i] = i;
        source.pathOf.push_back(i == 69000 ? 1 : 0);
    }
    ListRows rows;
    rows.InsertColumn(0);
    rows.ShowSource(&source, items);
    const FindCase cases[] = {
        {"a far row", 0, u"b", 69000},      {"a far row, wrapping", 69001, u"b", 69000},
        {"a text no row has", 0, u"c", -1}, {"a text no row has, from the middle", 40000, u"c", -1},
        {"a near row", 69001, u"a", 69001},
    };
    TypeAhead search;
    for (const FindCase& c : cases)
        EXPECT_EQ(search.Find(rows, c.start, c.prefix), c.found) << c.label;
}

struct KeyCase {
    const char* label;
    std::vector<std::pair<const char16_t*, std::int64_t>> keys; // text, time
    const char16_t* prefix;
    bool afterCurrent;
};

TEST(TypeAhead, TypedKeysMakeTheSearch) {
    const KeyCase cases[] = {
        {"first key starts after the current row", {{u"k", 0}}, u"k", true},
        {"quick keys extend from the current row", {{u"k", 0}, {u":", 100}}, u"k:", false},
        {"a pause starts anew", {{u"k", 0}, {u"d", 2000}}, u"d", true},
        {"one letter again steps on", {{u"d", 0}, {u"d", 100}, {u"d", 200}}, u"d", true},
    };
    for (const KeyCase& c : cases) {
        TypedKeys keys;
        TypeAheadSearch search{};
        for (const auto& [text, time] : c.keys)
            search = AddTypedKey(keys, text, time, 1000);
        EXPECT_EQ(std::u16string(search.prefix), std::u16string(c.prefix)) << c.label;
        EXPECT_EQ(search.afterCurrent, c.afterCurrent) << c.label;
    }
}

// ------------------------------------------------------------ shown cells

// What a cell shows of a text and what type-ahead matches on it: at most
// kMaxShownCellUnits units, then an ellipsis, a surrogate pair kept whole.
TEST(ShownCells, LongTextsAreCutWithAnEllipsis) {
    const std::size_t max = kMaxShownCellUnits;
    const std::u16string pair = u"\U0001F600";
    const struct {
        const char* label;
        std::u16string text;
        std::size_t head; // units shown before the ellipsis, or all
        bool cut;
    } cases[] = {
        {"empty", u"", 0, false},
        {"short", u"abc", 3, false},
        {"exactly the most", std::u16string(max, u'x'), max, false},
        {"one more", std::u16string(max + 1, u'x'), max, true},
        {"a pair across the end", std::u16string(max - 1, u'x') + pair, max - 1, true},
        {"a pair ending at the end", std::u16string(max - 2, u'x') + pair + u"y", max, true},
        {"far longer", std::u16string(1'000'000, u'y'), max, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const ShownCell shown = ShownCellText(c.text);
        EXPECT_EQ(shown.head, std::u16string_view(c.text).substr(0, c.head));
        EXPECT_EQ(shown.cut, c.cut);
    }
    const std::u16string longText = std::u16string(max, u'A') + u"BC";
    const std::u16string shownPrefix = std::u16string(max, u'a');
    const struct {
        const char* label;
        std::u16string prefix;
        bool matches;
    } prefixes[] = {
        {"the start", u"aa", true},
        {"all that is shown", shownPrefix, true},
        {"with the ellipsis", shownPrefix + kCellEllipsis, true},
        {"past the cut", shownPrefix + u"b", false},
        {"past the ellipsis", shownPrefix + kCellEllipsis + u"c", false},
    };
    for (const auto& p : prefixes)
        EXPECT_EQ(ShownStartsWithIgnoringCase(longText, p.prefix), p.matches) << p.label;
}

// ------------------------------------------------------------ list clicks

TEST(ListRules, ClicksAndSelectionChanges) {
    struct Case {
        const char* label;
        std::int64_t recorded, selected, type;
        bool lost, click;
        std::int64_t recordedAfter;
    };
    const Case cases[] = {
        {"left click with a row", 2, 2, kLeftClick, false, true, 2},
        {"left click on empty space, initial record", 0, -1, kLeftClick, true, false, -1},
        {"second click on empty space", -1, -1, kLeftClick, false, false, -1},
        {"right click without a row still reports", -1, -1, kRightClick, false, true, -1},
        {"right click on empty space loses the selection", 4, -1, kRightClick, true, true, -1},
    };
    for (const Case& c : cases) {
        std::int64_t recorded = c.recorded;
        const ClickEvents events = ClickNotification(recorded, c.selected, c.type);
        EXPECT_EQ(events.selectionLost, c.lost) << c.label;
        EXPECT_EQ(events.click, c.click) << c.label;
        EXPECT_EQ(recorded, c.recordedAfter) << c.label;
    }
    std::int64_t recorded = 0;
    EXPECT_TRUE(SelectionChangeNotification(recorded, 7, true, false, false));
    EXPECT_EQ(recorded, 7);
    EXPECT_TRUE(SelectionChangeNotification(recorded, 7, false, true, false));
    EXPECT_TRUE(SelectionChangeNotification(recorded, 3, false, false, true));
    EXPECT_FALSE(SelectionChangeNotification(recorded, 3, false, false, false));
    EXPECT_EQ(recorded, 7);
}

TEST(ListRules, RowsTheProgramSelectsAndScrollsTo) {
    const struct {
        const char* label;
        std::int64_t row, rows, perPage, top, selected;
    } cases[] = {
        {"a row in the middle goes to the top", 40, 100, 10, 40, 40},
        {"no further than the last full page", 95, 100, 10, 90, 95},
        {"the last row", 99, 100, 10, 90, 99},
        {"beyond the last row", 150, 100, 10, 90, -1},
        {"negative: the first row, nothing selected", -1, 100, 10, 0, -1},
        {"all rows fit on one page", 3, 5, 10, 0, 3},
        {"empty list", 0, 0, 10, 0, -1},
        {"no room for a whole row counts as one", 7, 10, 0, 7, 7},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TopRowFor(c.row, c.rows, c.perPage), c.top) << c.label;
        EXPECT_EQ(RowToSelect(c.row, c.rows), c.selected) << c.label;
    }
}

// ------------------------------------------------------------ windows

TEST(WindowRules, StylesOfOpenWindowFlags) {
    struct Case {
        std::uint32_t flags, bits;
        bool tool, centred, invisible;
    };
    const Case cases[] = {
        // The main window: title bar, system menu, centred.
        {0x00C80001, 0x00C80000, false, true, false},
        {0, kWindowTitleBar, false, false, false},
        {kWindowInvisible | kWindowCentreOnScreen, kWindowTitleBar, false, true, true},
        {kWindowToolWindow | kWindowMinimizeBox | kWindowShowMaximized, kWindowTitleBar, true,
         false, false},
        {kWindowNotCurrent | kWindowSizingBorder, kWindowSizingBorder, false, false, false},
        // Escape closing the window is no style bit of its own.
        {kWindowEscapeCloses, kWindowTitleBar, false, false, false},
    };
    for (const Case& c : cases) {
        const WindowStyle style = StyleOf(c.flags);
        EXPECT_EQ(style.bits, c.bits) << std::hex << c.flags;
        EXPECT_EQ(style.tool, c.tool) << std::hex << c.flags;
        EXPECT_EQ(style.centreOnScreen, c.centred) << std::hex << c.flags;
        EXPECT_EQ(style.invisible, c.invisible) << std::hex << c.flags;
    }
    EXPECT_FALSE(StyleOf(kWindowToolWindow | kWindowShowMaximized).showMaximized);
    EXPECT_TRUE(StyleOf(kWindowEscapeCloses | kWindowSystemMenu).escapeCloses);
    EXPECT_FALSE(StyleOf(kWindowSystemMenu).escapeCloses);
}

TEST(WindowRules, TabStopCycle) {
    // The main window's ten stops: 0, 1-6, 8, 9, 11.
    struct Case {
        int focused;
        bool forward;
        int next;
    };
    const Case cases[] = {{-1, true, 0}, {-1, false, 9}, {0, false, 9},
                          {9, true, 0},  {1, true, 2},   {2, false, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(NextTabStop(10, c.focused, c.forward), c.next) << c.focused << c.forward;
    EXPECT_EQ(NextTabStop(0, -1, true), -1);
}

TEST(WindowRules, GrowingLabelAndCentring) {
    // The count label at 720, 80 wide: "1000000/1000000" needs 87 pixels.
    EXPECT_EQ(GrownLabel(720, 80, 87).x, 713);
    EXPECT_EQ(GrownLabel(720, 80, 87).width, 87);
    EXPECT_EQ(GrownLabel(720, 80, 30).x, 720);
    EXPECT_EQ(GrownLabel(720, 80, 30).width, 80);
    EXPECT_EQ(GrownLabel(10, 60, 500).x, 0) << "never beyond the window's left edge";
    EXPECT_EQ(GrownLabel(10, 60, 500).width, 70);
    EXPECT_EQ(CentredOnScreen(956, 629, {0, 0, 1280, 1024}).x, 162);
    EXPECT_EQ(CentredOnScreen(2000, 629, {0, 0, 1280, 1024}).x, 0);
    EXPECT_EQ(CentredOn(400, 300, {-100, 10, 200, 100}).x, 0);
}

TEST(WindowRules, SizeChangesToEvents) {
    struct Case {
        SizeState before, now;
        std::vector<std::int64_t> events;
        bool removes;
    };
    const Case cases[] = {
        {SizeState::Normal, SizeState::Minimized, {MinimizeEvent}, false},
        {SizeState::Normal, SizeState::Maximized, {MaximizeEvent, SizeEvent}, false},
        {SizeState::Minimized, SizeState::Normal, {RestoreEvent, SizeEvent}, true},
        {SizeState::Normal, SizeState::Normal, {SizeEvent}, true},
    };
    for (const Case& c : cases) {
        const SizeChange change = SizeEventsOf(c.before, c.now);
        EXPECT_EQ(change.events, c.events);
        EXPECT_EQ(change.removeWaitingSizes, c.removes);
    }
}

TEST(WindowRules, ProgressSteps) {
    EXPECT_EQ(ProgressStep(0, 0), kProgressSteps);
    EXPECT_EQ(ProgressStep(1, 3), 333);
    EXPECT_EQ(ProgressStep(5, 3), kProgressSteps);
    EXPECT_EQ(ProgressStep(UINT64_MAX / 2, UINT64_MAX), 500) << "no overflow";
}

} // namespace
} // namespace qk::ui
