#include "RenderHooks.h"

#include "Support/EnumTable.h"

namespace quillfen::RenderHooks {

namespace {

// The hooks in the order start-up looks: the first one set is drawn. The demo panel's comes
// last and counts only beside the demo nudge.
constexpr EnumName<Hook> kHooks[] = {
    {Hook::calm, "TAVRYN_RENDER_CALM_PNG"},         {Hook::seeing, "TAVRYN_RENDER_SEEING_PNG"},
    {Hook::promise, "TAVRYN_RENDER_PROMISE_PNG"},   {Hook::glyphs, "TAVRYN_RENDER_GLYPHS_PNG"},
    {Hook::living, "TAVRYN_RENDER_LIVING_PNG"},     {Hook::surfaces, "TAVRYN_RENDER_SURFACES_PNG"},
    {Hook::demoPanel, "TAVRYN_RENDER_PNG"},
};

constexpr EnumName<OnboardingBeat> kBeatNames[] = {
    {OnboardingBeat::recognition, "recognition"},
    {OnboardingBeat::reading, "reading"},
    {OnboardingBeat::workSources, "workSources"},
    {OnboardingBeat::optionalContext, "optionalContext"},
    {OnboardingBeat::boundary, "boundary"},
    {OnboardingBeat::oneMoment, "oneMoment"},
    {OnboardingBeat::promise, "promise"},
    {OnboardingBeat::settled, "settled"},
};

}  // namespace

const char* variable(Hook hook) {
    // The table's names are literals, so their views end in a NUL.
    return enumName(hook, kHooks).data();
}

std::optional<Request> requested(const Environment& environment) {
    for (const auto& [hook, name] : kHooks) {
        if (hook == Hook::demoPanel) continue;
        if (const auto* path = environmentValue(environment, name.data())) return Request{hook, *path};
    }
    if (environmentValue(environment, "TAVRYN_DEMO_NUDGE") == nullptr) return std::nullopt;
    if (const auto* path = environmentValue(environment, variable(Hook::demoPanel))) return Request{Hook::demoPanel, *path};
    return std::nullopt;
}

const char* beatName(OnboardingBeat beat) {
    return enumName(beat, kBeatNames).data();
}

PromiseChoice promiseChoice(const Environment& environment) {
    PromiseChoice choice;
    if (environmentValue(environment, "TAVRYN_RENDER_PROMISE_ALLOW") != nullptr) choice.beat = OnboardingBeat::oneMoment;
    if (const auto* wanted = environmentValue(environment, "TAVRYN_RENDER_PROMISE_BEAT")) {
        // Names are compared exactly: "Settled" is no step.
        if (auto beat = enumFromName(*wanted, kBeatNames)) {
            choice.beat = *beat;
        } else {
            choice.problems.push_back("TAVRYN_RENDER_PROMISE_BEAT \"" + *wanted + "\" names no step; drawing \"" +
                                      beatName(choice.beat) + "\"");
        }
    }
    if (const auto* entry = environmentValue(environment, "TAVRYN_RENDER_PROMISE_ENTRY")) {
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
