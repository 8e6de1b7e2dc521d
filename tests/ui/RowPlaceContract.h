// What both window layers do when the program selects a row, scrolls a list
// or unchooses an option button: the row lands where asked, and none of it
// comes back as an event. Each layer's test program runs it with its own
// ways to take the waiting events and to look at and click option buttons.
#pragma once

#include "app/MainWindow.h"
#include "ui/Controls.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>

namespace qk::test {

// `events` takes the waiting events and counts them; `chosen` tells whether
// an option button is chosen; `click` clicks it as a user does.
struct RowPlaceLayer {
    std::function<std::size_t()> events;
    std::function<bool(std::int64_t)> chosen;
    std::function<void(std::int64_t)> click;
};

inline void CheckRowPlaceAndOptionContract(const RowPlaceLayer& layer) {
    constexpr std::int64_t kRows = 200;
    ClearRows(RecordListView);
    for (std::int64_t row = 0; row < kRows; ++row)
        AddRow(RecordListView, -1, Text(std::u16string(u"D:\\") + char16_t(u'a' + row % 26)));
    layer.events();
    ScrollToRow(RecordListView, kRows - 1);
    const std::int64_t lastTop = TopRow(RecordListView);
    EXPECT_GT(lastTop, kRows / 2);
    EXPECT_LT(lastTop, kRows - 1) << "the last row ends the last page";
    const struct {
        const char* label;
        std::int64_t select, scroll;
        std::int64_t selected, top;
    } cases[] = {
        {"a row in the middle", 50, 120, 50, 120},
        {"beyond the last row", kRows, kRows + 50, -1, lastTop},
        {"the first row, scrolled back", 0, 0, 0, 0},
        {"none", -1, 7, -1, 7},
    };
    for (const auto& c : cases) {
        SelectRow(RecordListView, c.select);
        ScrollToRow(RecordListView, c.scroll);
        EXPECT_EQ(SelectedRow(RecordListView), c.selected) << c.label;
        EXPECT_EQ(TopRow(RecordListView), c.top) << c.label;
        EXPECT_EQ(layer.events(), 0u) << c.label;
    }
    // Selecting scrolls the row into view.
    ScrollToRow(RecordListView, 0);
    SelectRow(RecordListView, 150);
    EXPECT_GT(TopRow(RecordListView), 100);
    EXPECT_LE(TopRow(RecordListView), 150);
    layer.events();

    layer.click(2);
    layer.events();
    UnchooseOption(2);
    UnchooseOption(RecordListView); // no option button: nothing happens
    for (std::int64_t option = 1; option <= 6; ++option)
        EXPECT_FALSE(layer.chosen(option)) << option;
    EXPECT_EQ(layer.events(), 0u);
    layer.click(4);
    EXPECT_TRUE(layer.chosen(4));
    EXPECT_FALSE(layer.chosen(2));
}

} // namespace qk::test
