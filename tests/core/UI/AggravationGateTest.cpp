#include "UI/AggravationGate.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace quillfen {
namespace {

struct GateCase {
    std::string name;
    bool before;
    std::function<void(AggravationGate&)> act;
    bool after;
};

TEST(AggravationGate, RisesOnAnUnansweredAskInAStrainedWeekAndFallsWhenTheUserMovesOrTheWeekEases) {
    const GateCase cases[] = {
        {"unanswered just below the floor leaves cleared", false, [](auto& g) { g.askResolved(false, 0.59); },
         false},
        {"unanswered just below the floor leaves raised", true, [](auto& g) { g.askResolved(false, 0.59); },
         true},
        {"unanswered at the floor raises", false, [](auto& g) { g.askResolved(false, 0.6); }, true},
        {"unanswered on a heavy week raises", false, [](auto& g) { g.askResolved(false, 0.95); }, true},
        {"stepped on an easy week clears", true, [](auto& g) { g.askResolved(true, 0.1); }, false},
        {"stepped on a heavy week clears", true, [](auto& g) { g.askResolved(true, 0.9); }, false},
        {"score at 0.4 keeps it", true, [](auto& g) { g.observe(0.4); }, true},
        {"score at 0.39 clears it", true, [](auto& g) { g.observe(0.39); }, false},
        {"a high score alone never raises", false, [](auto& g) { g.observe(0.9); }, false},
        {"moving clears", true, [](auto& g) { g.didMove(); }, false},
    };
    for (const auto& c : cases) {
        AggravationGate gate{c.before};
        c.act(gate);
        EXPECT_EQ(gate.isAggravated, c.after) << c.name;
    }
}

}  // namespace
}  // namespace quillfen
