#pragma once

namespace quillfen {

// Whether the desktop pane looks aggravated: raised when an ask is left unanswered on a
// strained week, cleared when the user moves or the week eases. Lives for the process
// only; nothing is kept on disk.
struct AggravationGate {
    // The same floor as the rhythm score's aggravation floor.
    static constexpr double raiseFloor = 0.6;
    static constexpr double clearBelow = 0.4;

    bool isAggravated = false;

    // After an ask is closed. On an easier week an unanswered ask changes nothing.
    void askResolved(bool stepped, double score);
    // On every new score for the pane.
    void observe(double score);
    // When the user takes the nudge's primary action.
    void didMove();

    bool operator==(const AggravationGate&) const = default;
};

}  // namespace quillfen
