#include "Decision/NudgeBudget.h"

#include <gtest/gtest.h>

#include "Log/FileLogStore.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;

class NudgeBudgetTest : public ::testing::Test {
protected:
    std::unique_ptr<NudgeBudget> open() {
        return std::make_unique<NudgeBudget>(std::make_shared<FileLogStore>(file), clock);
    }

    test::ScopedTimeZone tz{"Europe/Berlin"};
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "nudge-budget.json";
    test::FixedClock clock{at("2026-01-05T14:03:00Z")};
};

TEST_F(NudgeBudgetTest, DayKeyJoinsLocalDateNumbersWithoutPadding) {
    EXPECT_EQ(NudgeBudget::dayKeyOf(at("2026-01-05T14:03:00Z")), "2026-1-5");
    EXPECT_EQ(NudgeBudget::dayKeyOf(at("2026-12-31T12:00:00Z")), "2026-12-31");
    EXPECT_EQ(NudgeBudget::dayKeyOf(at("2026-12-31T23:30:00Z")), "2027-1-1") << "local day in Berlin";
}

TEST_F(NudgeBudgetTest, ContinuesTodaysCountAndResetsAnotherDays) {
    test::writeFile(file, R"({"dayKey":"2026-1-5","count":2})");
    EXPECT_EQ(open()->firedToday(), 2);
    EXPECT_EQ(test::readFile(file), R"({"dayKey":"2026-1-5","count":2})") << "same day: nothing rewritten";

    clock.set(at("2026-01-06T09:00:00Z"));
    EXPECT_EQ(open()->firedToday(), 0);
    EXPECT_EQ(test::readFile(file), R"({"count":0,"dayKey":"2026-1-6"})");
}

TEST_F(NudgeBudgetTest, NoOrUnreadableFileIsAFreshDayWrittenOnlyByTheFirstFireThatKeepsItAside) {
    const char* contents[] = {nullptr, "[1,2]", R"({"dayKey":"2026-1-5","cou)", R"({"dayKey":"2026-1-5"})"};
    for (const char* text : contents) {
        std::filesystem::remove(file);
        test::removeCopiesKeptAside(file);
        if (text) test::writeFile(file, text);
        auto budget = open();
        EXPECT_EQ(budget->firedToday(), 0);
        EXPECT_EQ(std::filesystem::exists(file), text != nullptr);
        if (text) {
            EXPECT_EQ(test::readFile(file), text);
        }
        budget->recordFire();
        EXPECT_EQ(test::readFile(file), R"({"count":1,"dayKey":"2026-1-5"})");
        EXPECT_EQ(test::contentsKeptAside(file),
                  text ? std::vector<std::string>{text} : std::vector<std::string>{});
    }
}

TEST_F(NudgeBudgetTest, RollsAtLocalMidnightInBothDirections) {
    clock.set(at("2026-01-05T22:59:00Z"));  // 23:59 in Berlin
    auto budget = open();
    budget->recordFire();
    EXPECT_EQ(budget->firedToday(), 1);

    clock.set(at("2026-01-05T23:01:00Z"));  // 00:01 on the 6th
    EXPECT_EQ(budget->firedToday(), 0);
    EXPECT_EQ(test::readFile(file), R"({"count":0,"dayKey":"2026-1-6"})");

    clock.set(at("2026-01-05T22:59:30Z"));
    EXPECT_EQ(budget->firedToday(), 0) << "the earlier count is not restored";
    EXPECT_EQ(test::readFile(file), R"({"count":0,"dayKey":"2026-1-5"})");
}

TEST_F(NudgeBudgetTest, AFireOnANewDayCountsOneUnderTheNewKey) {
    auto budget = open();
    budget->recordFire();
    budget->recordFire();
    clock.advance(86400);
    budget->recordFire();
    EXPECT_EQ(budget->firedToday(), 1);
    EXPECT_EQ(test::readFile(file), R"({"count":1,"dayKey":"2026-1-6"})");
}

TEST_F(NudgeBudgetTest, KeepsCountingInMemoryWhenWritesFail) {
    test::writeFile(dir.path() / "plain-file", "");
    NudgeBudget budget(std::make_shared<FileLogStore>(dir.path() / "plain-file" / "nudge-budget.json"),
                       clock);
    budget.recordFire();
    budget.recordFire();
    EXPECT_EQ(budget.firedToday(), 2);
}

}  // namespace
}  // namespace quillfen
