// The keep-alive's wait. The keep-alive wrapper starts the application and becomes this program
// (exec), so that it is the service's main process, which alone a stop ends: a child of the
// wrapper's would outlive it. It inherits the program it started open on descriptor 3 and waits
// while a copy of that program runs for the user (RunningCopyWatch): up to 15 seconds for one to
// appear, then as long as one runs. It ends with status 1 either way, for systemd to start the
// keep-alive again.
//
//   quillfen_keepalive 3<PROGRAM

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "RunningCopyWatch.h"

int main() {
    constexpr int kProgram = 3;
    struct stat program {};
    if (::fstat(kProgram, &program) != 0 || !S_ISREG(program.st_mode)) {
        std::fprintf(stderr, "usage: quillfen_keepalive 3<PROGRAM\n");
        return 2;
    }
    const quillfen::RunningCopyWatch watch(
        kProgram, ::getuid(), {}, [] { return std::chrono::steady_clock::now(); },
        [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
    return watch.run();
}
