#include "Feedback/NudgeOutcomeSensor.h"

#include <gtest/gtest.h>

#include <limits>

#include "support/FixedClock.h"

namespace quillfen {
namespace {

using test::at;

const TimePoint kFire = at("2026-01-05T14:00:00Z");
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A sample `after` seconds after the fire whose idle gap is `idle` seconds long.
SignalSample gapSample(double after, double idle) {
    SignalSample s;
    s.timestamp = addSeconds(kFire, after);
    s.secondsSinceLastInput = idle;
    return s;
}

struct SensorCase {
    const char* name;
    double elapsed;
    std::vector<SignalSample> samples;
    double scoreAtFire;
    std::optional<double> scoreNow;
    std::optional<bool> stepped;
    std::optional<NudgeOutcome> expected;
};

void PrintTo(const SensorCase& c, std::ostream* os) {
    *os << c.name;
}

const std::vector<SignalSample> kBusy = {gapSample(60, 5), gapSample(600, 20)};
// A 60-second gap that began 10 seconds after the fire, and no long one.
const std::vector<SignalSample> kShortGap = {gapSample(70, 60), gapSample(900, 3)};

class NudgeOutcomeSensorCases : public testing::TestWithParam<SensorCase> {};

TEST_P(NudgeOutcomeSensorCases, JudgesAFireByTheFirstRuleThatHolds) {
    const SensorCase& c = GetParam();
    EXPECT_EQ(NudgeOutcomeSensor::evaluate(kFire, c.scoreAtFire, c.samples, c.scoreNow, c.stepped,
                                           addSeconds(kFire, c.elapsed)),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    NudgeOutcomeSensor, NudgeOutcomeSensorCases,
    testing::Values(
        SensorCase{"SteppedOutsideLandsAtOnce", 10, {}, 0.5, std::nullopt, true, NudgeOutcome::landed},
        SensorCase{
            "DismissedIsJudgedBySamples", 1500, {gapSample(400, 300)}, 0.5, 0.5, false, NudgeOutcome::landed},
        SensorCase{"NotReadyBeforeTheWindow", 1499, kBusy, 0.5, 0.5, false, std::nullopt},
        SensorCase{"NoSamplesIsUnknown", 1500, {}, 0.5, 0.5, std::nullopt, NudgeOutcome::unknown},
        SensorCase{"GapBeganAtTheLeashEnd",
                   1500,
                   {gapSample(540, 240)},
                   0.5,
                   std::nullopt,
                   std::nullopt,
                   NudgeOutcome::landed},
        SensorCase{"GapBeganPastTheLeash",
                   1500,
                   {gapSample(541, 240)},
                   0.5,
                   std::nullopt,
                   std::nullopt,
                   NudgeOutcome::ignored},
        SensorCase{"GapBeganBeforeTheFire",
                   1500,
                   {gapSample(239, 240)},
                   0.5,
                   std::nullopt,
                   std::nullopt,
                   NudgeOutcome::ignored},
        SensorCase{"LongGapBeforeTheFireNeverCounts",
                   1500,
                   {gapSample(600, 5000)},
                   0.9,
                   0.1,
                   std::nullopt,
                   NudgeOutcome::ignored},
        SensorCase{"DropBackedByAShortGap", 1500, kShortGap, 0.70, 0.50, std::nullopt, NudgeOutcome::landed},
        SensorCase{"SmallDrop", 1500, kShortGap, 0.70, 0.60, std::nullopt, NudgeOutcome::ignored},
        SensorCase{"NoScoreNow", 1500, kShortGap, 0.70, std::nullopt, std::nullopt, NudgeOutcome::ignored},
        // 0.70 − 0.55 is 0.1499999… in double precision.
        SensorCase{"DropShortOfTheDeltaInDoubles", 1500, kShortGap, 0.70, 0.55, std::nullopt,
                   NudgeOutcome::ignored},
        SensorCase{"ARiseNeverCounts", 1500, kShortGap, 0.20, 0.90, std::nullopt, NudgeOutcome::ignored},
        SensorCase{"DropWithoutAnyGap", 1500, kBusy, 0.70, 0.20, std::nullopt, NudgeOutcome::ignored},
        SensorCase{"ScoreNowNotANumberShowsNoDrop", 1500, kShortGap, 0.70, kNaN, std::nullopt,
                   NudgeOutcome::ignored},
        SensorCase{"ScoreAtFireNotANumberShowsNoDrop", 1500, kShortGap, kNaN, 0.1, std::nullopt,
                   NudgeOutcome::ignored}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillfen
