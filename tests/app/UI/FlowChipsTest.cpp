#include "UI/FlowChips.h"

#include <gtest/gtest.h>

#include <limits>

namespace quillfen {
namespace {

TEST(FlowChips, StartsANewRowOnlyWhenTheNextChipWouldPassTheEdge) {
    const qreal h = 30;
    const qreal inf = std::numeric_limits<qreal>::infinity();
    const std::vector<QSizeF> three(3, QSizeF(100, h));
    struct Case {
        const char* name;
        std::vector<QSizeF> chips;
        qreal width;
        std::vector<QPointF> origins;
        QSizeF size;
    };
    const Case cases[] = {
        {"two fit a row of 250", three, 250, {{0, 0}, {108, 0}, {0, h + 8}}, {250, 2 * h + 8}},
        {"unbounded: one row, one gap after the last", three, inf, {{0, 0}, {108, 0}, {216, 0}}, {324, h}},
        {"exactly full", three, 316, {{0, 0}, {108, 0}, {216, 0}}, {316, h}},
        // Too wide for any row: never moved down before it is placed, and its row is its own.
        {"wider than the row", {{300, h}, {100, 20}, {50, 20}}, 250, {{0, 0}, {0, h + 8}, {108, h + 8}}, {250, h + 28}},
        {"no chips", {}, 250, {}, {250, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto placed = FlowChips::arrange(c.chips, c.width, 8);
        EXPECT_EQ(placed.origins, c.origins);
        EXPECT_EQ(placed.size, c.size);
    }
}

}  // namespace
}  // namespace quillfen
