#pragma once

namespace quillfen {

// Where the ask on the panel stands. The shell writes it; the reveal follows it.
enum class AskPhase {
    hidden,      // no ask on screen; the reveal at its start
    expanding,   // being revealed, or revealed
    dismissing,  // sinking away; the reveal reports back when it has gone
};

}  // namespace quillfen
