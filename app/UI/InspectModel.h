#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Contract/AgentSummary.h"
#include "Support/Clock.h"
#include "UI/InspectFacts.h"
#include "UI/ObservableModel.h"

namespace quillfen {

// Everything the system says about what it sees, for the inspect window, the mirror's facts and
// hills, and the developer window. The controller fills it; a fact not yet known reads "—".
// Some fields no window shows: the developer surfaces and the controller read them back.
class InspectModel : public ObservableModel {
    Q_OBJECT
public:
    // `created` is the first `lastUpdated`.
    explicit InspectModel(TimePoint created, QObject* parent = nullptr);

TimePoint lastUpdated() const { return lastUpdated_; }
    const std::string& atScreenFact() const { return atScreenFact_; }
    const std::string& thisWeekFact() const { return thisWeekFact_; }
    const std::string& rightNowFact() const { return rightNowFact_; }
    const std::optional<std::string>& outsideFact() const { return outsideFact_; }
    const std::optional<std::string>& browserFact() const { return browserFact_; }
    const std::string& timesSpokenFact() const { return timesSpokenFact_; }
    int continuousMin() const { return continuousMin_; }
    int fireThresholdMin() const { return fireThresholdMin_; }
    int appSwitchesLastHour() const { return appSwitchesLastHour_; }
    int idleSeconds() const { return idleSeconds_; }
    double localHour() const { return localHour_; }
    const std::string& attention() const { return attention_; }
    int loadLevel() const { return loadLevel_; }
    const std::string& loadLabel() const { return loadLabel_; }
    const std::vector<AgentSummary::DayMark>& week() const { return week_; }
    double rhythmScore() const { return rhythmScore_; }
    int daysObserved() const { return daysObserved_; }
    int longAfternoons() const { return longAfternoons_; }
    int fragmentedAfternoons() const { return fragmentedAfternoons_; }
    const std::string& todayBand() const { return todayBand_; }
    const std::string& partOfDay() const { return partOfDay_; }
    int nudgesThisWeek() const { return nudgesThisWeek_; }
    bool aiAvailable() const { return aiAvailable_; }
    int aiSessionsToday() const { return aiSessionsToday_; }
    const std::optional<int>& aiLastActiveMinAgo() const { return aiLastActiveMinAgo_; }
    int aiActiveSpanMin() const { return aiActiveSpanMin_; }
    int aiLongestRunMin() const { return aiLongestRunMin_; }
    int aiProjectsToday() const { return aiProjectsToday_; }
    int aiSwitchesToday() const { return aiSwitchesToday_; }
    bool calAuthorized() const { return calAuthorized_; }
    int calMeetingsToday() const { return calMeetingsToday_; }
    int calBusyMin() const { return calBusyMin_; }
    int calBackToBack() const { return calBackToBack_; }
    const std::optional<int>& calNextInMin() const { return calNextInMin_; }
    const std::string& activeSinceLabel() const { return activeSinceLabel_; }
    int longestStretchMin() const { return longestStretchMin_; }
    bool lateNight() const { return lateNight_; }
    bool micInUse() const { return micInUse_; }
    bool audioPlaying() const { return audioPlaying_; }
    bool inFlow() const { return inFlow_; }
    bool onBattery() const { return onBattery_; }
    const std::optional<int>& batteryPercent() const { return batteryPercent_; }
    const std::string& restraintNote() const { return restraintNote_; }
    bool firing() const { return firing_; }
    const std::string& decisionReason() const { return decisionReason_; }
    const std::string& localLine() const { return localLine_; }
    const std::string& reflectionSource() const { return reflectionSource_; }
    const std::vector<std::string>& whyFactors() const { return whyFactors_; }
    const std::vector<std::string>& decisionLog() const { return decisionLog_; }
    const std::string& cloudStatus() const { return cloudStatus_; }
    const std::string& cloudReasoning() const { return cloudReasoning_; }
    const std::optional<std::string>& cloudLine() const { return cloudLine_; }
    const std::string& cloudSource() const { return cloudSource_; }
    const std::string& loginItemState() const { return loginItemState_; }
    bool heartbeatStale() const { return heartbeatStale_; }
    const std::string& lastTickAgoLabel() const { return lastTickAgoLabel_; }
    bool hasPromise() const { return hasPromise_; }
    const std::string& promiseSentence() const { return promiseSentence_; }
    const std::string& breakpointKind() const { return breakpointKind_; }
    // What the desktop cannot tell, one line each; the rhythm window shows them all.
    const std::vector<InspectFacts::SensingNote>& sensingNotes() const { return sensingNotes_; }

