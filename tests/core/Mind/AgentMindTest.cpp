#include <stop_token>
#include <string>

#include <gtest/gtest.h>

#include "Contract/AgentContext.h"
#include "Mind/AgentMind.h"

namespace quillfen {
namespace {

// A mind that only decides: its answer names the summary it saw and whether it was asked to stop.
class DecideOnlyMind : public AgentMind {
public:
    MindResult<MindDecision> decide(const AgentSummary& summary, std::stop_token stop) const override {
        if (summary.summary.daysObserved == 0) return MindError::unparseable("empty week");
        return MindDecision::oneNudge("Step out.", std::to_string(summary.summary.daysObserved) +
                                                       (stop.stop_requested() ? " stopped" : ""));
    }
};

AgentContext contextOver(int daysObserved) {
    AgentContext context;
    context.summary.summary.daysObserved = daysObserved;
    context.week = {{0, true, true, false, false}};
    context.today.continuousMinutesNow = 95;
    return context;
}

TEST(AgentMindDefaults, ARichAskIsAnsweredAsTheEmbeddedSummaryWouldBe) {
    const DecideOnlyMind mind;
    for (int days : {0, 3, 7}) {
        const AgentContext context = contextOver(days);
        EXPECT_EQ(mind.decideRich(context, {}), mind.decide(context.summary, {}));
    }
    EXPECT_EQ(mind.decideRich(contextOver(0), {}),
              (MindResult<MindDecision>(MindError::unparseable("empty week"))));

    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_EQ(mind.decideRich(contextOver(4), stopped.get_token()),
              (MindResult<MindDecision>(MindDecision::oneNudge("Step out.", "4 stopped"))));
}

TEST(AgentMindDefaults, AMindThatOnlyDecidesCannotReflect) {
    EXPECT_EQ(DecideOnlyMind().reflect(AgentSummary(), {}),
              (MindResult<std::string>(MindError::transport("reflect unsupported by this mind"))));
}

}  // namespace
}  // namespace quillfen
