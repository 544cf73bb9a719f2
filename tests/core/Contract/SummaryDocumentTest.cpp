#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Contract/AgentSummary.h"
#include "Contract/SeamEncoder.h"

namespace quillfen {
namespace {

using LeakError = AgentSummary::LeakError;

AgentSummary example(std::optional<bool> sky) {
    AgentSummary::Week week;
    week.daysObserved = 5;
    week.longAfternoonsThisWeek = 2;
    week.fragmentedAfternoonsThisWeek = 1;
    week.today = {PartOfDay::afternoon, ScreenBand::oneToTwo, AttentionState::focused, Load::medium, false};
    week.nudgesAlreadyThisWeek = 0;
    return AgentSummary(AgentProfile::work, week, sky);
}

TEST(SummaryDocument, IsCompactWithKeysSortedAtEveryLevel) {
    EXPECT_EQ(example(true).jsonString(),
              R"({"profile":"work","schemaVersion":1,"skyConfirmedGood":true,"summary":{"daysObserved":5,)"
              R"("fragmentedAfternoonsThisWeek":1,"longAfternoonsThisWeek":2,"nudgesAlreadyThisWeek":0,)"
              R"("today":{"attentionState":"focused","continuousScreenBand":"1-2h","load":"medium",)"
              R"("partOfDay":"afternoon","wentLong":false}}})");
}

TEST(SummaryDocument, LeavesOutAnAbsentSkyFlag) {
    EXPECT_EQ(example(std::nullopt).jsonString(),
              R"({"profile":"work","schemaVersion":1,"summary":{"daysObserved":5,)"
              R"("fragmentedAfternoonsThisWeek":1,"longAfternoonsThisWeek":2,"nudgesAlreadyThisWeek":0,)"
              R"("today":{"attentionState":"focused","continuousScreenBand":"1-2h","load":"medium",)"
              R"("partOfDay":"afternoon","wentLong":false}}})");
    EXPECT_NE(example(false).jsonString().find(R"("skyConfirmedGood":false,)"), std::string::npos);
}

TEST(SummaryDocument, WritesADayMarkWithItsKeysInOrder) {
    const nlohmann::json mark = AgentSummary::DayMark{3, false, true, true, false};
    EXPECT_EQ(SeamEncoder::encode(mark),
              R"({"daysAgo":3,"fragmented":false,"isToday":false,"observed":true,"wentLong":true})");
    EXPECT_EQ(dayMarkFromJson(mark), (AgentSummary::DayMark{3, false, true, true, false}));
}

TEST(SummaryDocument, ReadsBackWhatItWrites) {
    for (std::optional<bool> sky :
         {std::optional<bool>(), std::optional<bool>(true), std::optional<bool>(false)}) {
        const AgentSummary summary = example(sky);
        EXPECT_EQ(agentSummaryFromJsonText(summary.jsonString()), summary);
    }
}

TEST(SummaryDocument, ReadingFollowsTheRequiredKeys) {
    const auto read = [](const std::string& today,
                         const std::string& top = R"("profile":"adhd","schemaVersion":7)") {
        return agentSummaryFromJsonText(
            "{" + top +
            R"(,"summary":{"daysObserved":1,"fragmentedAfternoonsThisWeek":0,"longAfternoonsThisWeek":0,)"
            R"("nudgesAlreadyThisWeek":0,"today":)" +
            today + "}}");
    };
    const auto withoutWentLong = read(
        R"({"attentionState":"idle","continuousScreenBand":"over-3h","load":"high","partOfDay":"night"})");
    ASSERT_TRUE(withoutWentLong);
    EXPECT_FALSE(withoutWentLong->summary.today.wentLong);
    EXPECT_EQ(withoutWentLong->schemaVersion, 7);
    EXPECT_EQ(withoutWentLong->profile, AgentProfile::adhd);
    EXPECT_EQ(withoutWentLong->summary.today.continuousScreenBand, ScreenBand::overThree);
    EXPECT_FALSE(withoutWentLong->skyConfirmedGood);

    EXPECT_FALSE(read(R"({"attentionState":"idle","continuousScreenBand":"over-3h","partOfDay":"night"})"));
    EXPECT_FALSE(read(
        R"({"attentionState":"idle","continuousScreenBand":"over-4h","load":"high","partOfDay":"night"})"));
    EXPECT_FALSE(read(
        R"({"attentionState":"idle","continuousScreenBand":"over-3h","load":"high","partOfDay":"night"})",
        R"("profile":"work")"));
    EXPECT_FALSE(read(
        R"({"attentionState":"idle","continuousScreenBand":"over-3h","load":"high","partOfDay":"night"})",
        R"("profile":"Work","schemaVersion":1)"));
    EXPECT_FALSE(dayMarkFromJson(
        nlohmann::json{{"daysAgo", 1}, {"isToday", false}, {"observed", true}, {"wentLong", false}}));
}

struct LeakCase {
    const char* text;
    std::optional<LeakError> expected;
};

TEST(SummaryLeakCheck, RefusesActivityWordsThenRawKeysAndMinuteCounts) {
    const std::vector<LeakCase> table = {
        {R"({"note":"90 min"})", LeakError::rawMinuteOrSignalKey},
        {R"({"note":"120min"})", LeakError::rawMinuteOrSignalKey},
        {R"({"note":"1440 MIN"})", LeakError::rawMinuteOrSignalKey},
        {R"({"note":"5 min"})", std::nullopt},
        {R"({"note":"12345 min"})", std::nullopt},
        {R"({"note":"90 minutes"})", std::nullopt},
        {R"({"localHour":14})", LeakError::rawMinuteOrSignalKey},
        {R"({"TIMESTAMP":1})", LeakError::rawMinuteOrSignalKey},
        {R"({"continuousScreenMin":3})", LeakError::rawMinuteOrSignalKey},
        {R"({"note":"localHour"})", LeakError::rawMinuteOrSignalKey},
        {R"({"note":"the localHour of it"})", std::nullopt},
        {R"({"note":"Slack"})", LeakError::rawActivityToken},
        {R"({"note":"SLACK","localHour":1})", LeakError::rawActivityToken},
        {R"({"note":"slacker"})", std::nullopt},
        {R"({"note":"http"})", LeakError::rawActivityToken},
        {R"({"note":"www.example"})", LeakError::rawActivityToken},
        {R"({"note":"example.org"})", LeakError::rawActivityToken},
        {R"({"note":"a Tab Title"})", LeakError::rawActivityToken},
        {R"({"note":"zoomed"})", std::nullopt},
    };
    for (const LeakCase& c : table)
        EXPECT_EQ(AgentSummary::rawLeakIn(c.text), c.expected) << c.text;
}

TEST(SummaryLeakCheck, PassesEveryBuiltSummary) {
    for (PartOfDay part : kAllPartsOfDay) {
        for (ScreenBand band : kAllScreenBands) {
            for (AttentionState attention :
                 {AttentionState::focused, AttentionState::fragmented, AttentionState::idle}) {
                for (Load load : {Load::low, Load::medium, Load::high}) {
                    AgentSummary::Week week{9999, 9999, 9999, {part, band, attention, load, true}, 9999};
                    const AgentSummary summary(AgentProfile::adhd, week, true);
                    EXPECT_EQ(summary.assertNoRawLeak(), std::nullopt) << summary.jsonString();
                }
            }
        }
    }
    EXPECT_EQ(toString(LeakError::rawActivityToken), "rawActivityToken");
    EXPECT_EQ(toString(LeakError::rawMinuteOrSignalKey), "rawMinuteOrSignalKey");
}

TEST(SeamEncoder, WritesNumbersAndStringsAsTheWireExpects) {
    const nlohmann::json value = {
        {"b", {{"z", 120.0}, {"a", 0.1}, {"m", -3.0}, {"q", 1.5}, {"big", 1e20}}},
        {"a", {true, nullptr, 7, std::uint64_t{18446744073709551615u}, -42}},
        {"s", "a/b \"q\" \\ \n\t\x01 é"},
        {"e", nlohmann::json::array()},
        {"o", nlohmann::json::object()},
    };
    EXPECT_EQ(
        SeamEncoder::encode(value),
        R"({"a":[true,null,7,18446744073709551615,-42],"b":{"a":0.1,"big":1e+20,"m":-3,"q":1.5,"z":120},)"
        R"("e":[],"o":{},"s":"a\/b \"q\" \\ \n\t\u0001 é"})");
}

TEST(SeamEncoder, FailsOnANumberThatIsNotFinite) {
    EXPECT_EQ(SeamEncoder::encode(nlohmann::json{{"a", {{"b", std::nan("")}}}}), std::nullopt);
    EXPECT_EQ(SeamEncoder::encode(nlohmann::json::array({1, -HUGE_VAL})), std::nullopt);
}

}  // namespace
}  // namespace quillfen
