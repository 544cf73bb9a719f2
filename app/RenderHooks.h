#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Config/AppConfig.h"
#include "Onboarding/OnboardingFlow.h"
#include "UI/OnboardingModel.h"

namespace quillfen {

// The developer's pictures: a run whose environment names one of these draws that surface
// into a PNG file and ends. Read from the environment once, at start.
namespace RenderHooks {

enum class Hook {
    // The popover panel without a nudge.
    calm,
    // The inspect window's list with sample facts.
    seeing,
    // One step of the onboarding.
    promise,
    // The tray's glyph asleep, with something to say, and stale.
    glyphs,
    // The desktop pane at five strains.
    living,
    // One sheet of every live surface, from this computer's own records.
    surfaces,
    // The panel with the demo nudge; drawn only beside TAVRYN_DEMO_NUDGE.
    demoPanel,
};

struct Request {
    Hook hook = Hook::calm;
    // Where the picture goes, exactly as given.
    std::string path;
    bool operator==(const Request&) const = default;
};

// The first hook of the table whose variable is set, whatever its value; the demo panel only
// when the demo nudge is asked for too. Nothing when no picture is asked for.
std::optional<Request> requested(const Environment& environment);

// The variable that names a hook.
const char* variable(Hook hook);

// The onboarding step to draw and the entry it is drawn for, and what was wrong with the
// values given (one line each, for the developer's terminal).
struct PromiseChoice {
    OnboardingBeat beat = OnboardingBeat::promise;
    OnboardingModel::Entry entry = OnboardingModel::Entry::firstRun;
    std::vector<std::string> problems;
};
PromiseChoice promiseChoice(const Environment& environment);

// A step's name as the developer writes it ("workSources").
const char* beatName(OnboardingBeat beat);

}  // namespace RenderHooks

}  // namespace quillfen
