#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Mind/MoveLabel.h"
#include "Promise/Promise.h"

namespace quillfen::PromiseCatalog {

// A move the onboarding offers ready-made.
struct MovePreset {
    std::string_view id;
    std::string_view phrase;
    MoveLabel label;
    bool operator==(const MovePreset&) const = default;
};

enum class DraftError { noDay, noMove };

inline constexpr std::string_view dayPresets[] = {"a heavy afternoon", "a late night at it",
                                                  "a scattered day"};

inline constexpr MovePreset movePresets[] = {
    {"corner", "walk to the corner and back", MoveLabel::stepOutside},
    {"coffee", "coffee outside, no phone", MoveLabel::stepOutside},
    {"window", "stand at the window until something moves", MoveLabel::breath},
    {"block", "around the block, one loop", MoveLabel::stepOutside},
    {"hear", "name three things I can hear", MoveLabel::breath},
};

// The label of a move the user writes themselves.
inline constexpr MoveLabel writeYourOwnLabel = MoveLabel::customOther;

inline constexpr std::string_view trustLine =
    "I notice the rhythm of your day, never what you write. It stays on your machine.";

// Trims white space and line breaks from both ends and turns each remaining line feed into a
// space; nothing else changes.
std::string normalize(std::string_view phrase);

// A promise from the onboarding's draft, captured at `now`; moves whose phrase normalises to
// nothing are dropped. A missing day is reported before the moves are looked at.
std::variant<Promise, DraftError> buildPromise(std::string_view dayPhrase,
                                               const std::vector<PromiseMove>& moves, TimePoint now);

}  // namespace quillfen::PromiseCatalog
