#include "SingleInstance.h"

#include <sys/stat.h>

#include <functional>
#include <optional>

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
        EXPECT_EQ(SingleInstance::isOneShotRun(c.environment), c.oneShot)
            << (c.environment.empty() ? "(no variable)" : c.environment.begin()->first);
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

TEST(SingleInstance, AnotherUsersLinkOrAPipeAtTheLockRunsUnguardedAndMakesNothingElsewhere) {
    test::TempDir dir;
    const auto folder = dir.path() / "caches";
    const auto lock = folder / "singleton.lock";
    const auto outside = dir.path() / "outside";
    std::filesystem::create_directories(outside);
    ::chmod(outside.c_str(), 0755);
    // Each places what it names, and answers false when this run cannot.
    const struct {
        const char* what;
        std::function<bool()> place;
        SingleInstance::Outcome outcome;
    } cases[] = {
        {"another user's dangling link",
         [&] {
             std::filesystem::create_symlink(outside / "made-by-us", lock);
             return test::giveToAnotherUser(lock);
         },
         SingleInstance::Outcome::unguarded},
        {"a pipe", [&] { return ::mkfifo(lock.c_str(), 0600) == 0; }, SingleInstance::Outcome::unguarded},
        {"another user's link for the folder",
         [&] {
             std::filesystem::remove(folder);
             std::filesystem::create_directory_symlink(outside, folder);
             return test::giveToAnotherUser(folder);
         },
         SingleInstance::Outcome::unguarded},
        // A dotfiles home: the user's own links are theirs to lay out.
        {"the user's link for the folder",
         [&] {
             std::filesystem::remove(folder);
             std::filesystem::create_directory_symlink(outside, folder);
             return true;
         },
         SingleInstance::Outcome::held},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(folder);
        std::filesystem::remove_all(outside);
        std::filesystem::create_directories(folder);
        std::filesystem::create_directories(outside);
        ::chmod(outside.c_str(), 0755);
        if (!c.place()) continue;
        auto result = SingleInstance::acquire(folder);
        EXPECT_EQ(result.outcome, c.outcome) << c.what;
        EXPECT_FALSE(std::filesystem::exists(outside / "made-by-us")) << c.what;
        if (c.outcome == SingleInstance::Outcome::held) {
            EXPECT_TRUE(std::filesystem::is_regular_file(outside / "singleton.lock")) << c.what;
            EXPECT_EQ(std::filesystem::status(outside).permissions(), std::filesystem::perms(0700)) << c.what;
            continue;
        }
        EXPECT_NE(result.problem.find("singleton.lock"), std::string::npos) << c.what;
        EXPECT_FALSE(std::filesystem::exists(outside / "singleton.lock")) << c.what;
        EXPECT_EQ(std::filesystem::status(outside).permissions(), std::filesystem::perms(0755)) << c.what;
    }
}

// The uninstall of the last copy removes the lock's folder while it holds the lock. A copy that
// runs keeps its lock, its file and the folder; one that starts while the folder is emptied is
// turned away, or keeps the lock it takes: never do it and a later start both hold one.
TEST(SingleInstance, TheLastUninstallRemovesTheFolderHoldingItsLockAndACopyThatHoldsTheLockKeepsIt) {
    using Outcome = SingleInstance::Outcome;
    using Removed = SingleInstance::Removal::Outcome;
    for (const bool runs : {true, false}) {
        SCOPED_TRACE(runs ? "a copy runs" : "a copy starts while the folder is emptied");
        test::TempDir dir;
        const auto folder = dir.path() / "caches";
        // A second open of the file is another holder, as another process would be.
        if (runs) {
            ASSERT_EQ(SingleInstance::acquire(folder).outcome, Outcome::held);
        }
        test::writeFile(folder / "updates/previous/bin/quillfen", "");
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        std::optional<Outcome> meanwhile;
        const auto removal =
            SingleInstance::removeHoldingTheLock(folder, [&] { meanwhile = SingleInstance::acquire(folder).outcome; });
        EXPECT_EQ(removal.outcome, runs ? Removed::heldElsewhere : Removed::removed);
        EXPECT_EQ(std::filesystem::exists(folder / "updates"), runs);
        const auto later = SingleInstance::acquire(folder).outcome;
        EXPECT_EQ(later, runs ? Outcome::heldElsewhere : Outcome::held);
        EXPECT_FALSE(meanwhile == Outcome::held && later == Outcome::held);
    }
}

}  // namespace
}  // namespace quillfen
