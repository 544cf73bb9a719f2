#include "support/ThreadShortage.h"

#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <thread>

namespace quillfen::test {

namespace {

[[noreturn]] void cannot(const char* why) {
    std::fprintf(stderr, "cannot run short of threads: %s\n", why);
    std::fflush(stderr);
    std::_Exit(2);
}

// The effective capabilities of this process, from /proc/self/status.
unsigned long long effectiveCapabilities() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("CapEff:", 0) == 0) return std::stoull(line.substr(7), nullptr, 16);
    }
    return 0;
}

}  // namespace

bool canRunShortOfThreads() {
    if (::geteuid() == 0) return true;
    constexpr unsigned long long sysAdmin = 1ull << 21, sysResource = 1ull << 24;
    return (effectiveCapabilities() & (sysAdmin | sysResource)) == 0;
}

std::function<void()> runShortOfThreads(const std::vector<std::filesystem::path>& handedOver) {
    if (::geteuid() == 0) {
        const unsigned user = unprivilegedUser();
        for (const auto& folder : handedOver)
            handOver(folder, user);
        if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)
            cannot("no unprivileged user to become");
    }
    struct rlimit original {};
    ::getrlimit(RLIMIT_NPROC, &original);
    struct rlimit one = original;
    one.rlim_cur = 1;
    ::setrlimit(RLIMIT_NPROC, &one);
    try {
        std::thread([] {}).join();
        cannot("threads still start under the limit");
    } catch (const std::system_error&) {
    }
    return [original] { ::setrlimit(RLIMIT_NPROC, &original); };
}

void exitSeeing(const std::string& seen, const std::string& expected) {
    std::fprintf(stderr, "seen:     %s\nexpected: %s\n", seen.c_str(), expected.c_str());
    std::fflush(stderr);
    std::_Exit(seen == expected ? 0 : 1);
}

void handOver(const std::filesystem::path& root, unsigned user) {
    std::error_code ec;
    [[maybe_unused]] int changed = ::lchown(root.c_str(), user, user);
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        changed = ::lchown(it->path().c_str(), user, user);
}

unsigned unprivilegedUser() {
    return 200000u + static_cast<unsigned>(::getpid()) % 100000u;
}

}  // namespace quillfen::test
