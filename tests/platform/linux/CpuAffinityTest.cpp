#include <gtest/gtest.h>

#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>

#include <thread>

#include "platform/CpuAffinity.h"

extern char** environ;

namespace quillfen {
namespace {

int coresOfCallingThread() {
    cpu_set_t set;
    sched_getaffinity(0, sizeof set, &set);
    return CPU_COUNT(&set);
}

// A child started now: how many cores it may run on, as it sees it.
int coresOfAChild() {
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const char* argv[] = {"/usr/bin/nproc", nullptr};
    pid_t pid = 0;
    posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char text[16] = {};
    const ssize_t n = read(out[0], text, sizeof text - 1);
    close(out[0]);
    waitpid(pid, nullptr, 0);
    return n > 0 ? std::atoi(text) : -1;
}

TEST(CpuAffinity, TheDrawingThreadKeepsOneCoreWhileWorkAndChildrenKeepTheProcesssCores) {
    const int all = coresOfCallingThread();
    if (all < 2) GTEST_SKIP() << "one core: nothing to keep";
    // In a thread of its own, so the test process keeps its cores.
    std::thread([all] {
        CpuAffinity::keepCallingThreadOnOneCore();
        EXPECT_EQ(coresOfCallingThread(), 1);
        int started = 0, released = 0;
        std::thread([&] { started = coresOfCallingThread(); }).join();
        std::thread([&] {
            CpuAffinity::releaseCallingThread();
            released = coresOfCallingThread();
        }).join();
        EXPECT_EQ(started, 1) << "a thread the drawing thread starts shares its core";
        EXPECT_EQ(released, all);
        EXPECT_EQ(coresOfAChild(), 1);
        {
            CpuAffinity::ProcessCores cores;
            EXPECT_EQ(coresOfAChild(), all) << "a child never inherits the one core";
        }
        EXPECT_EQ(coresOfCallingThread(), 1);
    }).join();
}

}  // namespace
}  // namespace quillfen
