#include "capture/view_data_view.h"

#include <gtest/gtest.h>

namespace halvek {
namespace {

CaptureList::Entries entriesOf(std::vector<uint8_t> bytes) {
    CaptureList::Entries e;
    e.fill(CaptureList::kEmpty);
    for (size_t i = 0; i < bytes.size(); ++i) e[i] = bytes[i];
    return e;
}

std::vector<const ViewDataView::Row*> usedRows(const ViewDataView& v) {
    std::vector<const ViewDataView::Row*> out;
    for (const auto& r : v.rows())
        if (r.used) out.push_back(&r);
    return out;
}

TEST(ViewDataView, CommandCellsThenReplyCellsFromTheCommandsOwnLength) {
    struct Case {
        const char* what;
        bool extended;
        std::vector<uint8_t> bytes;
        size_t commandCells;  // cells in the controller colour
    };
    const Case cases[] = {
        {"standard, length 6", false, {0x02, 0x06, 0xE0, 0x01, 0x02, 0xC7, 0x02, 0x05, 0x50, 0x00, 0x57}, 6},
        {"extended poll", true, {0x02, 0x00, 0x00, 0x07, 0xCC, 0xFF, 0x2B, 0x02, 0x00, 0x00, 0x08, 0x50}, 7},
        {"command alone, length 0: no boundary", false, {0x02, 0x00, 0x11}, 3},
    };
    for (const Case& c : cases) {
        ViewDataView v;
        v.update(entriesOf(c.bytes), 1, c.extended);
        const auto rows = usedRows(v);
        ASSERT_EQ(rows.size(), 1u) << c.what;
        ASSERT_EQ(rows[0]->cells.size(), c.bytes.size()) << c.what;
        for (size_t i = 0; i < c.bytes.size(); ++i) {
            EXPECT_EQ(rows[0]->cells[i].reply, i >= c.commandCells) << c.what << " cell " << i;
            EXPECT_EQ(rows[0]->cells[i].x, 26 + 20 * static_cast<int>(i));
        }
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", c.bytes[2]);
        EXPECT_STREQ(rows[0]->cells[2].text, hex) << c.what;
    }
}

TEST(ViewDataView, RowsOf29CellsStripeAndWrapToTheTop) {
    ViewDataView v;
    // 29 cells a row, ten rows from y = 202; 300 cells fill ten rows and
    // wrap: the eleventh row overwrites the first.
    v.update(entriesOf(std::vector<uint8_t>(300, 0xAB)), 1, false);
    const auto& rows = v.rows();
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0].y, 202);
    EXPECT_EQ(rows[9].y, 346);
    EXPECT_EQ(rows[0].cells.size(), 300u - 29u * 10u);  // the wrapped row
    for (size_t r = 1; r < 10; ++r) {
        EXPECT_EQ(rows[r].cells.size(), 29u);
        EXPECT_EQ(rows[r].cells.back().x, 586);
        EXPECT_NE(rows[r].background, rows[r - 1].background) << "stripes alternate";
    }
    EXPECT_EQ(v.cursorY(), 202);
    EXPECT_EQ(v.cursorX(), 26 + 20 * 10);
}

TEST(ViewDataView, EachExchangeIsDrawnOnceAndClearHidesTheOneOnShow) {
    ViewDataView v;
    const auto first = entriesOf({0x02, 0x04, 0xCC, 0x2E});
    v.update(first, 1, false);
    v.update(first, 1, false);  // a second paint of the same exchange adds nothing
    EXPECT_EQ(usedRows(v)[0]->cells.size(), 4u);

    auto grown = first;
    grown[4] = 0x02;  // the reply begins
    v.update(grown, 1, false);
    EXPECT_EQ(usedRows(v)[0]->cells.size(), 5u);

    v.clear();
    v.update(grown, 1, false);
    EXPECT_TRUE(usedRows(v).empty()) << "empty until the next exchange";
    v.update(first, 2, false);
    EXPECT_EQ(usedRows(v).size(), 1u);
    EXPECT_EQ(usedRows(v)[0]->cells.size(), 4u);
    EXPECT_EQ(v.cursorX(), 26 + 80);
}

TEST(ViewDataView, AStoppedDisplayKeepsItsCellsAndColoursClearThePanel) {
    ViewDataView v;
    v.update(entriesOf({0x02, 0x04, 0xCC, 0x2E}), 1, false);
    v.setPaused(true);
    v.update(entriesOf({0x02, 0x04, 0xEE, 0x0C}), 2, false);
    ASSERT_EQ(usedRows(v).size(), 1u);
    EXPECT_STREQ(usedRows(v)[0]->cells[2].text, "CC");
    v.setPaused(false);
    EXPECT_EQ(v.controllerColour(), 0x00AAAAu);
    EXPECT_EQ(v.validatorColour(), 0xFFFF00u);
    v.setValidatorColour(0x123456);
    EXPECT_EQ(v.validatorColour(), 0x123456u);
    EXPECT_TRUE(usedRows(v).empty());
}

}  // namespace
}  // namespace halvek
