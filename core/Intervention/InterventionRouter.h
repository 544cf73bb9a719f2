#pragma once

#include <optional>
#include <string_view>

#include "Mind/MoveLabel.h"

namespace quillfen {

// An exercise the popover panel runs inside itself.
enum class InPanelInterventionKind { grounding543 };

std::string_view toString(InPanelInterventionKind);
std::optional<InPanelInterventionKind> inPanelInterventionKindFrom(std::string_view);

// What the panel's primary action does after the user has moved.
class InterventionOutcome {
public:
    enum class Kind {
        inPanel,          // run the exercise; the ask stays open until it is done
        getOutOfTheWay,   // let the ask settle and close the popover
        restingFallback,  // let the ask settle and leave the popover open
    };

    static InterventionOutcome inPanel(InPanelInterventionKind exercise) { return {Kind::inPanel, exercise}; }
    static InterventionOutcome getOutOfTheWay() { return {Kind::getOutOfTheWay, std::nullopt}; }
    static InterventionOutcome restingFallback() { return {Kind::restingFallback, std::nullopt}; }

    Kind kind() const { return kind_; }
    // Present exactly for `inPanel`.
    std::optional<InPanelInterventionKind> exercise() const { return exercise_; }

    bool operator==(const InterventionOutcome&) const = default;

private:
    InterventionOutcome(Kind kind, std::optional<InPanelInterventionKind> exercise)
        : kind_(kind), exercise_(exercise) {}

    Kind kind_;
    std::optional<InPanelInterventionKind> exercise_;
};

namespace InterventionRouter {
// `move` is the current nudge's move label; the engine's own copy carries none.
InterventionOutcome route(std::optional<MoveLabel> move);
}  // namespace InterventionRouter

}  // namespace quillfen
