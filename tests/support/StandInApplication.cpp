// Stands in for the application where a test runs it for real: a program of its own, as the
// keep-alive knows the application by the file a process runs. Started as the keep-alive starts
// it, with only the mark of a start no person chose, it writes the path it was started by to
// "<that path>.started" and lives while that file is there; with another argument, until it is
// ended. At most a minute either way.
// With QUILLFEN_STAND_IN_LOCK naming a file, it holds the lock on it, as a copy holds the
// single-instance lock.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    const bool keptAlive = argc == 2 && std::string(argv[1]) == "--background";
    const std::string note = keptAlive ? std::string(argv[0]) + ".started" : "";
    if (!note.empty()) {
        // Renamed into place, so that a test that sees it reads it whole.
        std::ofstream(note + ".new") << argv[0];
        if (std::rename((note + ".new").c_str(), note.c_str()) != 0) return 1;
    }
    if (const char* lock = std::getenv("QUILLFEN_STAND_IN_LOCK"))
        if (::flock(::open(lock, O_RDWR | O_CREAT | O_CLOEXEC, 0600), LOCK_EX | LOCK_NB) != 0) return 1;
    struct stat info {};
    while (std::chrono::steady_clock::now() < end && (note.empty() || ::stat(note.c_str(), &info) == 0))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
}
