#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Onboarding/InterruptBoundary.h"
#include "Onboarding/OnboardingFlow.h"
#include "Onboarding/OnboardingSources.h"
#include "Promise/Promise.h"
#include "Stone/StoneIdentity.h"
#include "Support/Clock.h"
#include "UI/ObservableModel.h"

namespace quillfen {

// The onboarding window's state: the step showing, what the controller found out about this
// computer, the grants, the boundary and the user's draft of a promise. The window never acts
// itself; every effect outside it happens in a closure the controller installs.
//
// Main thread only. The controller's closures answer on the main thread (a permission prompt
// may hold its completion until the user decides); a completion that arrives after the model
// is gone does nothing.
class OnboardingModel final : public ObservableModel {
    Q_OBJECT

public:
    enum class Entry {
        firstRun,    // opened at launch because no promise is kept
        changeNote,  // opened from the panel to rewrite the promise; only the promise step
    };

    using Completion = std::function<void()>;
    using GrantAnswer = std::function<void(bool granted)>;

    // A step change made by the flow animates ease-in-out this long, unless motion is reduced.
    static constexpr std::chrono::milliseconds kStepTransition{420};

    OnboardingModel(OnboardingBeat beat, Entry entry, Clock now, QObject* parent = nullptr);

    // Whether the controller may show the open model again for a request with `entry`, rather
    // than make a new one. A model serves only the entry it was opened for: a first run's model
    // shown for a change of note would walk on to the settled step instead of closing, and a
    // change of note's would lack the steps before the promise.
    static bool reusable(const OnboardingModel* open, Entry entry);

    OnboardingBeat beat() const { return beat_; }
    // For the controller re-showing an open window at a step; not animated.
    void setBeat(OnboardingBeat beat);
    // How the latest step change animates: kStepTransition, or zero when it should not.
    std::chrono::milliseconds beatTransition() const { return beatTransition_; }

    // The user's stone, which the recognition, one-moment, change-of-note and settled steps draw.
    const StoneIdentity& identity() const { return identity_; }
    void setIdentity(StoneIdentity identity);

    // Whether a tray shows the stone: the settled step says where it lives by it.
    bool inTray() const { return inTray_; }
    void setInTray(bool inTray);

    const std::optional<WorkReading>& reading() const { return reading_; }
    void setReading(std::optional<WorkReading> reading);
    const std::vector<WorkSource>& sources() const { return sources_; }
    void setSources(std::vector<WorkSource> sources);
    ContextGrantState calendarGrant() const { return calendarGrant_; }
    void setCalendarGrant(ContextGrantState state);
    ContextGrantState weatherGrant() const { return weatherGrant_; }
    void setWeatherGrant(ContextGrantState state);
    InterruptBoundary boundary() const { return boundary_; }
    void setBoundary(InterruptBoundary boundary);

    // The promise step's draft. The day index points into the day presets.
    std::optional<int> dayChoiceIndex() const { return dayChoiceIndex_; }
    void setDayChoiceIndex(std::optional<int> index);
    const std::string& dayCustom() const { return dayCustom_; }
    void setDayCustom(std::string text);
    bool dayIsCustom() const { return dayIsCustom_; }
    void setDayIsCustom(bool custom);
    const std::set<std::string>& pickedMoveIds() const { return pickedMoveIds_; }
    void setPickedMoveIds(std::set<std::string> ids);
    const std::string& moveCustom() const { return moveCustom_; }
    void setMoveCustom(std::string text);
    bool moveCustomOn() const { return moveCustomOn_; }
    void setMoveCustomOn(bool on);

    // True after a kept note could not be written, until a note is kept.
    bool keepFailed() const { return keepFailed_; }

    Entry entry() const { return entry_; }

    // The system's reduce-motion setting, copied in by the screen; not observed.
    bool reduceMotion() const { return reduceMotion_; }
    void setReduceMotion(bool reduce) { reduceMotion_ = reduce; }

    // The draft's day: the normalised own words when chosen, else the preset at the index
    // (nothing for an index out of range).
    std::string dayPhrase() const;
    // The picked presets in catalogue order, then the own move when it is on and not blank.
    // Every call makes new identifiers.
    std::vector<PromiseMove> draftMoves() const;
    // The first move's phrase, or "".
    std::string previewMove() const;
    bool canKeepPromise() const;

    // One step on or back; nothing past either end.
    void advance();
    void back();
    // Ask for a grant; the answer becomes the grant's state. The step stays.
    void allowCalendar();
    void allowWeather();
    // Ask for notifications and move on once answered, whatever the answer, but only while
    // the flow is still at the step that asked: an answer that comes after the user has moved
    // on by other means must not skip the step they are on.
    void allowNotifications();
    // Keep nudges inside the application: the answer is handed to `declineNotifications`,
    // nothing is asked, and the flow moves on at once.
    void keepNotificationsInside();
    // A change of note ends here; a first run goes on to the settled step.
    void finishPromise();
    // Builds the promise from the draft and hands it to `save` once; only a note that was
    // written finishes the step. Says whether it was kept; an incomplete draft, a step other
    // than the promise step or a failed write keep nothing and leave the step as it is.
    bool keepPromise();

    // Installed by the controller. Until then a permission request answers at once (false
    // where it answers a flag) and the rest do nothing; with no store behind `save`, no note
    // is kept.
    std::function<void(Completion)> requestNotifications = [](Completion done) { done(); };
    std::function<void()> declineNotifications = [] {};
    std::function<void(GrantAnswer)> requestCalendar = [](GrantAnswer answer) { answer(false); };
    std::function<void(GrantAnswer)> requestWeather = [](GrantAnswer answer) { answer(false); };
    std::function<void(InterruptBoundary)> applyBoundary = [](InterruptBoundary) {};
    // Answers whether the promise reached its file.
    std::function<bool(const Promise&)> save = [](const Promise&) { return false; };
    std::function<void()> onDone = [] {};

private:
    void moveTo(std::optional<OnboardingBeat> target);
    GrantAnswer grantAnswer(ContextGrantState OnboardingModel::*grant);

    OnboardingBeat beat_;
    std::chrono::milliseconds beatTransition_{0};
    StoneIdentity identity_ = StoneIdentity::fallback();
    bool inTray_ = true;
    std::optional<WorkReading> reading_;
    std::vector<WorkSource> sources_;
    ContextGrantState calendarGrant_ = ContextGrantState::notAsked;
    ContextGrantState weatherGrant_ = ContextGrantState::notAsked;
    InterruptBoundary boundary_ = InterruptBoundaries::defaultBoundary;
    std::optional<int> dayChoiceIndex_;
    std::string dayCustom_;
    bool dayIsCustom_ = false;
    std::set<std::string> pickedMoveIds_;
    std::string moveCustom_;
    bool moveCustomOn_ = false;
    bool keepFailed_ = false;
    const Entry entry_;
    bool reduceMotion_ = false;
    Clock now_;
};

}  // namespace quillfen
