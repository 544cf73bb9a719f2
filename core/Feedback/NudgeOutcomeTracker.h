#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "Contract/AgentContext.h"
#include "Contract/AgentSummary.h"
#include "Feedback/NudgeOutcome.h"
#include "Feedback/NudgeOutcomeSensor.h"
#include "Log/LogStore.h"
#include "Signals/SignalSample.h"
#include "Support/Clock.h"

namespace quillfen {

// One judged fire.
struct ResolvedNudgeOutcome {
    TimePoint resolvedAt;
    // Of the local hour at which the nudge fired.
    PartOfDay partOfDay = PartOfDay::night;
    NudgeOutcome outcome = NudgeOutcome::unknown;
    bool operator==(const ResolvedNudgeOutcome&) const = default;
};

// Remembers each fire until the samples that follow it (or the person's own answer) tell whether
// it landed, and keeps a short history of the judged ones in nudge-outcomes.json. Calls from
// several threads are serialised, each as a whole.
class NudgeOutcomeTracker {
public:
    static constexpr int defaultHistoryLimit = 20;

    // The samples logged since a date.
    using SamplesSince = std::function<std::vector<SignalSample>(TimePoint since)>;
    using CurrentRhythmScore = std::function<std::optional<double>()>;

    // Loads the file; nothing is written until the first change. A file that does not read
    // starts both lists empty and is kept aside before it is first overwritten.
    NudgeOutcomeTracker(std::shared_ptr<LogStore> store, Clock now,
                        NudgeOutcomeThresholds thresholds = NudgeOutcomeThresholds::defaults(),
                        int historyLimit = defaultHistoryLimit);

    NudgeOutcomeTracker(const NudgeOutcomeTracker&) = delete;
    NudgeOutcomeTracker& operator=(const NudgeOutcomeTracker&) = delete;

    // A fire now, with the rhythm score of that moment.
    void recordFire(double rhythmScore);

    // The person's answer to the newest pending fire, replacing an earlier one; nothing when no
    // fire is pending.
    void markLatestExplicit(bool stepped);

    // Judges every pending fire that is ready and returns the newly judged, in fire order. The
    // functions run inside the tracker's lock and must not call back into it; they are not
    // called at all when nothing is pending.
    std::vector<ResolvedNudgeOutcome> resolveReady(const SamplesSince& samplesSince,
                                                   const CurrentRhythmScore& currentRhythmScore);

    // The newest `limit` judged outcomes, newest first.
    std::vector<NudgeOutcome> recentOutcomes(int limit) const;
    std::vector<AgentContext::NudgeResponse> recentResponses(int limit) const;

private:
    struct PendingNudgeFire {
        TimePoint firedAt;
        double rhythmScoreAtFire = 0;
        std::optional<bool> explicitlyStepped;
    };

    void persist();
    // The newest `limit` entries of the history, newest first.
    std::vector<ResolvedNudgeOutcome> newest(int limit) const;

    std::shared_ptr<LogStore> store_;
    Clock now_;
    NudgeOutcomeThresholds thresholds_;
    int historyLimit_;

    mutable std::mutex mutex_;
    std::vector<PendingNudgeFire> pending_;
    // Oldest first.
    std::vector<ResolvedNudgeOutcome> history_;
};

}  // namespace quillfen
