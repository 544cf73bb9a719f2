#include "RenderHooks.h"

#include <algorithm>
#include <iterator>

namespace quillfen::RenderHooks {

namespace {

// The order in which start-up looks: the first one set is drawn.
constexpr Hook kTable[] = {Hook::calm, Hook::seeing, Hook::promise, Hook::glyphs, Hook::living, Hook::surfaces};

const std::string* lookup(const Environment& environment, const char* name) {
    auto it = environment.find(name);
    return it == environment.end() ? nullptr : &it->second;
}

}  // namespace

const char* variable(Hook hook) {
    switch (hook) {
        case Hook::calm:
            return "TAVRYN_RENDER_CALM_PNG";
        case Hook::seeing:
            return "TAVRYN_RENDER_SEEING_PNG";
        case Hook::promise:
            return "TAVRYN_RENDER_PROMISE_PNG";
        case Hook::glyphs:
            return "TAVRYN_RENDER_GLYPHS_PNG";
        case Hook::living:
            return "TAVRYN_RENDER_LIVING_PNG";
        case Hook::surfaces:
            return "TAVRYN_RENDER_SURFACES_PNG";
        case Hook::demoPanel:
            return "TAVRYN_RENDER_PNG";
    }
    return "";
}

std::optional<Request> requested(const Environment& environment) {
    for (Hook hook : kTable) {
        if (const auto* path = lookup(environment, variable(hook))) return Request{hook, *path};
    }
    if (lookup(environment, "TAVRYN_DEMO_NUDGE") == nullptr) return std::nullopt;
    if (const auto* path = lookup(environment, variable(Hook::demoPanel))) return Request{Hook::demoPanel, *path};
    return std::nullopt;
}

const char* beatName(OnboardingBeat beat) {
    switch (beat) {
        case OnboardingBeat::recognition:
            return "recognition";
        case OnboardingBeat::reading:
            return "reading";
        case OnboardingBeat::workSources:
            return "workSources";
        case OnboardingBeat::optionalContext:
            return "optionalContext";
        case OnboardingBeat::boundary:
            return "boundary";
        case OnboardingBeat::oneMoment:
            return "oneMoment";
        case OnboardingBeat::promise:
            return "promise";
        case OnboardingBeat::settled:
            return "settled";
    }
    return "";
}

PromiseChoice promiseChoice(const Environment& environment) {
    PromiseChoice choice;
    if (lookup(environment, "TAVRYN_RENDER_PROMISE_ALLOW") != nullptr) choice.beat = OnboardingBeat::oneMoment;
    if (const auto* wanted = lookup(environment, "TAVRYN_RENDER_PROMISE_BEAT")) {
        // Names are compared exactly: "Settled" is no step.
        const auto* found = std::find_if(std::begin(kAllOnboardingBeats), std::end(kAllOnboardingBeats),
                                         [&](OnboardingBeat beat) { return *wanted == beatName(beat); });
        if (found != std::end(kAllOnboardingBeats)) {
            choice.beat = *found;
        } else {
            choice.problems.push_back("TAVRYN_RENDER_PROMISE_BEAT \"" + *wanted + "\" names no step; drawing \"" +
                                      beatName(choice.beat) + "\"");
        }
    }
    if (const auto* entry = lookup(environment, "TAVRYN_RENDER_PROMISE_ENTRY")) {
        if (*entry == "changeNote") {
            choice.entry = OnboardingModel::Entry::changeNote;
        } else if (!entry->empty() && *entry != "firstRun") {
            choice.problems.push_back("TAVRYN_RENDER_PROMISE_ENTRY \"" + *entry +
                                      "\" is neither \"firstRun\" nor \"changeNote\"; drawing the first run");
        }
    }
    return choice;
}

}  // namespace quillfen::RenderHooks
