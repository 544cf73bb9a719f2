#pragma once

#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "Config/AppConfig.h"
#include "Intervention/InterventionRouter.h"
#include "NudgeCopy.h"
#include "Onboarding/InterruptBoundary.h"
#include "Stone/StoneIdentity.h"
#include "UI/AskPhase.h"
#include "UI/ObservableModel.h"

namespace quillfen {

// How often the system may speak: the footer's three-way choice. Its cases stand, in order,
// for the three interrupt boundaries (unmistakable, effort stops changing, only when asked).
enum class NudgeFrequency { quiet, balanced, off };

inline constexpr NudgeFrequency kAllNudgeFrequencies[] = {NudgeFrequency::quiet, NudgeFrequency::balanced,
                                                          NudgeFrequency::off};

std::string_view toString(NudgeFrequency);
// Exact raw values only: "Balanced" is no frequency.
std::optional<NudgeFrequency> nudgeFrequencyFrom(std::string_view);
// The footer's word for it: "Rarely", "Balanced", "Off".
std::string_view label(NudgeFrequency);
// The interrupt boundary a frequency stands for, and back: by position.
InterruptBoundary interruptBoundary(NudgeFrequency);
NudgeFrequency nudgeFrequency(InterruptBoundary);
// The decider's thresholds under a frequency, as under its boundary: only the fire-after
// minutes and the daily maximum change, and "off" keeps the minutes it was given.
DeciderThresholds thresholdsFor(NudgeFrequency, const DeciderThresholds& base);

// The panel's outer geometry; every host gives it these values.
struct WindowPresence {
    qreal width = 300;
    qreal minBodyHeight = 250;
    double opacity = 1.0;
    bool operator==(const WindowPresence&) const = default;
};

// What the primary action should do with the panel as it stands.
enum class PrimaryStep {
    // No ask takes an answer: the nudge is gone, or already answered and sinking away (a tap
    // on an old notification). Close the popover and record nothing.
    closeOnly,
    settleAndClose,
    settleAndStay,
    // Run the grounding exercise in the ask's place; the ask stays open until it ends.
    startExercise,
};

// The one state behind the popover panel. The shell fills the fields and the callbacks; the
// panel reads the fields, writes `frequency` from its footer and calls the callbacks.
class PanelModel : public ObservableModel {
    Q_OBJECT
public:
    using ObservableModel::ObservableModel;

    const StoneIdentity& identity() const { return identity_; }
    const std::optional<NudgeCopy>& nudge() const { return nudge_; }
    const std::string& todayStateLine() const { return todayStateLine_; }
    NudgeFrequency frequency() const { return frequency_; }
    int fireThresholdMinutes() const { return fireThresholdMinutes_; }
    AskPhase askPhase() const { return askPhase_; }
    std::uint64_t askVariant() const { return askVariant_; }
    bool observeOnly() const { return observeOnly_; }
    bool staticRender() const { return staticRender_; }
    const std::string& observeHeadline() const { return observeHeadline_; }
    const std::string& observeStatusLine() const { return observeStatusLine_; }
    std::optional<InPanelInterventionKind> activeIntervention() const { return activeIntervention_; }

    void setIdentity(StoneIdentity v) { assign(identity_, std::move(v)); }
    void setNudge(std::optional<NudgeCopy> v) { assign(nudge_, std::move(v)); }
    void setTodayStateLine(std::string v) { assign(todayStateLine_, std::move(v)); }
    void setFrequency(NudgeFrequency v) { assign(frequency_, v); }
    void setFireThresholdMinutes(int v) { assign(fireThresholdMinutes_, v); }
    void setAskPhase(AskPhase v) { assign(askPhase_, v); }
    void setAskVariant(std::uint64_t v) { assign(askVariant_, v); }
    void setObserveOnly(bool v) { assign(observeOnly_, v); }
    void setStaticRender(bool v) { assign(staticRender_, v); }
    void setObserveHeadline(std::string v) { assign(observeHeadline_, std::move(v)); }
    void setObserveStatusLine(std::string v) { assign(observeStatusLine_, std::move(v)); }
    void setActiveIntervention(std::optional<InPanelInterventionKind> v) { assign(activeIntervention_, v); }

    // An ask is on the panel and has not been answered yet: its buttons still count.
    bool askOpen() const { return nudge_.has_value() && askPhase_ != AskPhase::dismissing; }
    // The primary action's route for the ask on the panel now, by its move label.
    PrimaryStep primaryStep() const;

    std::function<void()> onPrimary = [] {};
    std::function<void()> onDismiss = [] {};
    std::function<void(NudgeFrequency)> onFrequencyChange = [](NudgeFrequency) {};
    std::function<void()> onQuit = [] {};
    std::function<void()> onInspect = [] {};
    std::function<void()> onSettings = [] {};
    std::function<void()> onPreview = [] {};
    std::function<void()> onChangeNote = [] {};
    std::function<void()> onAskSettled = [] {};
    std::function<void()> onInterventionDone = [] {};

private:
    StoneIdentity identity_ = StoneIdentity::fallback();
    std::optional<NudgeCopy> nudge_;
    std::string todayStateLine_;
    NudgeFrequency frequency_ = NudgeFrequency::balanced;
    int fireThresholdMinutes_ = 120;
    AskPhase askPhase_ = AskPhase::hidden;
    std::uint64_t askVariant_ = 0;
    bool observeOnly_ = false;
    bool staticRender_ = false;
    std::string observeHeadline_ = "Your day so far.";
    std::string observeStatusLine_ = "Watching quietly. Nothing to manage.";
    std::optional<InPanelInterventionKind> activeIntervention_;
};

// Calls a callback the shell may have left empty.
template <typename F, typename... Args>
void callIfSet(const F& callback, Args&&... args) {
    if (callback) {
        // A copy: the callback may end the view, and with it the model's field, while it runs.
        F run = callback;
        run(std::forward<Args>(args)...);
    }
}

}  // namespace quillfen
