#include "SingleInstance.h"

#include <gtest/gtest.h>

#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

TEST(SingleInstance, ARunThatEndsByItselfIsToldByTheNamesOfItsVariablesAlone) {
    const struct {
        Environment environment;
        bool oneShot;
    } cases[] = {
        {{{"TAVRYN_RENDER", ""}}, true},          {{{"TAVRYN_RENDERX", "0"}}, true},
        {{{"TAVRYN_RENDER_GLYPHS_PNG", "/x"}}, true}, {{{"TAVRYN_RENDE", "1"}}, false},
        {{{"TAVRYN_DEMO_NUDGE", ""}}, true},      {{{"TAVRYN_QA_WINDOW_CYCLE", "no"}}, true},
        {{{"TAVRYN_INSPECT", "1"}}, false},       {{}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SingleInstance::isOneShotRun(c.environment), c.oneShot) << c.environment.begin()->first;
}

TEST(SingleInstance, OnlyALockHeldElsewhereEndsTheRunAndAnyOtherFailureRunsUnguarded) {
    test::TempDir dir;
    EXPECT_EQ(SingleInstance::acquire(dir.path() / "caches").outcome, SingleInstance::Outcome::held);
    // A second open of the file is another holder, as another process would be.
    EXPECT_EQ(SingleInstance::acquire(dir.path() / "caches").outcome, SingleInstance::Outcome::heldElsewhere);
    test::writeFile(dir.path() / "not-a-folder", "");
    auto lock = SingleInstance::acquire(dir.path() / "not-a-folder");
    EXPECT_EQ(lock.outcome, SingleInstance::Outcome::unguarded);
    EXPECT_NE(lock.problem.find("singleton.lock"), std::string::npos);
}

}  // namespace
}  // namespace quillfen
