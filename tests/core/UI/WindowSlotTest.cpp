#include "UI/WindowSlot.h"

#include <gtest/gtest.h>

#include <string>

namespace quillfen {
namespace {

using State = WindowSlotState;

struct Transition {
    std::string operation;
    State from;
    State to;
    WindowSlotAction action;
};

TEST(WindowSlot, MovesExactlyAsItsTransitionTableSays) {
    const Transition table[] = {
        {"open", State::live(true), State::live(true), WindowSlotAction::reuseShow},
        {"open", State::live(false), State::live(true), WindowSlotAction::reuseShow},
        {"open", State::empty(), State::live(true), WindowSlotAction::create},
        {"open", State::disposing(), State::live(true), WindowSlotAction::create},
        {"close", State::live(true), State::live(false), WindowSlotAction::hide},
        {"close", State::live(false), State::live(false), WindowSlotAction::hide},
        {"close", State::empty(), State::empty(), WindowSlotAction::none},
        {"close", State::disposing(), State::disposing(), WindowSlotAction::none},
    };
    for (const auto& t : table) {
        WindowSlot slot{t.from};
        auto action = t.operation == "open" ? slot.open() : slot.close();
        EXPECT_EQ(action, t.action) << t.operation << " from " << static_cast<int>(t.from.kind);
        EXPECT_EQ(slot.state, t.to) << t.operation << " from " << static_cast<int>(t.from.kind);
    }
    for (State from : {State::live(true), State::live(false), State::empty(), State::disposing()}) {
        WindowSlot slot{from};
        slot.disposed();
        EXPECT_EQ(slot.state, State::empty());
        EXPECT_EQ(slot.open(), WindowSlotAction::create);
    }
}

TEST(WindowSlot, ADisposingSlotStillHoldsItsWindowButIsNotShown) {
    const struct {
        State state;
        bool hasWindow;
        bool visible;
    } table[] = {{State::live(true), true, true},
                 {State::live(false), true, false},
                 {State::empty(), false, false},
                 {State::disposing(), true, false}};
    for (const auto& row : table) {
        WindowSlot slot{row.state};
        EXPECT_EQ(slot.hasWindow(), row.hasWindow);
        EXPECT_EQ(slot.isVisible(), row.visible);
    }
}

}  // namespace
}  // namespace quillfen
