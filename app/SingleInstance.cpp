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

Lock acquire(const std::filesystem::path& folder) {
    const auto path = folder / "singleton.lock";
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
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return {Outcome::held, {}};
    const int error = errno;
    ::close(fd);
    // Only a lock held by another instance means another instance; any other failure (a
    // file system without locks, say) must not keep the application from running at all.
    if (error == EWOULDBLOCK) return {Outcome::heldElsewhere, {}};
    return {Outcome::unguarded, "cannot lock " + path.string() + ": " + std::strerror(error)};
}

}  // namespace quillfen::SingleInstance
