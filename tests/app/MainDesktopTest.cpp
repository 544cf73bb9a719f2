#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

unsigned modeOf(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

bool exitedWith(const std::optional<int>& status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

TEST(Main, TwoStartsOnOneHomeLeaveOneRunningAndTheSecondEndsWithStatusZero) {
    test::TestHome home;
    const auto heartbeat = home.dataDirectory() / "heartbeat.json";
    test::ChildProcess first({QUILLFEN_BINARY}, withEnvironment({}));
    ASSERT_TRUE(test::waitUntil([&] { return fs::exists(heartbeat); }, std::chrono::seconds(10)));

    test::ChildProcess second({QUILLFEN_BINARY}, withEnvironment({}));
    EXPECT_TRUE(exitedWith(second.waitForExit(std::chrono::seconds(5)), 0));
    // A one-shot run takes no lock and runs beside the instance.
    test::ChildProcess oneShot({QUILLFEN_BINARY}, withEnvironment({{"TAVRYN_DEMO_NUDGE", ""}}));
    EXPECT_FALSE(oneShot.waitForExit(std::chrono::milliseconds(1500)).has_value());
    EXPECT_TRUE(first.running());

    kill(first.pid(), SIGTERM);
    EXPECT_TRUE(exitedWith(first.waitForExit(std::chrono::seconds(2)), 0));
    EXPECT_TRUE(fs::exists(home.path() / ".cache/org.quillfen.Quillfen/singleton.lock"));
}

TEST(Main, RunsOnTheDesktopWithItsStoneInTheTrayAndEndsCleanlyOnSigterm) {
    test::TestHome home;
    const auto& session = test::DesktopSession::current();
    // A boundary this version does not know is read as the default and written back.
    const auto settings = home.path() / ".config/org.quillfen.Quillfen/Quillfen.conf";
    test::writeFile(settings, "[General]\ninterruptBoundary=sometimes\n");
    test::ChildProcess app({QUILLFEN_BINARY}, withEnvironment({}));

    EXPECT_TRUE(test::waitUntil([&] { return test::findWindowOfClassBelow(session.display(), "trayer", "quillfen") != 0; },
                                std::chrono::seconds(10)))
        << "the tray never took the stone";
    const auto data = home.dataDirectory();
    ASSERT_TRUE(test::waitUntil(
        [&] { return fs::exists(data / "heartbeat.json") && fs::exists(data / "signal-log.json"); },
        std::chrono::seconds(10)))
        << "no tick ran";
    EXPECT_NE(test::readFile(settings).find("interruptBoundary=effortStopsChanging"), std::string::npos);
    for (const auto& file : {data / "heartbeat.json", data / "signal-log.json", settings,
                             home.path() / ".cache/org.quillfen.Quillfen/singleton.lock"}) {
        EXPECT_EQ(modeOf(file), 0600u) << file;
    }
    for (const auto& folder : {data, home.path() / ".cache/org.quillfen.Quillfen", home.familyDirectory(),
                               settings.parent_path()})
        EXPECT_EQ(modeOf(folder), 0700u) << folder;

    kill(app.pid(), SIGTERM);
    EXPECT_TRUE(exitedWith(app.waitForExit(std::chrono::seconds(1)), 0));
}

std::string journal(const test::TestHome& home) {
    const auto file = home.familyDirectory() / "decisions-log.jsonl";
    return fs::exists(file) ? test::readFile(file) : "";
}

TEST(Main, ASecondStartHandsItsAddressToTheRunningCopyBeforeItEnds) {
    test::TestHome home;
    // The copy the desktop starts for an address keeps that address.
    test::ChildProcess first({QUILLFEN_BINARY, "tavryn-stone://keep?material=flint&seed=73ce"}, withEnvironment({}));
    ASSERT_TRUE(test::waitUntil(
        [&] { return journal(home).find("kept flint-73ce from the web handoff") != std::string::npos; },
        std::chrono::seconds(10)))
        << journal(home);
    test::ChildProcess second({QUILLFEN_BINARY, "tavryn-stone://keep?material=quartz&seed=a119"}, withEnvironment({}));
    EXPECT_TRUE(exitedWith(second.waitForExit(std::chrono::seconds(10)), 0));
    // Handed over before the second copy ended, not later.
    EXPECT_NE(journal(home).find("kept quartz-a119 from the web handoff (was flint-73ce)"), std::string::npos)
        << journal(home);
    EXPECT_NE(test::readFile(home.dataDirectory() / "stone-identity.json").find("quartz-a119"), std::string::npos);
    kill(first.pid(), SIGTERM);
    EXPECT_TRUE(exitedWith(first.waitForExit(std::chrono::seconds(2)), 0));
}

TEST(Main, TheWindowSelfTestCyclesTheWindowsAndReports) {
    test::TestHome home;
    test::ChildProcess app({QUILLFEN_BINARY}, withEnvironment({{"TAVRYN_QA_WINDOW_CYCLE", ""}}), STDOUT_FILENO);
    EXPECT_EQ(app.readLine(std::chrono::seconds(10)), "QA_WINDOW_CYCLE_OK");
    EXPECT_TRUE(exitedWith(app.waitForExit(std::chrono::seconds(5)), 0));
}

}  // namespace
}  // namespace quillfen
