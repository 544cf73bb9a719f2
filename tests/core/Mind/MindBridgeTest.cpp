#include "Mind/MindBridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>

#include "Support/JsonText.h"
#include "support/ChildProcess.h"
#include "support/ScriptedMind.h"

namespace quillfen {
namespace {

using namespace std::chrono_literals;
using test::ScriptedMind;
using R = VoiceRule;

// Three long afternoons and one fragmented one: the factual guard allows 1, 2, 3 and 4.
AgentSummary threeLongAfternoons() {
    AgentSummary summary;
    summary.summary.daysObserved = 5;
    summary.summary.longAfternoonsThisWeek = 3;
    summary.summary.fragmentedAfternoonsThisWeek = 1;
    return summary;
}

const std::string kLocal = "Third long afternoon this week. Step outside for five.";

MindBridge bridgeOver(const ScriptedMind& mind, double timeout = 1.0, double reflectTimeout = 1.0) {
    return MindBridge(AgentTenant::ilvane(), std::make_shared<ScriptedMind>(mind), timeout, reflectTimeout);
}

BridgeTrace fellBack(std::string mindError) {
    BridgeTrace trace;
    trace.fired = true;
    trace.renderedLine = kLocal;
    trace.source = LineSource::local;
    trace.mindReached = true;
    trace.mindError = std::move(mindError);
    trace.localLine = kLocal;
    return trace;
}

BridgeTrace proposed(std::string mindLine, std::vector<VoiceRule> failures) {
    BridgeTrace trace;
    trace.fired = true;
    trace.source = failures.empty() ? LineSource::mind : LineSource::local;
    trace.renderedLine = failures.empty() ? mindLine : kLocal;
    trace.mindReached = true;
    trace.voiceFailures = std::move(failures);
    trace.localLine = kLocal;
    trace.mindLine = std::move(mindLine);
    return trace;
}

BridgeTrace silent() {
    BridgeTrace trace;
    trace.silence = BridgeSilence::mindChoseSilence;
    trace.mindReached = true;
    trace.localLine = kLocal;
    return trace;
}

struct ConsultCase {
    const char* name;
    ScriptedMind mind;
    BridgeTrace expected;
};

void PrintTo(const ConsultCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<ConsultCase> consultCases() {
    using D = MindDecision;
    return {
        // The mind's own failures, in their textual form.
        {"Transport", ScriptedMind::failing(MindError::transport("claude exited 1: no \"auth\"")),
         fellBack(R"(transport("claude exited 1: no \"auth\""))")},
        {"Unparseable", ScriptedMind::failing(MindError::unparseable("unknown decision: maybe")),
         fellBack(R"(unparseable("unknown decision: maybe"))")},
        {"MindsOwnTimeOut", ScriptedMind::failing(MindError::timedOut()), fellBack("timedOut")},
        {"RefusedLeak", ScriptedMind::failing(MindError::refusedLeak()), fellBack("refusedLeak")},
        {"ThrownMindError", ScriptedMind::throwingMindError(MindError::unparseable("half\na line")),
         fellBack(R"(unparseable("half\na line"))")},
        {"ThrownOtherError", ScriptedMind::throwing("socket closed"),
         fellBack(R"(transport("socket closed"))")},

        {"Silence", ScriptedMind::deciding(D::staySilent("a calm week")), silent()},
        {"SilenceWithoutWhy", ScriptedMind::deciding(D::staySilent("")), silent()},

        {"LinePasses", ScriptedMind::deciding(D::oneNudge("A long week. Step outside for five.", "long")),
         proposed("A long week. Step outside for five.", {})},
        {"LineClaimsABackedCount",
         ScriptedMind::deciding(D::oneNudge("Third long afternoon, first fragmented.", "")),
         proposed("Third long afternoon, first fragmented.", {})},
        {"PaddedLinePassesTrimmed", ScriptedMind::deciding(D::oneNudge(" \n A long week.\t\n", "")),
         proposed("A long week.", {})},
        {"EmptyLine", ScriptedMind::deciding(D::oneNudge("", "")), proposed("", {R::nonEmpty})},
        {"BlankLine", ScriptedMind::deciding(D::oneNudge("  \n ", "")), proposed("", {R::nonEmpty})},
        {"VoiceRefuses", ScriptedMind::deciding(D::oneNudge(" Still at it? ", "")),
         proposed("Still at it?", {R::noQuestion})},
        {"FactsRefuse", ScriptedMind::deciding(D::oneNudge("Fifth long afternoon.", "")),
         proposed("Fifth long afternoon.", {R::numberMismatchesSummary})},
        {"BothRefuseVoiceFirst",
         ScriptedMind::deciding(D::oneNudge("FIFTH long afternoon? 3 hours in. Out.", "")),
         proposed("FIFTH long afternoon? 3 hours in. Out.",
                  {R::noQuestion, R::sentenceCase, R::atMostTwoSentences, R::noColdTemplateSlop,
                   R::numberMismatchesSummary})},
    };
}

class MindBridgeConsult : public testing::TestWithParam<ConsultCase> {};

TEST_P(MindBridgeConsult, RecordsWhatTheMindDidAndSpeaksTheRightLine) {
    const ConsultCase& c = GetParam();
    const BridgeTrace trace = bridgeOver(c.mind).consult(threeLongAfternoons());
    EXPECT_EQ(trace, c.expected);
    // Everything but the mind's chosen silence speaks.
    EXPECT_EQ(trace.fired, !trace.silence.has_value());
}

INSTANTIATE_TEST_SUITE_P(Table, MindBridgeConsult, testing::ValuesIn(consultCases()),
                         [](const testing::TestParamInfo<ConsultCase>& info) {
                             return std::string(info.param.name);
                         });

struct ReflectCase {
    const char* name;
    ScriptedMind mind;
    ReflectionResult expected;
};

void PrintTo(const ReflectCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<ReflectCase> reflectCases() {
    const auto offVoice = ReflectionResult{std::nullopt, "off-voice"};
    return {
        {"Accepted",
         ScriptedMind::reflecting("Three long afternoons this week."),
         {"Three long afternoons this week.", "mind"}},
        {"LowerCaseLeadIsCapitalised",
         ScriptedMind::reflecting("a calm week at the screen."),
         {"A calm week at the screen.", "mind"}},
        {"TrimmedThenCapitalised",
         ScriptedMind::reflecting("\n  \u00e9veryday calm.  "),
         {"\u00c9veryday calm.", "mind"}},
        {"Question", ScriptedMind::reflecting("A calm week, wasn\u2019t it?"), offVoice},
        {"Advice", ScriptedMind::reflecting("You should rest more."), offVoice},
        {"InvitationOutside", ScriptedMind::reflecting("Step outside soon."), offVoice},
        {"Shouting", ScriptedMind::reflecting("A CALM week."), offVoice},
        {"InventedCount", ScriptedMind::reflecting("Five long afternoons this week."), offVoice},
        // A lower-case letter with no capital keeps its lead and breaks leadingCapital.
        {"LeadWithoutACapital", ScriptedMind::reflecting("\u0138 calm week."), offVoice},
        {"Blank", ScriptedMind::reflecting(" \n"), offVoice},

        {"Transport",
         ScriptedMind::failing(MindError::transport("claude: rate limited")),
         {std::nullopt, R"(mind-error: transport("claude: rate limited"))"}},
        {"Unparseable",
         ScriptedMind::failing(MindError::unparseable("{\"line\":")),
         {std::nullopt, R"(mind-error: unparseable("{\"line\":"))"}},
        {"MindsOwnTimeOut",
         ScriptedMind::failing(MindError::timedOut()),
         {std::nullopt, "mind-error: timedOut"}},
        {"RefusedLeak",
         ScriptedMind::failing(MindError::refusedLeak()),
         {std::nullopt, "mind-error: refusedLeak"}},
        {"ThrownOtherError",
         ScriptedMind::throwing("boom"),
         {std::nullopt, R"(mind-error: transport("boom"))"}},
        {"ThrownMindError",
         ScriptedMind::throwingMindError(MindError::timedOut()),
         {std::nullopt, "mind-error: timedOut"}},
        {"MindThatCannotReflect",
         ScriptedMind::deciding(MindDecision::staySilent("")),
         {std::nullopt, R"(mind-error: transport("reflect unsupported by this mind"))"}},
    };
}

class MindBridgeReflect : public testing::TestWithParam<ReflectCase> {};

TEST_P(MindBridgeReflect, KeepsOnlyALineInTheMirrorsVoice) {
    const ReflectCase& c = GetParam();
    EXPECT_EQ(bridgeOver(c.mind).reflect(threeLongAfternoons()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, MindBridgeReflect, testing::ValuesIn(reflectCases()),
                         [](const testing::TestParamInfo<ReflectCase>& info) {
                             return std::string(info.param.name);
                         });

AgentContext contextOf(const AgentSummary& summary) {
    AgentContext context;
    context.summary = summary;
    context.today.continuousMinutesNow = 95;
    return context;
}

BridgeTrace reasoned(BridgeTrace trace, std::string why) {
    trace.mindReasoning = std::move(why);
    return trace;
}

TEST(MindBridge, AnExplicitAskKeepsTheMindsReasonAndGuardsAgainstTheEmbeddedSummary) {
    using D = MindDecision;
    const std::vector<std::pair<ScriptedMind, BridgeTrace>> table = {
        {ScriptedMind::deciding(D::staySilent("a calm week")), reasoned(silent(), "a calm week")},
        {ScriptedMind::deciding(D::staySilent("")), reasoned(silent(), "")},
        {ScriptedMind::deciding(D::oneNudge("Third long afternoon.", "three long")),
         reasoned(proposed("Third long afternoon.", {}), "three long")},
        {ScriptedMind::deciding(D::oneNudge("Fifth long afternoon?", "made up")),
         reasoned(proposed("Fifth long afternoon?", {R::noQuestion, R::numberMismatchesSummary}), "made up")},
        {ScriptedMind::failing(MindError::unparseable("{")), fellBack(R"(unparseable("{"))")},
        {ScriptedMind::throwing("pipe"), fellBack(R"(transport("pipe"))")},
    };
    for (const auto& [mind, expected] : table)
        EXPECT_EQ(bridgeOver(mind).consultRich(contextOf(threeLongAfternoons())), expected);
}

TEST(MindBridge, AContextRefusedByTheLeakCheckNeverReachesTheMind) {
    auto mind =
        std::make_shared<ScriptedMind>(ScriptedMind::deciding(MindDecision::oneNudge("A long week.", "")));
    const MindBridge bridge(AgentTenant::ilvane(), mind, 1.0, 1.0);
    AgentContext context = contextOf(threeLongAfternoons());
    context.today.activeSinceHour = std::numeric_limits<double>::quiet_NaN();

    BridgeTrace expected = fellBack("refused-leak: nonFiniteNumber");
    expected.mindReached = false;
    EXPECT_EQ(bridge.consultRich(context), expected);
    EXPECT_EQ(mind->calls(), 0);
}

// The minds below are never let go: only the bridge's request to stop ends their wait before they
// give up, which a bridge that waited for them would see.
TEST(MindBridge, AnExplicitAskTimesOutOnTime) {
    auto hold = std::make_shared<test::Hold>();
    auto mind = std::make_shared<ScriptedMind>(
        ScriptedMind::deciding(MindDecision::oneNudge("A long week.", "")).heldBy(hold));
    const MindBridge bridge(AgentTenant::ilvane(), mind, 0.2, 5.0);
    EXPECT_EQ(bridge.consultRich(contextOf(threeLongAfternoons())), fellBack("timed-out"));
    ASSERT_TRUE(mind->waitUntilIdle(test::kPatience, 1));
    EXPECT_FALSE(hold->gaveUp());
}

TEST(MindBridge, ConsultLeavesTheReasonUnrecorded) {
    const BridgeTrace trace =
        bridgeOver(ScriptedMind::deciding(MindDecision::oneNudge("A long week.", "three long")))
            .consult(threeLongAfternoons());
    EXPECT_EQ(trace.mindReasoning, std::nullopt);
}

TEST(MindBridge, ASleepingMindTimesOutOnTimeAndIsAskedToStop) {
    auto hold = std::make_shared<test::Hold>();
    auto mind = std::make_shared<ScriptedMind>(
        ScriptedMind::deciding(MindDecision::oneNudge("A long week.", "")).heldBy(hold));
    const MindBridge bridge(AgentTenant::ilvane(), mind, 0.2, 0.2);

    const BridgeTrace trace = bridge.consult(threeLongAfternoons());
    // Its answer would have passed the guards; it came too late.
    EXPECT_EQ(trace, fellBack("timed-out"));

    ASSERT_TRUE(mind->waitUntilIdle(test::kPatience, 1));
    EXPECT_FALSE(hold->gaveUp());
    EXPECT_EQ(mind->stoppedCalls(), 1);
}

TEST(MindBridge, ASleepingReflectionTimesOutOnTime) {
    auto hold = std::make_shared<test::Hold>();
    auto mind = std::make_shared<ScriptedMind>(ScriptedMind::reflecting("A calm week.").heldBy(hold));
    const MindBridge bridge(AgentTenant::ilvane(), mind, 5.0, 0.2);

    EXPECT_EQ(bridge.reflect(threeLongAfternoons()), (ReflectionResult{std::nullopt, "timed-out"}));
    ASSERT_TRUE(mind->waitUntilIdle(test::kPatience, 1));
    EXPECT_FALSE(hold->gaveUp());
}

// A mind that is slow to stop must not hold its caller past the time-out: the late call is left
// to end on its own, and the bridge may go before it does.
TEST(MindBridge, AMindThatIgnoresStopStillAnswersAtTheTimeOut) {
    auto hold = std::make_shared<test::Hold>();
    auto mind = std::make_shared<ScriptedMind>(
        ScriptedMind::deciding(MindDecision::oneNudge("A long week.", "")).heldBy(hold).ignoringStop());
    {
        const MindBridge bridge(AgentTenant::ilvane(), mind, 0.1, 0.1);
        EXPECT_EQ(bridge.consult(threeLongAfternoons()), fellBack("timed-out"));
        EXPECT_EQ(bridge.reflect(threeLongAfternoons()), (ReflectionResult{std::nullopt, "timed-out"}));
    }
    hold->letGo();
    EXPECT_FALSE(hold->gaveUp()) << "the bridge waited for the mind";

    // The late calls end by themselves, on their shares of the mind.
    ASSERT_TRUE(mind->waitUntilIdle(test::kPatience, 2));
    EXPECT_EQ(mind->calls(), 2);
    EXPECT_EQ(mind->stoppedCalls(), 2);
}

// A mind blocked where it cannot see the stop (a persona read from a pipe, say) must not leave a
// thread behind at every call, to start its tool all at once when it comes free.
TEST(MindBridge, CallsThatWillNotStopArePiledUpNoFurtherThanTheCap) {
    auto hold = std::make_shared<test::Hold>();
    auto mind =
        std::make_shared<ScriptedMind>(ScriptedMind::reflecting("A calm week.").heldBy(hold).ignoringStop());
    const MindBridge bridge(AgentTenant::ilvane(), mind, 0.01, 0.01);
    for (int i = 0; i < 2 * MindBridge::kMaxRunningCalls; ++i) {
        EXPECT_EQ(bridge.reflect(threeLongAfternoons()), (ReflectionResult{std::nullopt, "timed-out"}));
        EXPECT_EQ(MindBridge(bridge).consult(threeLongAfternoons()), fellBack("timed-out"));
    }
    // A call's thread may start a little after the call has timed out.
    const auto started = [&](int calls) { return test::waitUntil([&] { return mind->calls() == calls; }); };
    EXPECT_TRUE(started(MindBridge::kMaxRunningCalls));
    hold->letGo();
    ASSERT_TRUE(mind->waitUntilIdle(test::kPatience));
    EXPECT_FALSE(hold->gaveUp());
    EXPECT_EQ(mind->calls(), MindBridge::kMaxRunningCalls);
    bridge.reflect(threeLongAfternoons());
    EXPECT_TRUE(started(MindBridge::kMaxRunningCalls + 1)) << "a place that came free serves again";
    ASSERT_TRUE(mind->waitUntilIdle(test::kPatience));
}

TEST(MindBridge, AnAnswerInTimeIsNotCutShort) {
    auto mind = std::make_shared<ScriptedMind>(
        ScriptedMind::deciding(MindDecision::oneNudge("A long week.", "")).after(50ms));
    const MindBridge bridge(AgentTenant::ilvane(), mind, 1.0, 1.0);
    EXPECT_EQ(bridge.consult(threeLongAfternoons()), proposed("A long week.", {}));
    EXPECT_EQ(mind->stoppedCalls(), 0);
}

TEST(MindBridge, ANegativeTimeOutTimesOutAtOnce) {
    auto mind = std::make_shared<ScriptedMind>(
        ScriptedMind::deciding(MindDecision::oneNudge("A long week.", "")).after(5000ms));
    const MindBridge bridge(AgentTenant::ilvane(), mind, -1.0, -1.0);
    EXPECT_EQ(bridge.consult(threeLongAfternoons()), fellBack("timed-out"));
    ASSERT_TRUE(mind->waitUntilIdle(1000ms));
}

TEST(MindBridge, CapitalizeLeadUpperCasesOnlyALeadingLowerCaseLetter) {
    const std::vector<std::pair<std::string, std::string>> table = {
        {"", ""},
        {"a", "A"},
        {"a calm week", "A calm week"},
        {"Already", "Already"},
        {" a calm week", " a calm week"},
        {"3 afternoons", "3 afternoons"},
        {"\"quoted\"", "\"quoted\""},
        {"\u201ccurly\u201d", "\u201ccurly\u201d"},
        {"\u00dfig", "SSig"},
        {"e\u0301t\u00e9", "E\u0301t\u00e9"},
        {"\u01c6ungla", "\u01c4ungla"},
        {"\u4e2d\u6587", "\u4e2d\u6587"},
        {"\xff"
         "abc",
         "\xff"
         "abc"},
    };
    for (const auto& [text, expected] : table)
        EXPECT_EQ(MindBridge::capitalizeLead(text), expected) << text;
}

TEST(BridgeTrace, OutcomeFiresOnlyWithALineAndItsSource) {
    using Fire = BridgeOutcome::Fire;
    struct Case {
        BridgeTrace trace;
        BridgeOutcome expected;
    };
    BridgeTrace spoken = proposed("A long week.", {});
    BridgeTrace withoutLine = spoken;
    withoutLine.renderedLine.reset();
    BridgeTrace withoutSource = spoken;
    withoutSource.source.reset();
    BridgeTrace notFired = spoken;
    notFired.fired = false;
    BridgeTrace refused = silent();
    refused.silence = BridgeSilence::summaryRefused;
    BridgeTrace bare = silent();
    bare.silence.reset();
    const std::vector<Case> table = {
        {spoken, {Fire{"A long week.", LineSource::mind}}},
        {fellBack("timed-out"), {Fire{kLocal, LineSource::local}}},
        {withoutLine, {BridgeSilence::mindChoseSilence}},
        {withoutSource, {BridgeSilence::mindChoseSilence}},
        {notFired, {BridgeSilence::mindChoseSilence}},
        {silent(), {BridgeSilence::mindChoseSilence}},
        {refused, {BridgeSilence::summaryRefused}},
        {bare, {BridgeSilence::mindChoseSilence}},
    };
    for (std::size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(table[i].trace.outcomeValue(), table[i].expected) << i;
}

std::string encoded(const BridgeTrace& trace) {
    nlohmann::ordered_json j = trace;
    return JsonText::encode(j).value_or("");
}

TEST(BridgeTrace, JsonKeepsDeclarationOrderAndLeavesAbsentFieldsOut) {
    BridgeTrace full = proposed("Still at it?", {R::noQuestion, R::numberMismatchesSummary});
    full.mindError = "timed-out";
    full.silence = BridgeSilence::summaryRefused;
    full.mindReasoning = "long week";
    EXPECT_EQ(
        encoded(full),
        R"({"fired":true,"renderedLine":")" + kLocal +
            R"(","source":"local","silence":"summaryRefused","mindReached":true,"mindError":"timed-out",)"
            R"("voiceFailures":["noQuestion","numberMismatchesSummary"],"localLine":")" +
            kLocal + R"(","mindLine":"Still at it?","mindReasoning":"long week"})");
    EXPECT_EQ(
        encoded(silent()),
        R"({"fired":false,"silence":"mindChoseSilence","mindReached":true,"voiceFailures":[],"localLine":")" +
            kLocal + R"("})");

    for (const BridgeTrace& trace : {full, silent(), fellBack("refused-leak: rawActivityToken")}) {
        EXPECT_EQ(bridgeTraceFromJson(nlohmann::json::parse(encoded(trace))), trace);
    }
}

TEST(BridgeTrace, ReadingNeedsTheFourRequiredFieldsAndKnownWords) {
    const nlohmann::json whole = nlohmann::json::parse(encoded(proposed("Still at it?", {R::noQuestion})));
    for (const char* required : {"fired", "mindReached", "voiceFailures", "localLine"}) {
        nlohmann::json partial = whole;
        partial.erase(required);
        EXPECT_EQ(bridgeTraceFromJson(partial), std::nullopt) << required;
    }
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, nlohmann::json>>{{"source", "cloud"},
                                                             {"voiceFailures", {"noShouting"}},
                                                             {"silence", "bored"},
                                                             {"fired", "yes"}}) {
        nlohmann::json wrong = whole;
        wrong[key] = value;
        EXPECT_EQ(bridgeTraceFromJson(wrong), std::nullopt) << key;
    }
    nlohmann::json nulls = whole;
    nulls["mindReasoning"] = nullptr;
    EXPECT_EQ(bridgeTraceFromJson(nulls), proposed("Still at it?", {R::noQuestion}));
}

}  // namespace
}  // namespace quillfen
