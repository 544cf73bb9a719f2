#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Mind/AgentMind.h"
#include "Mind/MindDecision.h"
#include "Mind/MindError.h"

namespace quillfen {
namespace {

TEST(MindDecision, EqualOnlyWithTheSameCaseAndTexts) {
    EXPECT_EQ(MindDecision::staySilent(""), MindDecision::staySilent(""));
    EXPECT_NE(MindDecision::staySilent(""), MindDecision::staySilent("late"));
    EXPECT_EQ(MindDecision::oneNudge("Step out.", "long"), MindDecision::oneNudge("Step out.", "long"));
    EXPECT_NE(MindDecision::oneNudge("Step out.", "long"), MindDecision::oneNudge("Step out.", ""));
    EXPECT_NE(MindDecision::oneNudge("", "late"), MindDecision::staySilent("late"));

    const MindDecision nudge = MindDecision::oneNudge("Step out.", "long");
    ASSERT_NE(nudge.nudge(), nullptr);
    EXPECT_EQ(nudge.nudge()->line, "Step out.");
    EXPECT_EQ(nudge.why(), "long");
    EXPECT_EQ(MindDecision::staySilent("late").nudge(), nullptr);
    EXPECT_EQ(MindDecision::staySilent("late").why(), "late");
}

TEST(MindError, EqualOnlyWithTheSameCaseAndText) {
    EXPECT_EQ(MindError::transport("a"), MindError::transport("a"));
    EXPECT_NE(MindError::transport("a"), MindError::transport("b"));
    EXPECT_NE(MindError::transport("a"), MindError::unparseable("a"));
    EXPECT_EQ(MindError::timedOut(), MindError::timedOut());
    EXPECT_NE(MindError::timedOut(), MindError::refusedLeak());
}

TEST(MindError, TextualFormIsTheCaseNameWithAnyMessageQuoted) {
    struct Case {
        MindError error;
        std::string text;
    };
    const std::vector<Case> cases = {
        {MindError::timedOut(), "timedOut"},
        {MindError::refusedLeak(), "refusedLeak"},
        {MindError::transport("reflect unsupported by this mind"),
         R"(transport("reflect unsupported by this mind"))"},
        {MindError::unparseable("unknown decision: maybe"), R"(unparseable("unknown decision: maybe"))"},
        {MindError::transport(""), R"(transport(""))"},
        {MindError::transport("claude exited 1: said \"no\" at C:\\x\n"),
         R"(transport("claude exited 1: said \"no\" at C:\\x\n"))"},
        {MindError::unparseable("a\tb\rc"), R"(unparseable("a\tb\rc"))"},
        {MindError::unparseable(std::string("nul\0here", 8)), R"(unparseable("nul\0here"))"},
        {MindError::unparseable("esc\x1b[0m del\x7f c1\u0085"),
         R"(unparseable("esc\u{1b}[0m del\u{7f} c1\u{85}"))"},
        {MindError::unparseable("it\u2019s \u201cfine\u201d \U0001F44D 'ok'"),
         "unparseable(\"it\u2019s \u201cfine\u201d \U0001F44D 'ok'\")"},
        {MindError::transport("broken \xff byte"), "transport(\"broken \uFFFD byte\")"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(textualForm(c.error), c.text);
}

}  // namespace
}  // namespace quillfen
