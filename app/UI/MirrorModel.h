#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Contract/AgentSummary.h"
#include "Mind/MindConnection.h"
#include "Signals/DeadmanSignal.h"
#include "Signals/FaceTier.h"
#include "Signals/RhythmStrip.h"
#include "Stone/StoneIdentity.h"
#include "Support/Clock.h"
#include "UI/ObservableModel.h"
#include "UI/StoneFace.h"

namespace quillfen {

// The mirror of the week: today's strip and counts, the week's reflection, the two banners'
// states, today's two facts and the evidence the stone's face is read from. The controller
// fills it; the rhythm window, the panel's strip and stone and the desktop pane read it.
class MirrorModel : public ObservableModel {
    Q_OBJECT
public:
    explicit MirrorModel(QObject* parent = nullptr);

    // The kept stone, or the fallback every surface wears until one is kept.
    const StoneIdentity& identity() const { return identity_; }
    const RhythmStrip& today() const { return today_; }
    // Filled for completeness; the window's hills draw the inspect model's week.
    const std::vector<AgentSummary::DayMark>& week() const { return week_; }
    const DeadmanSignal& deadman() const { return deadman_; }
    MindConnection mindConnection() const { return mindConnection_; }
    const std::string& reflectionLine() const { return reflectionLine_; }
    int longestRunMin() const { return longestRunMin_; }
    int switchesPerHour() const { return switchesPerHour_; }
    int pullsLast10m() const { return pullsLast10m_; }
    int pullsToday() const { return pullsToday_; }
    int loopsToday() const { return loopsToday_; }
    const std::optional<std::string>& todayDecisionsFact() const { return todayDecisionsFact_; }
    const std::optional<std::string>& heldTodayFact() const { return heldTodayFact_; }
    bool claudeLoopLive() const { return claudeLoopLive_; }
    const FaceThresholds& thresholds() const { return thresholds_; }
    const FaceEvidence& faceEvidence() const { return faceEvidence_; }
    TimePoint faceJudgedAt() const { return faceJudgedAt_; }

    // The tier of the last published evidence, judged as of its publication: the face changes
    // only when new evidence comes, never by itself while the model sits still. Never `open`.
    StoneFace face() const;

    void setIdentity(StoneIdentity identity) { assign(identity_, std::move(identity)); }
    void setToday(RhythmStrip strip) { assign(today_, std::move(strip)); }
    void setWeek(std::vector<AgentSummary::DayMark> week) { assign(week_, std::move(week)); }
    void setDeadman(DeadmanSignal signal) { assign(deadman_, std::move(signal)); }
    void setMindConnection(MindConnection connection) { assign(mindConnection_, connection); }
    void setReflectionLine(std::string line) { assign(reflectionLine_, std::move(line)); }
    // Counts below zero are held at zero.
    void setLongestRunMin(int minutes);
    void setPullsLast10m(int pulls);
    void setPullsToday(int pulls);
    void setLoopsToday(int loops);
    void setTodayDecisionsFact(std::optional<std::string> fact) { assign(todayDecisionsFact_, std::move(fact)); }
    void setHeldTodayFact(std::optional<std::string> fact) { assign(heldTodayFact_, std::move(fact)); }
    void setThresholds(FaceThresholds thresholds) { assign(thresholds_, thresholds); }

    // One face publication: the evidence, the moment it was judged, the switch count shown and
    // the loop flag, always together and in this order; views hear of it once.
    void publishFace(FaceEvidence evidence, TimePoint judgedAt, int switchesPerHour, bool loopLive);

private:
    StoneIdentity identity_ = StoneIdentity::fallback();
    RhythmStrip today_;
    std::vector<AgentSummary::DayMark> week_;
    DeadmanSignal deadman_;
    MindConnection mindConnection_ = MindConnection::off;
    std::string reflectionLine_;
    int longestRunMin_ = 0;
    int switchesPerHour_ = 0;
    int pullsLast10m_ = 0;
    int pullsToday_ = 0;
    int loopsToday_ = 0;
    std::optional<std::string> todayDecisionsFact_;
    std::optional<std::string> heldTodayFact_;
    bool claudeLoopLive_ = false;
    FaceThresholds thresholds_;
    FaceEvidence faceEvidence_ = FaceEvidence::neverSensed();
    TimePoint faceJudgedAt_ = TimePoint::min();
};

}  // namespace quillfen
