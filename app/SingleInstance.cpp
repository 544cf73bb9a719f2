#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillfen::SingleInstance {

bool isOneShotRun(const Environment& environment) {
    const bool render = std::any_of(environment.begin(), environment.end(), [](const auto& entry) {
        return entry.first.rfind("TAVRYN_RENDER", 0) == 0;
    });
    if (render) return true;
    return environment.count("TAVRYN_DEMO_NUDGE") != 0 || environment.count("TAVRYN_QA_WINDOW_CYCLE") != 0;
}

Lock acquire(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    ::chmod(folder.c_str(), S_IRWXU);
    const auto path = folder / "singleton.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, S_IRUSR | S_IWUSR);
    if (fd < 0) return {Outcome::unguarded, "cannot open " + path.string() + ": " + std::strerror(errno)};
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
