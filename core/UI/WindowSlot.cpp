#include "UI/WindowSlot.h"

namespace quillfen {

WindowSlotAction WindowSlot::open() {
    const bool had = state.kind == WindowSlotState::Kind::live;
    state = WindowSlotState::live(true);
    return had ? WindowSlotAction::reuseShow : WindowSlotAction::create;
}

WindowSlotAction WindowSlot::close() {
    if (state.kind != WindowSlotState::Kind::live) return WindowSlotAction::none;
    state = WindowSlotState::live(false);
    return WindowSlotAction::hide;
}

}  // namespace quillfen
