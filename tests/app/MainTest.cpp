#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"
#include "support/ThreadShortage.h"

#ifdef QUILLFEN_APP_EXECUTABLE

namespace quillfen {
namespace {

namespace fs = std::filesystem;

// The threads the toolkit itself runs on: the main thread, its D-Bus thread and its drawing
// thread. A process limit of exactly these leaves none for the application's own work.
constexpr int kToolkitThreads = 3;

// A user at their process limit: every thread the application starts for its own work (the
// tick's, the readers', the keep-alive install's, the address scheme's) is refused. It runs on,
// ticking on its main thread, and quits on SIGTERM with status 0.
TEST(Main, AMachineShortOfThreadsNeverEndsTheApplication) {
    if (::geteuid() != 0) GTEST_SKIP() << "a process limit binds this user's other processes too";
    test::TestHome home;
    const unsigned user = test::unprivilegedUser();
    test::handOver(home.path(), user);
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string id = std::to_string(user);
    test::ChildProcess app({"/usr/bin/prlimit", "--nproc=" + std::to_string(kToolkitThreads), "/usr/bin/setpriv",
                            "--reuid=" + id, "--regid=" + id, "--clear-groups", QUILLFEN_BINARY},
                           {{"QT_QPA_PLATFORM", "offscreen"},
                            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (home.path() / "no-bus").string()},
                            {"TAVRYN_LOCATION_MODE", "none"},
                            {"TAVRYN_CLOUD_MIND", "0"},
                            // The leak check at exit needs a thread of its own.
                            {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":detect_leaks=0"}});
    const auto data = home.dataDirectory();
    ASSERT_TRUE(test::waitUntil([&] { return fs::exists(data / "heartbeat.json"); }));
    EXPECT_FALSE(app.waitForExit(std::chrono::milliseconds(500)).has_value()) << "it ended";
    // The engine's tick, which appends the sample, never had a thread.
    const auto samples = fs::exists(data / "signal-log.json") ? test::readFile(data / "signal-log.json") : "[]";
    EXPECT_EQ(samples, "[]");

    ::kill(app.pid(), SIGTERM);
    const auto status = app.waitForExit(test::kPatience);
    ASSERT_TRUE(status.has_value()) << "it did not quit";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
}

}  // namespace
}  // namespace quillfen

#endif
