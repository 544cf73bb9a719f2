#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/DesktopSession.h"

namespace quillfen {
namespace {

static auto* const desktop = test::addDesktopSession();

namespace fs = std::filesystem;

std::map<std::string, std::string> withEnvironment(std::map<std::string, std::string> extra) {
    auto env = test::DesktopSession::current().childEnvironment();
    env.insert(extra.begin(), extra.end());
    return env;
}

bool exitedWith(const std::optional<int>& status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

std::string journal(const test::TestHome& home) {
    const auto file = home.familyDirectory() / "decisions-log.jsonl";
    return fs::exists(file) ? test::readFile(file) : "";
}

TEST(Handoff, ASecondStartHandsItsAddressToTheRunningCopyBeforeItEnds) {
    test::TestHome home;
    // The copy the desktop starts for an address keeps that address.
    test::ChildProcess first({QUILLFEN_BINARY, "tavryn-stone://keep?material=flint&seed=73ce"}, withEnvironment({}));
    ASSERT_TRUE(test::waitUntil([&] { return journal(home).find("kept flint-73ce from the web handoff") != std::string::npos; },
                                std::chrono::seconds(10)))
        << journal(home);

    test::ChildProcess second({QUILLFEN_BINARY, "tavryn-stone://keep?material=quartz&seed=a119"}, withEnvironment({}));
    EXPECT_TRUE(exitedWith(second.waitForExit(std::chrono::seconds(10)), 0));
    // Handed over before the second copy ended, not later.
    EXPECT_NE(journal(home).find("kept quartz-a119 from the web handoff (was flint-73ce)"), std::string::npos)
        << journal(home);
    EXPECT_NE(test::readFile(home.dataDirectory() / "stone-identity.json").find("quartz-a119"), std::string::npos);
    EXPECT_TRUE(first.running());

    kill(first.pid(), SIGTERM);
    EXPECT_TRUE(exitedWith(first.waitForExit(std::chrono::seconds(2)), 0));
}

TEST(Handoff, TheWindowSelfTestCyclesTheWindowsAndReports) {
    test::TestHome home;
    test::ChildProcess app({QUILLFEN_BINARY}, withEnvironment({{"TAVRYN_QA_WINDOW_CYCLE", ""}}), STDOUT_FILENO);
    EXPECT_EQ(app.readLine(std::chrono::seconds(10)), "QA_WINDOW_CYCLE_OK");
    EXPECT_TRUE(exitedWith(app.waitForExit(std::chrono::seconds(5)), 0));
}

}  // namespace
}  // namespace quillfen
