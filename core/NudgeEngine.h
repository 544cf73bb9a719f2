#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <variant>

#include "Config/AppConfig.h"
#include "Decision/Decider.h"
#include "Decision/LastFire.h"
#include "Decision/NudgeBudget.h"
#include "Feedback/NudgeOutcomeTracker.h"
#include "Log/SignalLog.h"
#include "Mind/MindBridge.h"
#include "NudgeCopy.h"
#include "Signals/SignalSample.h"
#include "Sky/CoarseLocation.h"
#include "Sky/FarlumeClient.h"
#include "Support/Clock.h"

namespace quillfen {

// What keeps the user from being interrupted this tick.
struct Restraint {
    bool onCall = false;
    bool inFlow = false;

    bool holds() const { return onCall || inFlow; }
    bool operator==(const Restraint&) const = default;
};

// Whether a nudge may fire only while a Codex task runs (and is then worded for that moment),
// and whether one runs.
struct Opportunity {
    bool requiresCodexTask = false;
    bool codexTaskRunning = false;

    bool holdsForCodex() const { return requiresCodexTask && !codexTaskRunning; }
    bool operator==(const Opportunity&) const = default;
};

// A tick's result: a nudge to fire with its words, or why the system stays silent.
struct TickResult {
    struct Fire {
        NudgeCopy copy;
        bool operator==(const Fire&) const = default;
    };
    struct Silent {
        SilenceReason reason = SilenceReason::notEarnedYet;
        bool operator==(const Silent&) const = default;
    };
    std::variant<Fire, Silent> value;

    static TickResult fire(NudgeCopy copy) { return {Fire{std::move(copy)}}; }
    static TickResult silent(SilenceReason reason) { return {Silent{reason}}; }

    // The copy of a fire, or null for a silence.
    const NudgeCopy* fired() const {
        const auto* f = std::get_if<Fire>(&value);
        return f ? &f->copy : nullptr;
    }
    std::optional<SilenceReason> silence() const {
        if (const auto* s = std::get_if<Silent>(&value)) return s->reason;
        return std::nullopt;
    }
    bool operator==(const TickResult&) const = default;
};

// The per-tick pipeline: logs the sample, keeps the week and the outcome learning current,
// decides with the thresholds (lengthened while recent nudges failed), holds an earned nudge
// back for a Codex task or the user's focus, asks the sky, words the nudge and counts it. It
// shows nothing itself; every fire is counted, in observe-only mode too.
//
// Keeps no state of its own between ticks: what lasts is in the shared log, budget, tracker and
// last fire.
class NudgeEngine {
public:
    // The log and the budget must not be null; without a bridge nudges are worded locally, and
    // without a tracker nothing is learnt and no extra wait is added. An engine given no
    // `lastFire` keeps one of its own.
    NudgeEngine(AppConfig config, FarlumeClient client, std::shared_ptr<NudgeBudget> budget,
                std::shared_ptr<SignalLog> log, std::optional<MindBridge> bridge,
                std::shared_ptr<NudgeOutcomeTracker> outcomeTracker, Clock now,
                std::shared_ptr<LastFire> lastFire = nullptr);

    NudgeEngine(const NudgeEngine&) = delete;
    NudgeEngine& operator=(const NudgeEngine&) = delete;

    // Blocks for at most the sky check's time-out plus, on the bridge's path, the mind's. Ticks on
    // one engine run one after the other, never interleaved.
    TickResult tick(const SignalSample& sample, const std::optional<CoarseLocation>& location,
                    Restraint restraint, Opportunity opportunity);

private:
    // The wording of an earned nudge; no value when the bridge gives no usable line.
    std::optional<NudgeCopy> word(const NudgeCandidate& candidate, const SkyVerdict& sky,
                                  const Opportunity& opportunity);

    AppConfig config_;
    FarlumeClient client_;
    std::shared_ptr<NudgeBudget> budget_;
    std::shared_ptr<SignalLog> log_;
    std::optional<MindBridge> bridge_;
    std::shared_ptr<NudgeOutcomeTracker> outcomeTracker_;
    Clock now_;
    std::shared_ptr<LastFire> lastFire_;

    std::mutex tickMutex_;
};

}  // namespace quillfen
