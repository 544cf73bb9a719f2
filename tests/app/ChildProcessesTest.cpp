#include "ChildProcesses.h"

#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

extern char** environ;

namespace quillfen {
namespace {

// A child in a group of its own that starts a grandchild ignoring SIGTERM, as a stuck tool
// might; the grandchild's pid comes back through a file.
pid_t spawnStubbornFamily(const std::string& pidFile) {
    std::string script = "trap '' TERM; sleep 30 & echo $! > " + pidFile + "; wait";
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    posix_spawn(&pid, "/bin/sh", nullptr, &attributes, const_cast<char**>(argv), environ);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

// Running, or stopped: a zombie waiting for init to reap it has ended.
bool alive(pid_t pid) {
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f) return false;
    char state = 0;
    const bool read = std::fscanf(f, "%*d (%*[^)]) %c", &state) == 1;
    std::fclose(f);
    return read && state != 'Z' && state != 'X';
}

TEST(ChildProcesses, AtQuitEveryChildAndWhatItStartedIsEndedAndReaped) {
    const std::string pidFile = "/tmp/quillfen-grandchild-" + std::to_string(::getpid());
    const pid_t child = spawnStubbornFamily(pidFile);
    ASSERT_GT(child, 0);
    pid_t grandchild = 0;
    for (int i = 0; i < 200 && grandchild == 0; ++i) {
        usleep(10000);
        FILE* f = std::fopen(pidFile.c_str(), "r");
        if (f) {
            if (std::fscanf(f, "%d", &grandchild) != 1) grandchild = 0;
            std::fclose(f);
        }
    }
    ASSERT_GT(grandchild, 0);
    EXPECT_EQ(ChildProcesses::running(), std::vector<pid_t>{child});

    ChildProcesses::endAll(std::chrono::milliseconds(200));
    EXPECT_TRUE(ChildProcesses::running().empty());
    for (int i = 0; i < 100 && alive(grandchild); ++i) usleep(10000);
    EXPECT_FALSE(alive(grandchild));
    std::remove(pidFile.c_str());
}

}  // namespace
}  // namespace quillfen
