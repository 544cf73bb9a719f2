#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "CoreProcess.h"
#include "Mind/ProcessRunner.h"
#include "support/ChildProcess.h"
#include "support/Hold.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using namespace std::chrono_literals;

class SystemProcessRunnerTest : public ::testing::Test {
protected:
    std::string script(const std::string& name, const std::string& body) {
        auto path = dir_.path() / name;
        test::writeFile(path, "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return path.string();
    }

    ProcessResult run(const std::string& executable, double timeout = 2.0, std::vector<std::string> args = {},
                      std::stop_token stop = {}) {
        return runner_.run(executable, args, timeout, stop);
    }

    static bool alive(const std::filesystem::path& pidFile) {
        std::ifstream in(pidFile);
        pid_t pid = 0;
        in >> pid;
        if (pid <= 0 || ::kill(pid, 0) != 0) return false;
        // An orphan that was killed may linger as a zombie until its new parent reaps it.
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string pidField, name, state;
        stat >> pidField >> name >> state;
        return state != "Z";
    }

    test::TempDir dir_;
    SystemProcessRunner runner_;
};

TEST_F(SystemProcessRunnerTest, ReturnsOutputUntrimmedAndReadsFailuresFromTheExitStatus) {
    EXPECT_EQ(run(script("ok.sh", "printf ' hello\\n'")), ProcessResult(std::string(" hello\n")));
    EXPECT_EQ(run(script("json1.sh", "echo '{\"is_error\":true}'; exit 1")),
              ProcessResult(std::string("{\"is_error\":true}\n")));
    EXPECT_EQ(run(script("empty.sh", "exit 0")), ProcessResult(std::string()));
    EXPECT_EQ(run(script("boom.sh", "printf '\\n\\n  \\n'; printf boom >&2; exit 2")),
              ProcessResult(MindError::transport("claude exited 2: boom")));

    const std::string longError(300, 'e');
    EXPECT_EQ(run(script("long.sh", "printf '" + longError + "' >&2; exit 3")),
              ProcessResult(MindError::transport("claude exited 3: " + std::string(200, 'e'))));
    EXPECT_EQ(run(script("bytes.sh", "printf 'a\\377b'")), ProcessResult(std::string("a\uFFFDb")));
}

TEST_F(SystemProcessRunnerTest, PassesArgumentsAsTheyAreWithoutAShell) {
    auto echo = script("args.sh", "for a in \"$@\"; do printf '[%s]' \"$a\"; done");
    EXPECT_EQ(run(echo, 2.0, {"two words", "$HOME", "", "; rm -rf /"}),
              ProcessResult(std::string("[two words][$HOME][][; rm -rf /]")));
}

TEST_F(SystemProcessRunnerTest, FeedsStandardInputAndDrainsLargeOutput) {
    EXPECT_EQ(run(script("cat.sh", "cat")), ProcessResult(std::string()));
    EXPECT_EQ(runner_.run(script("cat2.sh", "cat"), {}, 2.0, {}, "piped in"),
              ProcessResult(std::string("piped in")));

    auto big = run(script("big.sh", "head -c 1500000 /dev/zero | tr '\\0' x; head -c 200000 /dev/zero >&2"));
    ASSERT_TRUE(std::holds_alternative<std::string>(big));
    EXPECT_EQ(std::get<std::string>(big).size(), 1500000u);
}

TEST_F(SystemProcessRunnerTest, LaunchFailuresArePassedThrough) {
    auto missing = run((dir_.path() / "nope").string());
    ASSERT_TRUE(std::holds_alternative<ProcessLaunchError>(missing));
    EXPECT_EQ(std::get<ProcessLaunchError>(missing).code, ENOENT);

    auto plain = dir_.path() / "plain.txt";
    test::writeFile(plain, "echo hi\n");
    EXPECT_TRUE(std::holds_alternative<ProcessLaunchError>(run(plain.string())));
}

// The children below are never let go: only the runner ends them before they give up.
TEST_F(SystemProcessRunnerTest, ADeadlineEndsTheChildAndEverythingItStarted) {
    auto pids = dir_.path() / "pid";
    const test::ShellHold stubbornHold;
    auto stubborn =
        script("stubborn.sh", "trap '' TERM; echo $$ > " + pids.string() + "; " + stubbornHold.command());
    // Long enough for the shell to start and set its trap first on a busy machine: a SIGTERM that
    // came before the trap would end it at once, before it had named itself.
    EXPECT_EQ(run(stubborn, 2.0), ProcessResult(MindError::timedOut()));
    EXPECT_TRUE(alive(pids)) << "the call waited out the grace of a child that ignores SIGTERM";
    EXPECT_TRUE(test::waitUntil([&] { return !alive(pids); }));
    EXPECT_FALSE(stubbornHold.gaveUp()) << "a child that ignores SIGTERM is killed after the grace";

    auto grandchild = dir_.path() / "grandchild";
    const test::ShellHold leftHold;
    auto leaver = script("leaver.sh",
                         "(" + leftHold.command() + ") & echo $! > " + grandchild.string() + "; echo done");
    EXPECT_EQ(run(leaver, 0.3), ProcessResult(std::string("done\n")));
    EXPECT_TRUE(test::waitUntil([&] { return !alive(grandchild); }));
    EXPECT_FALSE(leftHold.gaveUp()) << "the call waited for what the child left behind";
}

TEST_F(SystemProcessRunnerTest, ACancelledCallStopsItsChildAtOnce) {
    std::stop_source source;
    auto pids = dir_.path() / "pid";
    const test::ShellHold hold;
    auto sleeper = script("sleeper.sh", "echo $$ > " + pids.string() + "; " + hold.command());
    std::thread canceller([&] {
        test::waitUntil([&] { return alive(pids); });
        source.request_stop();
    });
    // A deadline past the child's patience: only the cancel ends the call before the child gives up.
    const double deadline = 2 * std::chrono::duration<double>(test::kPatience).count();
    EXPECT_EQ(run(sleeper, deadline, {}, source.get_token()), ProcessResult(MindError::timedOut()));
    canceller.join();
    EXPECT_TRUE(test::waitUntil([&] { return !alive(pids); }));
    EXPECT_FALSE(hold.gaveUp()) << "the call waited for the child";
}

TEST_F(SystemProcessRunnerTest, ACallWhoseCallerHasGivenUpStartsNoChild) {
    std::stop_source source;
    source.request_stop();
    const auto marker = dir_.path() / "ran";
    // A path that cannot start shows whether a start was tried at all.
    for (const auto& executable : {script("marks.sh", "touch " + marker.string()), marker.string()}) {
        EXPECT_EQ(run(executable, 2.0, {}, source.get_token()), ProcessResult(MindError::timedOut()));
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(std::filesystem::exists(marker));
}

// Held without close-on-exec, as a file stream, mkstemp and libcurl's sockets hold theirs.
TEST_F(SystemProcessRunnerTest, TheChildInheritsOnlyItsStandardStreams) {
    const int file = ::open(script("held.sh", "").c_str(), O_RDONLY);
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    // ls itself reads the folder through descriptor 3.
    EXPECT_EQ(run("/bin/ls", 2.0, {"/proc/self/fd"}), ProcessResult(std::string("0\n1\n2\n3\n")));
    ::close(file);
    ::close(socket);
}

// The prompt registry's keys are the application's; everything else is the user's and goes on.
TEST_F(SystemProcessRunnerTest, TheChildGetsTheUsersEnvironmentWithoutTheApplicationsSecrets) {
    test::ScopedEnv secret("QUILLFEN_LANGFUSE_SECRET_KEY", "sk-lf-1"), open("QUILLFEN_LANGFUSE_PUBLIC_KEY", "pk-lf-1"),
        host("QUILLFEN_LANGFUSE_HOST", "https://prompts.example"), users("ANTHROPIC_MODEL", "opus");
    const auto result = run("/usr/bin/env");
    ASSERT_TRUE(std::holds_alternative<std::string>(result));
    const std::string& environment = std::get<std::string>(result);
    EXPECT_EQ(environment.find("QUILLFEN_LANGFUSE"), std::string::npos) << environment;
    EXPECT_NE(environment.find("\nANTHROPIC_MODEL=opus\n"), std::string::npos) << environment;
    EXPECT_NE(environment.find("\nHOME="), std::string::npos) << environment;
}

// The test main, like the application's, has SIGPIPE ignored.
TEST_F(SystemProcessRunnerTest, InputForAChildThatHasExitedFailsOnlyThatCall) {
    const auto result = runner_.run(script("quits.sh", "exit 0"), {}, 2.0, {}, std::string(1 << 20, 'x'));
    ASSERT_TRUE(std::holds_alternative<MindError>(result));
    EXPECT_EQ(std::get<MindError>(result).kind(), MindError::Kind::transport);
}

// Quitting while one call's child still runs, and while a timed-out child that ignores SIGTERM
// still has its grace, leaves neither behind, and nothing starts afterwards.
TEST_F(SystemProcessRunnerTest, ShutdownLeavesNoChildRunning) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto quit = [this] {
        const auto stubborn = dir_.path() / "stubborn", inFlight = dir_.path() / "in-flight";
        run(script("stubborn.sh", "trap '' TERM; echo $$ > " + stubborn.string() + "; exec sleep 30"), 0.2);
        std::thread call(
            [&] { run(script("sleeper.sh", "echo $$ > " + inFlight.string() + "; exec sleep 30"), 3); });
        bool ok = test::waitUntil([&] { return alive(inFlight); });
        CoreProcess::shutdown();
        ok = test::waitUntil([&] { return !alive(stubborn) && !alive(inFlight); }, 200ms) && ok;
        call.join();
        const auto late = dir_.path() / "late";
        run(script("late.sh", "touch " + late.string()));
        std::exit(ok && !std::filesystem::exists(late) ? 0 : 1);
    };
    EXPECT_EXIT(quit(), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quillfen
