#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Support/SafeFile.h"

namespace quillfen::SingleInstance {

bool isOneShotRun(const Environment& environment) {
    const bool render = std::any_of(environment.begin(), environment.end(), [](const auto& entry) {
        return entry.first.rfind("TAVRYN_RENDER", 0) == 0;
    });
    if (render) return true;
    return environment.count("TAVRYN_DEMO_NUDGE") != 0 || environment.count("TAVRYN_QA_WINDOW_CYCLE") != 0;
}

namespace {

constexpr const char* kLockName = "singleton.lock";

int lockWithoutWaiting(int fd, int operation) {
    int result;
    do {
        result = ::flock(fd, operation | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result;
}

}  // namespace

Lock acquire(const std::filesystem::path& folder) {
    const auto path = folder / kLockName;
    // A folder that is not ours alone (another's link, another user's folder) holds no lock of ours.
    if (auto error = SafeFile::makePrivateFolder(folder))
        return {Outcome::unguarded, "cannot keep " + path.string() + " there: " + error.message()};
    // Never through another's link (a dangling one would have us create its target), and only a
    // file: a pipe in its place must not hold the start.
    const auto opened = SafeFile::openOwn(path, O_RDWR | O_CREAT);
    if (opened.fd < 0)
        return {Outcome::unguarded, "cannot open " + path.string() + ": " +
                                        (opened.refusal.empty() ? std::strerror(opened.error) : opened.refusal)};
    const int fd = opened.fd;
    if (lockWithoutWaiting(fd, LOCK_EX) == 0) return {Outcome::held, {}};
    const int error = errno;
    ::close(fd);
    // Only a lock held by another instance means another instance; any other failure (a
    // file system without locks, say) must not keep the application from running at all.
    if (error == EWOULDBLOCK) return {Outcome::heldElsewhere, {}};
    return {Outcome::unguarded, "cannot lock " + path.string() + ": " + std::strerror(error)};
}

bool isHeld(const std::filesystem::path& folder) {
    const auto opened = SafeFile::openOwn(folder / kLockName, O_RDONLY);
    if (opened.fd < 0) return false;
    const bool held = lockWithoutWaiting(opened.fd, LOCK_SH) != 0 && errno == EWOULDBLOCK;
    ::close(opened.fd);
    return held;
}

}  // namespace quillfen::SingleInstance
