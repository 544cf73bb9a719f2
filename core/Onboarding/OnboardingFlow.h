#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Onboarding/InterruptBoundary.h"

namespace quillfen {

// The steps of the first run, in order; the raw value is the step's position and the built-in
// comparisons compare positions.
enum class OnboardingBeat : int {
    recognition = 0,
    reading = 1,
    workSources = 2,
    optionalContext = 3,
    boundary = 4,
    oneMoment = 5,
    promise = 6,
    settled = 7,
};

inline constexpr OnboardingBeat kAllOnboardingBeats[] = {
    OnboardingBeat::recognition, OnboardingBeat::reading,  OnboardingBeat::workSources,
    OnboardingBeat::optionalContext, OnboardingBeat::boundary, OnboardingBeat::oneMoment,
    OnboardingBeat::promise,     OnboardingBeat::settled,
};

namespace OnboardingBeats {

constexpr int rawValue(OnboardingBeat beat) {
    return static_cast<int>(beat);
}
std::optional<OnboardingBeat> fromRawValue(int raw);

std::optional<OnboardingBeat> next(OnboardingBeat);
std::optional<OnboardingBeat> previous(OnboardingBeat);

// The steps that get a progress mark: every step but the last, which shares the promise
// step's mark.
std::span<const OnboardingBeat> markedBeats();
// The 0-based index of the highlighted progress mark.
int markIndex(OnboardingBeat);

// Whether the step's actions can raise a system permission prompt.
bool mayPrompt(OnboardingBeat);

std::string_view eyebrow(OnboardingBeat);
// Empty, never absent, for the steps whose content stands first.
std::string_view headline(OnboardingBeat);
std::string_view lead(OnboardingBeat);
std::string_view primaryAction(OnboardingBeat);
std::optional<std::string_view> secondaryAction(OnboardingBeat);

}  // namespace OnboardingBeats

// The onboarding's further sentences.
namespace OnboardingCopy {

inline constexpr std::string_view seesLabel = "Sees";
inline constexpr std::string_view leavesLabel = "Leaves";
inline constexpr std::string_view leavesValue = "Nothing. This reading stays on your computer.";
inline constexpr std::string_view neverLabel = "Never";
inline constexpr std::string_view neverValue = "Prompts, code, documents, app names, URLs, or keystrokes";
inline constexpr std::string_view sourcesNote =
    "Claude and Codex need no account connection. Their structural records are read locally and the "
    "content is discarded.";
inline constexpr std::string_view contextNote =
    "Work rhythm needs no Accessibility, screen-recording, microphone, camera, or keystroke access.";
inline constexpr std::string_view boundaryNote =
    "This choice changes when it may speak, not who it pretends to be.";
inline constexpr std::string_view notificationTitle = "Want this outside the window?";
inline constexpr std::string_view notificationBody =
    "Your desktop will ask whether the stone may notify you. It works quietly without this.";
inline constexpr std::string_view settledNote = "It starts with your computer. You can turn that off in settings.";
// The settled step's lead where no tray shows the stone: out of sight, it is found in the menu.
inline constexpr std::string_view settledLeadWithoutTray =
    "At the edge when you want company. Out of sight when you don\u2019t: choose Quillfen in your "
    "applications menu to inspect what it is noticing, or right-click it there for Settings and Quit.";

// "Because you allowed: " and the boundary's allowed phrase, with a full stop.
std::string because(InterruptBoundary);

}  // namespace OnboardingCopy

}  // namespace quillfen
