#pragma once

namespace quillfen {

// The state of one reusable window slot.
struct WindowSlotState {
    enum class Kind { live, empty, disposing };
    Kind kind = Kind::empty;
    // Only for live: the window is shown.
    bool visible = false;

    static WindowSlotState live(bool visible) { return {Kind::live, visible}; }
    static WindowSlotState empty() { return {}; }
    static WindowSlotState disposing() { return {Kind::disposing, false}; }
    bool operator==(const WindowSlotState&) const = default;
};

// What the owner of the slot must do with its window after a transition.
enum class WindowSlotAction { create, reuseShow, hide, none };

// One window's life: made on the first open, hidden (never closed) by a close, shown again
// by the next open, emptied when disposed.
struct WindowSlot {
    WindowSlotState state;

    // A disposing slot still holds its window until the tear-down finishes.
    bool hasWindow() const { return state.kind != WindowSlotState::Kind::empty; }
    bool isVisible() const { return state.kind == WindowSlotState::Kind::live && state.visible; }

    WindowSlotAction open();
    WindowSlotAction close();
    void disposed() { state = WindowSlotState::empty(); }

    bool operator==(const WindowSlot&) const = default;
};

}  // namespace quillfen