    // The four fields of the last ask of the cloud persona, taken and written together.
    InspectFacts::CloudFields cloud() const { return {cloudStatus_, cloudReasoning_, cloudLine_, cloudSource_}; }
    void setCloud(const InspectFacts::CloudFields& cloud);
    void setLiveness(const InspectFacts::Liveness& liveness);

    void setLastUpdated(TimePoint v) { assign(lastUpdated_, v); }
    void setAtScreenFact(std::string v) { assign(atScreenFact_, std::move(v)); }
    void setThisWeekFact(std::string v) { assign(thisWeekFact_, std::move(v)); }
    void setRightNowFact(std::string v) { assign(rightNowFact_, std::move(v)); }
    void setOutsideFact(std::optional<std::string> v) { assign(outsideFact_, std::move(v)); }
    void setBrowserFact(std::optional<std::string> v) { assign(browserFact_, std::move(v)); }
    void setTimesSpokenFact(std::string v) { assign(timesSpokenFact_, std::move(v)); }
    void setContinuousMin(int v) { assign(continuousMin_, v); }
    void setFireThresholdMin(int v) { assign(fireThresholdMin_, v); }
    void setAppSwitchesLastHour(int v) { assign(appSwitchesLastHour_, v); }
    void setIdleSeconds(int v) { assign(idleSeconds_, v); }
    void setLocalHour(double v) { assign(localHour_, v); }
    void setAttention(std::string v) { assign(attention_, std::move(v)); }
    void setLoadLevel(int v) { assign(loadLevel_, v); }
    void setLoadLabel(std::string v) { assign(loadLabel_, std::move(v)); }
    void setWeek(std::vector<AgentSummary::DayMark> v) { assign(week_, std::move(v)); }
    void setRhythmScore(double v) { assign(rhythmScore_, v); }
    void setDaysObserved(int v) { assign(daysObserved_, v); }
    void setLongAfternoons(int v) { assign(longAfternoons_, v); }
    void setFragmentedAfternoons(int v) { assign(fragmentedAfternoons_, v); }
    void setTodayBand(std::string v) { assign(todayBand_, std::move(v)); }
    void setPartOfDay(std::string v) { assign(partOfDay_, std::move(v)); }
    void setNudgesThisWeek(int v) { assign(nudgesThisWeek_, v); }
    void setAiAvailable(bool v) { assign(aiAvailable_, v); }
    void setAiSessionsToday(int v) { assign(aiSessionsToday_, v); }
    void setAiLastActiveMinAgo(std::optional<int> v) { assign(aiLastActiveMinAgo_, std::move(v)); }
    void setAiActiveSpanMin(int v) { assign(aiActiveSpanMin_, v); }
    void setAiLongestRunMin(int v) { assign(aiLongestRunMin_, v); }
    void setAiProjectsToday(int v) { assign(aiProjectsToday_, v); }
    void setAiSwitchesToday(int v) { assign(aiSwitchesToday_, v); }
    void setCalAuthorized(bool v) { assign(calAuthorized_, v); }
    void setCalMeetingsToday(int v) { assign(calMeetingsToday_, v); }
    void setCalBusyMin(int v) { assign(calBusyMin_, v); }
    void setCalBackToBack(int v) { assign(calBackToBack_, v); }
    void setCalNextInMin(std::optional<int> v) { assign(calNextInMin_, std::move(v)); }
    void setActiveSinceLabel(std::string v) { assign(activeSinceLabel_, std::move(v)); }
    void setLongestStretchMin(int v) { assign(longestStretchMin_, v); }
    void setLateNight(bool v) { assign(lateNight_, v); }
    void setMicInUse(bool v) { assign(micInUse_, v); }
    void setAudioPlaying(bool v) { assign(audioPlaying_, v); }
    void setInFlow(bool v) { assign(inFlow_, v); }
    void setOnBattery(bool v) { assign(onBattery_, v); }
    void setBatteryPercent(std::optional<int> v) { assign(batteryPercent_, std::move(v)); }
    void setRestraintNote(std::string v) { assign(restraintNote_, std::move(v)); }
    void setFiring(bool v) { assign(firing_, v); }
    void setDecisionReason(std::string v) { assign(decisionReason_, std::move(v)); }
    void setLocalLine(std::string v) { assign(localLine_, std::move(v)); }
    void setReflectionSource(std::string v) { assign(reflectionSource_, std::move(v)); }
    void setWhyFactors(std::vector<std::string> v) { assign(whyFactors_, std::move(v)); }
    void setDecisionLog(std::vector<std::string> v) { assign(decisionLog_, std::move(v)); }
    void setCloudStatus(std::string v) { assign(cloudStatus_, std::move(v)); }
    void setCloudReasoning(std::string v) { assign(cloudReasoning_, std::move(v)); }
    void setCloudLine(std::optional<std::string> v) { assign(cloudLine_, std::move(v)); }
    void setCloudSource(std::string v) { assign(cloudSource_, std::move(v)); }
    void setLoginItemState(std::string v) { assign(loginItemState_, std::move(v)); }
    void setHeartbeatStale(bool v) { assign(heartbeatStale_, v); }
    void setLastTickAgoLabel(std::string v) { assign(lastTickAgoLabel_, std::move(v)); }
    void setHasPromise(bool v) { assign(hasPromise_, v); }
    void setPromiseSentence(std::string v) { assign(promiseSentence_, std::move(v)); }
    void setBreakpointKind(std::string v) { assign(breakpointKind_, std::move(v)); }
    void setSensingNotes(std::vector<InspectFacts::SensingNote> v) { assign(sensingNotes_, std::move(v)); }

