#include "UI/WindowSlot.h"

#include <gtest/gtest.h>

#include <string>

namespace quillfen {
namespace {

struct Transition {
    std::string operation;
    WindowSlotState from;
    WindowSlotState to;
    WindowSlotAction action;
};

TEST(WindowSlot, MovesExactlyAsItsTransitionTableSays) {
    const Transition table[] = {
        {"open", WindowSlotState::live(true), WindowSlotState::live(true), WindowSlotAction::reuseShow},
        {"open", WindowSlotState::live(false), WindowSlotState::live(true), WindowSlotAction::reuseShow},
        {"open", WindowSlotState::empty(), WindowSlotState::live(true), WindowSlotAction::create},
        {"open", WindowSlotState::disposing(), WindowSlotState::live(true), WindowSlotAction::create},
        {"close", WindowSlotState::live(true), WindowSlotState::live(false), WindowSlotAction::hide},
        {"close", WindowSlotState::live(false), WindowSlotState::live(false), WindowSlotAction::hide},
        {"close", WindowSlotState::empty(), WindowSlotState::empty(), WindowSlotAction::none},
        {"close", WindowSlotState::disposing(), WindowSlotState::disposing(), WindowSlotAction::none},
    };
    for (const auto& t : table) {
        WindowSlot slot{t.from};
        auto action = t.operation == "open" ? slot.open() : slot.close();
        EXPECT_EQ(action, t.action) << t.operation << " from " << static_cast<int>(t.from.kind);
        EXPECT_EQ(slot.state, t.to) << t.operation << " from " << static_cast<int>(t.from.kind);
    }
    for (WindowSlotState from : {WindowSlotState::live(true), WindowSlotState::live(false),
                                 WindowSlotState::empty(), WindowSlotState::disposing()}) {
        WindowSlot slot{from};
        slot.disposed();
        EXPECT_EQ(slot.state, WindowSlotState::empty());
        EXPECT_EQ(slot.open(), WindowSlotAction::create);
    }
}

TEST(WindowSlot, ADisposingSlotStillHoldsItsWindowButIsNotShown) {
    const struct {
        WindowSlotState state;
        bool hasWindow;
        bool visible;
    } table[] = {{WindowSlotState::live(true), true, true},
                 {WindowSlotState::live(false), true, false},
                 {WindowSlotState::empty(), false, false},
                 {WindowSlotState::disposing(), true, false}};
    for (const auto& row : table) {
        WindowSlot slot{row.state};
        EXPECT_EQ(slot.hasWindow(), row.hasWindow);
        EXPECT_EQ(slot.isVisible(), row.visible);
    }
}

}  // namespace
}  // namespace quillfen
