#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Support/PathWalk.h"
#include "support/TestEnvironment.h"

namespace {

using namespace quillfen;

// The way to a program in a home of the user's own group (umask 002: every folder 0775), judged
// as the hand-off judges it, beside a local account file of `state.range(0)` accounts: each
// judgement asks the account databases afresh.
void BM_HandOffThroughAHomeOfTheUsersOwnGroup(benchmark::State& state) {
    test::TempDir dir;
    const auto accounts = dir.path() / "passwd";
    {
        std::ofstream file(accounts);
        file << "root:x:0:0:root:/root:/bin/bash\n";
        for (long i = 1; i < state.range(0); ++i)
            file << "user" << i << ":x:" << 100000 + i << ":" << 100000 + i << "::/home/user" << i << ":/bin/sh\n";
    }
    PathWalk::useLocalAccountFile(accounts);
    const auto bin = dir.path() / "home/.local/bin";
    std::filesystem::create_directories(bin);
    for (auto at = bin; at != dir.path(); at = at.parent_path())
        std::filesystem::permissions(at, std::filesystem::perms::owner_all | std::filesystem::perms::group_all |
                                             std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    const auto program = bin / "quillfen";
    for (auto _ : state)
        benchmark::DoNotOptimize(PathWalk::whyOthersCouldChange(program));
    PathWalk::useLocalAccountFile("/etc/passwd");
}
BENCHMARK(BM_HandOffThroughAHomeOfTheUsersOwnGroup)->Arg(30)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
