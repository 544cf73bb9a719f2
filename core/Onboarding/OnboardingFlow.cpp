#include "Onboarding/OnboardingFlow.h"

#include <algorithm>
#include <iterator>

namespace quillfen {

namespace {

struct BeatCopy {
    std::string_view eyebrow;
    std::string_view headline;
    std::string_view lead;
    std::string_view primaryAction;
    std::optional<std::string_view> secondaryAction;
};

// By raw value.
constexpr BeatCopy kBeatCopy[] = {
    {"A local presence", "This one found its shape here.",
     "It will stay the same on this computer. No account, profile, or character to configure.",
     "Let me see what it sees", std::nullopt},
    {"Right now, on this computer", "It sees the shape, not the words.",
     "The distinction should be inspectable, not taken on trust.", "That boundary works for me", std::nullopt},
    {"Work sources", "It found where the day happens.",
     "These are local traces your tools already keep. Ostrel Agent discards the words and retains only "
     "timing and rhythm.",
     "Continue", std::nullopt},
    {"Optional context", "It can understand a little more.",
     "Neither is needed. Add only the context you want it to have.", "Continue", "Not now"},
    {"Choose its nerve", "When may it interrupt?", "Not its personality. Your boundary. You can change this later.",
     "Hear one example", std::nullopt},
    {"One possible moment", "", "", "Allow notifications", "Keep it inside the app"},
    {"Your own words", "", "", "This is my note", "Later"},
    {"Where it lives", "It knows where to be.",
     "At the edge when you want company. In the tray when you don\u2019t. Click either place to inspect what "
     "it is noticing.",
     "Let it settle", std::nullopt},
};
static_assert(std::size(kBeatCopy) == std::size(kAllOnboardingBeats));

const BeatCopy& copy(OnboardingBeat beat) {
    return kBeatCopy[OnboardingBeats::rawValue(beat)];
}

}  // namespace

namespace OnboardingBeats {

std::optional<OnboardingBeat> fromRawValue(int raw) {
    if (raw < 0 || raw >= static_cast<int>(std::size(kAllOnboardingBeats))) return std::nullopt;
    return kAllOnboardingBeats[raw];
}

std::optional<OnboardingBeat> next(OnboardingBeat beat) {
    return fromRawValue(rawValue(beat) + 1);
}
std::optional<OnboardingBeat> previous(OnboardingBeat beat) {
    return fromRawValue(rawValue(beat) - 1);
}

std::span<const OnboardingBeat> markedBeats() {
    return std::span(kAllOnboardingBeats).first(std::size(kAllOnboardingBeats) - 1);
}

int markIndex(OnboardingBeat beat) {
    return std::min(static_cast<int>(markedBeats().size()) - 1, rawValue(beat));
}

bool mayPrompt(OnboardingBeat beat) {
    return beat == OnboardingBeat::optionalContext || beat == OnboardingBeat::oneMoment;
}

std::string_view eyebrow(OnboardingBeat beat) {
    return copy(beat).eyebrow;
}
std::string_view headline(OnboardingBeat beat) {
    return copy(beat).headline;
}
std::string_view lead(OnboardingBeat beat) {
    return copy(beat).lead;
}
std::string_view primaryAction(OnboardingBeat beat) {
    return copy(beat).primaryAction;
}
std::optional<std::string_view> secondaryAction(OnboardingBeat beat) {
    return copy(beat).secondaryAction;
}

}  // namespace OnboardingBeats

namespace OnboardingCopy {

std::string because(InterruptBoundary boundary) {
    std::string line = "Because you allowed: ";
    line += InterruptBoundaries::allowedPhrase(boundary);
    line += '.';
    return line;
}

}  // namespace OnboardingCopy

}  // namespace quillfen
