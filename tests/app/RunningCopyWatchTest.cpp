#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <future>
#include <list>

#include "RunningCopyWatch.h"
#include "support/ChildProcess.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Two programs of the same name, each a stand-in that runs until it is ended, and a link to the
// first as the launcher is one; the watch holds the first open.
struct Programs {
    Programs() {
        for (const auto& path : {ours, sameName}) {
            fs::create_directories(path.parent_path());
            fs::copy_file(QUILLFEN_STAND_IN, path);
        }
        fs::create_symlink(ours, link);
        program = ::open(ours.c_str(), O_RDONLY | O_CLOEXEC);
    }
    ~Programs() { ::close(program); }
    RunningCopyWatch watch(uid_t user = ::getuid()) const {
        return RunningCopyWatch(
            program, user, {}, [] { return std::chrono::steady_clock::now(); },
            [](std::chrono::milliseconds) {});
    }
    pid_t start(const fs::path& path) {
        return copies.emplace_back(std::vector<std::string>{path.string(), "until-ended"}).pid();
    }

    test::TempDir folder;
    fs::path ours = folder.path() / "build/bin/quillfen", sameName = folder.path() / "elsewhere/bin/quillfen",
             link = folder.path() / "quillfen";
    int program = -1;
    std::list<test::ChildProcess> copies;
};

TEST(RunningCopyWatch, ACopyIsAProcessOfTheUserThatRunsTheVeryFileItHoldsOpen) {
    const struct {
        const char* label;
        // Starts what runs; its number.
        std::function<pid_t(Programs&)> run;
        bool counted;
        uid_t user = ::getuid();
    } cases[] = {
        {"the file, started by a link to it", [](Programs& p) { return p.start(p.link); }, true},
        {"another file of the same name", [](Programs& p) { return p.start(p.sameName); }, false},
        // Ours, watched for another user.
        {"the file run by another user", [](Programs& p) { return p.start(p.ours); }, false,
         test::kAnotherUser},
        // An update moves the build aside under the running copy and puts the new one in its place.
        {"the file moved aside while it runs",
         [](Programs& p) {
             const auto pid = p.start(p.ours);
             fs::rename(p.ours.parent_path().parent_path(), p.folder.path() / "previous");
             return pid;
         },
         true},
        {"a new file where the file was",
         [](Programs& p) {
             fs::rename(p.ours, p.folder.path() / "previous");
             fs::copy_file(QUILLFEN_STAND_IN, p.ours);
             return p.start(p.ours);
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Programs programs;
        const auto watch = programs.watch(c.user);
        const auto pid = c.run(programs);
        EXPECT_EQ(watch.candidates(), c.counted ? std::vector<pid_t>{pid} : std::vector<pid_t>{});
        EXPECT_EQ(watch.copies().size(), c.counted ? 1u : 0u);
    }
}

TEST(RunningCopyWatch, AProcessThatEndsBeforeItsDescriptorIsTakenIsNotWaitedFor) {
    const struct {
        const char* label;
        bool reaped;
    } cases[] = {{"ended and reaped", true}, {"ended, not yet reaped", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Programs programs;
        const auto watch = programs.watch();
        const auto pid = programs.start(programs.ours);
        ASSERT_EQ(watch.candidates(), std::vector<pid_t>{pid});
        ::kill(pid, SIGKILL);
        if (c.reaped) {
            programs.copies.back().waitForExit(test::kPatience);
        } else {
            const auto stat = "/proc/" + std::to_string(pid) + "/stat";
            ASSERT_TRUE(
                test::waitUntil([&] { return test::readFile(stat).find(") Z ") != std::string::npos; }));
        }
        EXPECT_FALSE(watch.open(pid).has_value());
    }
}

// Time is the test's: each pause moves it on, and may start a copy.
TEST(RunningCopyWatch, ACopyHasItsWindowToAppearLookedForAFewTimesASecond) {
    const struct {
        const char* label;
        std::optional<int> startAfterPauses;
        bool appears;
        std::chrono::milliseconds waited;
    } cases[] = {
        {"one runs already", 0, true, 0ms},
        {"one appears after two seconds", 8, true, 2s},
        {"none appears", std::nullopt, false, 15s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Programs programs;
        if (c.startAfterPauses == 0) programs.start(programs.link);
        const std::chrono::steady_clock::time_point start{};
        auto now = start;
        int pauses = 0;
        const RunningCopyWatch watch(
            programs.program, ::getuid(), {}, [&now] { return now; },
            [&](std::chrono::milliseconds pause) {
                EXPECT_EQ(pause, 250ms);
                now += pause;
                if (++pauses == c.startAfterPauses) programs.start(programs.link);
            });
        EXPECT_EQ(watch.appears(), c.appears);
        EXPECT_EQ(now - start, c.waited);
        // It ends at once where none appeared.
        if (!c.appears) {
            EXPECT_EQ(watch.run(), RunningCopyWatch::kEnded);
        }
    }
}

TEST(RunningCopyWatch, WaitsOnTheKernelUntilEveryCopyHasEndedAndACopyThatStartedMeanwhileKeepsItWaiting) {
    Programs programs;
    const auto watch = programs.watch();
    const auto first = programs.start(programs.ours);
    auto waiting = std::async(std::launch::async, [&watch] { watch.untilAllEnd(); });
    ASSERT_TRUE(
        test::waitUntil([&] { return test::processesWatchedBy(::getpid()) == std::set<pid_t>{first}; }));
    const auto second = programs.start(programs.link);
    ::kill(first, SIGKILL);
    // Looked for once more when the first ended, the second is waited on in its turn.
    EXPECT_TRUE(
        test::waitUntil([&] { return test::processesWatchedBy(::getpid()) == std::set<pid_t>{second}; }));
    EXPECT_EQ(waiting.wait_for(0s), std::future_status::timeout);
    ::kill(second, SIGKILL);
    EXPECT_EQ(waiting.wait_for(test::kPatience), std::future_status::ready);
}

}  // namespace
}  // namespace quillfen