    // Bring everything up to date at once; put the week to the cloud persona. Set by the
    // controller; a view only calls them.
    std::function<void()> onRefresh = [] {};
    std::function<void()> onAskIlvane = [] {};

private:
    TimePoint lastUpdated_;
    std::string atScreenFact_ = std::string(InspectFacts::kNoValue);
    std::string thisWeekFact_ = std::string(InspectFacts::kNoValue);
    std::string rightNowFact_ = std::string(InspectFacts::kNoValue);
    std::optional<std::string> outsideFact_;
    std::optional<std::string> browserFact_;
    std::string timesSpokenFact_ = std::string(InspectFacts::kNoValue);
    int continuousMin_ = 0;
    int fireThresholdMin_ = 120;
    int appSwitchesLastHour_ = 0;
    int idleSeconds_ = 0;
    double localHour_ = 0;
    std::string attention_ = "idle";
    int loadLevel_ = 0;
    std::string loadLabel_ = "low";
    std::vector<AgentSummary::DayMark> week_;
    double rhythmScore_ = 0;
    int daysObserved_ = 0;
    int longAfternoons_ = 0;
    int fragmentedAfternoons_ = 0;
    std::string todayBand_ = std::string(InspectFacts::kNoValue);
    std::string partOfDay_ = std::string(InspectFacts::kNoValue);
    int nudgesThisWeek_ = 0;
    bool aiAvailable_ = false;
    int aiSessionsToday_ = 0;
    std::optional<int> aiLastActiveMinAgo_;
    int aiActiveSpanMin_ = 0;
    int aiLongestRunMin_ = 0;
    int aiProjectsToday_ = 0;
    int aiSwitchesToday_ = 0;
    bool calAuthorized_ = false;
    int calMeetingsToday_ = 0;
    int calBusyMin_ = 0;
    int calBackToBack_ = 0;
    std::optional<int> calNextInMin_;
    std::string activeSinceLabel_;
    int longestStretchMin_ = 0;
    bool lateNight_ = false;
    bool micInUse_ = false;
    bool audioPlaying_ = false;
    bool inFlow_ = false;
    bool onBattery_ = false;
    std::optional<int> batteryPercent_;
    std::string restraintNote_;
    bool firing_ = false;
    std::string decisionReason_;
    std::string localLine_ = std::string(InspectFacts::kNoValue);
    std::string reflectionSource_ = std::string(InspectFacts::kNoValue);
    std::vector<std::string> whyFactors_;
    std::vector<std::string> decisionLog_;
    std::string cloudStatus_;
    std::string cloudReasoning_;
    std::optional<std::string> cloudLine_;
    std::string cloudSource_;
    std::string loginItemState_ = "notRegistered";
    bool heartbeatStale_ = false;
    std::string lastTickAgoLabel_ = std::string(InspectFacts::kNoValue);
    bool hasPromise_ = false;
    std::string promiseSentence_;
    std::string breakpointKind_ = std::string(InspectFacts::kNoValue);
    std::vector<InspectFacts::SensingNote> sensingNotes_;
};

}  // namespace quillfen
