#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "RunningCopy.h"
#include "Support/PathWalk.h"
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
    // The uninstall of the last copy takes the file out last, still holding it: a lock had on the
    // file then guards one that is no longer there, and the next start would make it again. So a
    // lock is taken on the file the name holds, once more when it was not.
    for (int attempt = 0;; ++attempt) {
        // A folder that is not ours alone (another's link, another user's folder) holds no lock of
        // ours.
        if (auto error = SafeFile::makePrivateFolder(folder))
            return {Outcome::unguarded, "cannot keep " + path.string() + " there: " + error.message()};
        // Never through another's link (a dangling one would have us create its target), and only
        // a file: a pipe in its place must not hold the start.
        const auto opened = SafeFile::openOwn(path, O_RDWR | O_CREAT);
        if (opened.fd < 0)
            return {Outcome::unguarded,
                    "cannot open " + path.string() + ": " +
                        (opened.refusal.empty() ? std::strerror(opened.error) : opened.refusal)};
        const int fd = opened.fd;
        struct stat locked {};
        if (lockWithoutWaiting(fd, LOCK_EX) == 0) {
            if (attempt > 0 || ::fstat(fd, &locked) != 0 || locked.st_nlink > 0) return {Outcome::held, {}};
            ::close(fd);
            continue;
        }
        const int error = errno;
        ::close(fd);
        // Only a lock held by another instance means another instance; any other failure (a
        // file system without locks, say) must not keep the application from running at all.
        if (error == EWOULDBLOCK) return {Outcome::heldElsewhere, {}};
        return {Outcome::unguarded, "cannot lock " + path.string() + ": " + std::strerror(error)};
    }
}

bool isHeld(const std::filesystem::path& folder) {
    const auto opened = SafeFile::openOwn(folder / kLockName, O_RDONLY);
    if (opened.fd < 0) return false;
    const bool held = lockWithoutWaiting(opened.fd, LOCK_SH) != 0 && errno == EWOULDBLOCK;
    ::close(opened.fd);
    return held;
}

std::optional<std::filesystem::path> holdersProgram(const std::filesystem::path& folder) {
    using PathWalk::Fd;
    const Fd lock(SafeFile::openOwn(folder / kLockName, O_RDONLY).fd);
    struct stat file {};
    if (!lock.ok() || ::fstat(lock.get(), &file) != 0 || lockWithoutWaiting(lock.get(), LOCK_SH) == 0 ||
        errno != EWOULDBLOCK)
        return std::nullopt;
    // A copy keeps the file open only while it holds the lock. Only the user's own processes show
    // what they hold open, and only a program of the application's name is looked into.
    const Fd processes(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const auto& pid : PathWalk::namesIn(processes.get())) {
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        char target[PATH_MAX];
        const auto length = ::readlinkat(processes.get(), (pid + "/exe").c_str(), target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) == sizeof target) continue;
        const std::filesystem::path program(std::string(target, static_cast<std::size_t>(length)));
        if (program.filename() != RunningCopy::kExecutableName) continue;
        const Fd open(::openat(processes.get(), (pid + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        for (const auto& fd : open.ok() ? PathWalk::namesIn(open.get()) : std::vector<std::string>{}) {
            struct stat info {};
            if (::fstatat(open.get(), fd.c_str(), &info, 0) == 0 && info.st_dev == file.st_dev &&
                info.st_ino == file.st_ino)
                return program;
        }
    }
    return std::nullopt;
}

Removal removeHoldingTheLock(const std::filesystem::path& folder,
                             const std::function<void()>& beforeEmptying) {
    using Outcome = Removal::Outcome;
    using PathWalk::Fd;
    if (PathWalk::walk(folder, PathWalk::Kind::folder).error == ENOENT) return {Outcome::notThere, {}};
    const auto found = PathWalk::privateFolder(folder);
    if (!found.ok())
        return {Outcome::refused, found.refusal.empty() ? std::strerror(found.error) : found.refusal};
    const int dir = found.fd.get();
    // Made when missing, so that a copy that starts meanwhile finds it held.
    const Fd lock(
        ::openat(dir, kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    struct stat info {};
    if (!lock.ok() || ::fstat(lock.get(), &info) != 0)
        return {Outcome::refused, std::string("cannot open ") + kLockName + ": " + std::strerror(errno)};
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        return {Outcome::refused, std::string(kLockName) + " is not a file of the user's"};
    if (lockWithoutWaiting(lock.get(), LOCK_EX) != 0) {
        if (errno == EWOULDBLOCK) return {Outcome::heldElsewhere, {}};
        return {Outcome::refused, std::string("cannot lock ") + kLockName + ": " + std::strerror(errno)};
    }
    if (beforeEmptying) beforeEmptying();
    PathWalk::emptyFolder(dir, kLockName);
    ::unlinkat(dir, kLockName, 0);
    // Only an empty folder goes so: one where a copy that started since made its lock file again
    // stays with it.
    const auto holder = PathWalk::walk(folder.parent_path(), PathWalk::Kind::folder);
    if (!holder.ok() || ::unlinkat(holder.folder.get(), folder.filename().c_str(), AT_REMOVEDIR) == 0)
        return {Outcome::removed, {}};
    const int error = errno;
    struct stat again {};
    if (::fstatat(dir, kLockName, &again, AT_SYMLINK_NOFOLLOW) == 0) return {Outcome::heldElsewhere, {}};
    return {Outcome::refused, std::strerror(error)};
}

}  // namespace quillfen::SingleInstance
