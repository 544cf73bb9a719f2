#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Contract/AgentContext.h"
#include "Contract/SeamEncoder.h"

namespace quillfen {
namespace {

using LeakError = AgentSummary::LeakError;
using Refusal = AgentContext::Refusal;

AgentSummary workedSummary() {
    AgentSummary::Week week;
    week.daysObserved = 5;
    week.longAfternoonsThisWeek = 2;
    week.fragmentedAfternoonsThisWeek = 1;
    week.today = {PartOfDay::afternoon, ScreenBand::oneToTwo, AttentionState::focused, Load::medium, false};
    week.nudgesAlreadyThisWeek = 1;
    return AgentSummary(AgentProfile::work, week, std::nullopt);
}

AgentContext::TodayDetail workedToday() {
    return {.partOfDay = PartOfDay::afternoon,
            .continuousMinutesNow = 95,
            .longestStretchMinutes = 130,
            .appSwitchesLastHour = 40,
            .attentionState = AttentionState::fragmented,
            .load = Load::high,
            .activeSinceHour = 9.5,
            .lateNight = false};
}

AgentContext workedContext() {
    return AgentContext(
        workedSummary(), {{0, true, true, false, false}, {1, false, true, true, true}}, workedToday(),
        AgentContext::CalendarContext{4, 180, 2, 25}, AgentContext::AIContext{3, 12},
        AgentContext::DeviceContext{false, true, false, DisplayState::awake}, BreakpointKind::buildWait,
        {{0, PartOfDay::afternoon, NudgeOutcome::landed}, {2, PartOfDay::evening, NudgeOutcome::ignored}});
}

AgentContext bareContext() {
    AgentContext::TodayDetail today = workedToday();
    today.activeSinceHour.reset();
    return AgentContext(workedSummary(), {}, today, std::nullopt, std::nullopt, std::nullopt,
                        BreakpointKind::none, {});
}

const std::string kWorkedSummaryJson =
    R"({"profile":"work","schemaVersion":1,"summary":{"daysObserved":5,"fragmentedAfternoonsThisWeek":1,)"
    R"("longAfternoonsThisWeek":2,"nudgesAlreadyThisWeek":1,"today":{"attentionState":"focused",)"
    R"("continuousScreenBand":"1-2h","load":"medium","partOfDay":"afternoon","wentLong":false}}})";

TEST(AgentContextDocument, WritesTheWorkedContextExactly) {
    const AgentContext context = workedContext();
    EXPECT_EQ(context.schemaVersion, 2);
    EXPECT_EQ(context.jsonString(),
              R"({"aiTools":{"lastActiveMinutesAgo":12,"sessionsToday":3},"breakpoint":"buildWait",)"
              R"("calendar":{"backToBack":2,"busyMinutesToday":180,"meetingsToday":4,"nextInMinutes":25},)"
              R"("device":{"audioPlaying":true,"displayState":"awake","onBattery":false,"onCall":false},)"
              R"("recentNudges":[{"daysAgo":0,"outcome":"landed","partOfDay":"afternoon","taken":true},)"
              R"({"daysAgo":2,"outcome":"ignored","partOfDay":"evening","taken":false}],"schemaVersion":2,)"
              R"("summary":)" +
                  kWorkedSummaryJson +
                  R"(,"today":{"activeSinceHour":9.5,"appSwitchesLastHour":40,"attentionState":"fragmented",)"
                  R"("continuousMinutesNow":95,"lateNight":false,"load":"high","longestStretchMinutes":130,)"
                  R"("partOfDay":"afternoon"},"week":[{"daysAgo":0,"fragmented":false,"isToday":true,)"
                  R"("observed":true,"wentLong":false},{"daysAgo":1,"fragmented":true,"isToday":false,)"
                  R"("observed":true,"wentLong":true}]})");
}

TEST(AgentContextDocument, LeavesOutEveryAbsentFactAndWritesAnEmptyNudgeList) {
    EXPECT_EQ(
        bareContext().jsonString(),
        R"({"breakpoint":"none","recentNudges":[],"schemaVersion":2,"summary":)" + kWorkedSummaryJson +
            R"(,"today":{"appSwitchesLastHour":40,"attentionState":"fragmented","continuousMinutesNow":95,)"
            R"("lateNight":false,"load":"high","longestStretchMinutes":130,"partOfDay":"afternoon"},)"
            R"("week":[]})");

    AgentContext partial = bareContext();
    partial.calendar = AgentContext::CalendarContext{0, 0, 0, std::nullopt};
    partial.aiTools = AgentContext::AIContext{0, std::nullopt};
    partial.today.activeSinceHour = 9.0;
    const nlohmann::json written = nlohmann::json::parse(*partial.jsonString());
    EXPECT_EQ(written["calendar"].dump(), R"({"backToBack":0,"busyMinutesToday":0,"meetingsToday":0})");
    EXPECT_EQ(written["aiTools"].dump(), R"({"sessionsToday":0})");
    EXPECT_FALSE(written.contains("device"));
    EXPECT_NE(partial.jsonString()->find(R"({"activeSinceHour":9,)"), std::string::npos);
}

TEST(AgentContextDocument, DerivesTakenFromTheOutcomeAlone) {
    for (NudgeOutcome outcome : kAllNudgeOutcomes) {
        const AgentContext::NudgeResponse response{3, PartOfDay::morning, outcome};
        EXPECT_EQ(response.taken(), outcome == NudgeOutcome::landed);
        AgentContext context = bareContext();
        context.recentNudges = {response};
        const nlohmann::json written = nlohmann::json::parse(*context.jsonString());
        EXPECT_EQ(written["recentNudges"][0]["taken"], outcome == NudgeOutcome::landed);
        EXPECT_EQ(written["recentNudges"][0]["outcome"], toString(outcome));
    }
}

TEST(AgentContextDocument, RefusesANumberThatIsNotFinite) {
    for (double hour :
         {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        AgentContext context = workedContext();
        context.today.activeSinceHour = hour;
        EXPECT_EQ(context.jsonString(), std::nullopt);
        EXPECT_EQ(context.assertNoRawLeak(), Refusal(AgentContext::EncodingError::nonFiniteNumber));
    }
    EXPECT_EQ(toString(Refusal(AgentContext::EncodingError::nonFiniteNumber)), "nonFiniteNumber");
    EXPECT_EQ(toString(Refusal(LeakError::rawActivityToken)), "rawActivityToken");
}

TEST(AgentContextDocument, ReadsBackWhatItWrites) {
    AgentContext stored = workedContext();
    stored.schemaVersion = 7;
    for (const AgentContext& context : {workedContext(), bareContext(), stored})
        EXPECT_EQ(agentContextFromJsonText(*context.jsonString()), context);
}

TEST(AgentContextDocument, ReadingNeedsEveryKeyButTheOptionalOnes) {
    const nlohmann::json full = nlohmann::json::parse(*workedContext().jsonString());

    for (const nlohmann::json::json_pointer& optional :
         {"/calendar"_json_pointer, "/aiTools"_json_pointer, "/device"_json_pointer,
          "/today/activeSinceHour"_json_pointer, "/calendar/nextInMinutes"_json_pointer,
          "/aiTools/lastActiveMinutesAgo"_json_pointer}) {
        nlohmann::json missing = full;
        missing[optional.parent_pointer()].erase(optional.back());
        EXPECT_TRUE(agentContextFromJson(missing)) << optional.to_string();
        nlohmann::json null = full;
        null[optional] = nullptr;
        EXPECT_TRUE(agentContextFromJson(null)) << optional.to_string();
    }

    for (const nlohmann::json::json_pointer& required :
         {"/schemaVersion"_json_pointer, "/summary"_json_pointer, "/week"_json_pointer, "/today"_json_pointer,
          "/breakpoint"_json_pointer, "/recentNudges"_json_pointer, "/today/lateNight"_json_pointer,
          "/today/appSwitchesLastHour"_json_pointer, "/calendar/backToBack"_json_pointer,
          "/aiTools/sessionsToday"_json_pointer, "/device/displayState"_json_pointer,
          "/recentNudges/0/taken"_json_pointer, "/week/1/wentLong"_json_pointer,
          "/summary/summary/today"_json_pointer}) {
        nlohmann::json missing = full;
        missing[required.parent_pointer()].erase(required.back());
        EXPECT_FALSE(agentContextFromJson(missing)) << required.to_string();
    }

    for (const auto& [pointer, wrong] : std::vector<std::pair<nlohmann::json::json_pointer, nlohmann::json>>{
             {"/breakpoint"_json_pointer, "BuildWait"},
             {"/recentNudges/0/outcome"_json_pointer, "taken"},
             {"/device/displayState"_json_pointer, "asleep"},
             {"/today/continuousMinutesNow"_json_pointer, 95.5},
             {"/today/activeSinceHour"_json_pointer, "9.5"},
             {"/recentNudges/0/taken"_json_pointer, 1},
             {"/week"_json_pointer, nlohmann::json::object()}}) {
        nlohmann::json altered = full;
        altered[pointer] = wrong;
        EXPECT_FALSE(agentContextFromJson(altered)) << pointer.to_string();
    }

    nlohmann::json contradicting = full;
    contradicting["recentNudges"][1]["taken"] = true;
    EXPECT_FALSE(agentContextFromJson(contradicting)->recentNudges[1].taken());
}

TEST(AgentContextLeakCheck, PassesTheCountsAndMinutesTheContextCarriesByDesign) {
    const AgentContext context = workedContext();
    EXPECT_EQ(context.assertNoRawLeak(), std::nullopt);
    EXPECT_EQ(bareContext().assertNoRawLeak(), std::nullopt);
    // The summary's own rule would refuse the whole document for its switch count.
    EXPECT_EQ(AgentSummary::rawLeakIn(*context.jsonString()), LeakError::rawMinuteOrSignalKey);

    for (BreakpointKind kind : kAllBreakpointKinds) {
        for (DisplayState display : kAllDisplayStates) {
            AgentContext varied = context;
            varied.breakpoint = kind;
            varied.device->displayState = display;
            varied.today.partOfDay = PartOfDay::night;
            varied.recentNudges.push_back({400, PartOfDay::morning, NudgeOutcome::unknown});
            EXPECT_EQ(varied.assertNoRawLeak(), std::nullopt) << *varied.jsonString();
        }
    }
}

// Every value of the wire form, nested ones and list elements included, is replaced in turn
// by a planted text, and the whole document is searched as it would leave.
void forEachValue(nlohmann::json& node, const std::function<void(nlohmann::json&)>& visit) {
    if (node.is_structured()) {
        for (auto& child : node)
            forEachValue(child, visit);
        if (!node.empty()) return;
    }
    visit(node);
}

TEST(AgentContextLeakCheck, RefusesAnActivityWordPlantedInAnyField) {
    nlohmann::json document = nlohmann::json::parse(*workedContext().jsonString());
    const std::vector<std::string> leaks = {"Slack",         "back in SLACK again",
                                            "chrome",        "Safari",
                                            "firefox",       "gmail",
                                            "Outlook",       "zoom call",
                                            "http",          "HTTPS",
                                            "https://x.y/z", "www.example",
                                            "notes.com",     "example.org",
                                            "a Tab Title",   "window title of it",
                                            "keystroke"};
    const std::vector<std::string> nearMisses = {"zoomed",    "slacker",    "chromebook",
                                                 "community", "keystrokes", "afternoon"};
    int positions = 0;
    forEachValue(document, [&](nlohmann::json& value) {
        ++positions;
        const nlohmann::json original = value;
        for (const std::string& leak : leaks) {
            value = leak;
            EXPECT_TRUE(AgentContext::activityTokenIn(*SeamEncoder::encode(document))) << leak;
        }
        for (const std::string& innocent : nearMisses) {
            value = innocent;
            EXPECT_FALSE(AgentContext::activityTokenIn(*SeamEncoder::encode(document))) << innocent;
        }
        value = original;
    });
    EXPECT_EQ(positions, 49);
    EXPECT_FALSE(AgentContext::activityTokenIn(*SeamEncoder::encode(document)));
}

}  // namespace
}  // namespace quillfen
