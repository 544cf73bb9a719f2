#include "support/TestEnvironment.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "Log/FileLogStore.h"
#include "Promise/PromiseStore.h"
#include "Support/PathWalk.h"

namespace quillfen::test {

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) previous_ = old;
    if (value) {
        setenv(name_.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    if (previous_) {
        setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
    tzset();
}

ScopedTimeZone::ScopedTimeZone(const std::string& zone) : env_("TZ", zone) {
    tzset();
}

std::filesystem::path temporaryFolder() {
    const auto holds = [](const std::filesystem::path& folder) {
        return folder.is_absolute() && PathWalk::whyOthersCouldChange(folder, PathWalk::When::later).empty();
    };
    const auto system = std::filesystem::temp_directory_path();
    if (holds(system)) return system;
    if (::geteuid() == 0) {
        // Kept, as the lock beside it is: test programs make and remove their folders in it at once.
        const std::filesystem::path own = "/run/quillfen-tests";
        ::mkdir(own.c_str(), 0755);
        return holds(own) ? own : system;
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && holds(runtime)) return runtime;
    // An account with neither (a login through su, a job of a CI runner) has the build folder, where
    // the test programs are, unless that too lies below a shared folder.
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return system;
    // Short: sockets the tests make below it have room for at most 107 characters of path.
    const auto own = program.parent_path() / "tmp";
    ::mkdir(own.c_str(), 0700);
    return holds(own) ? own : system;
}

TempDir::TempDir() : TempDir(temporaryFolder()) {}

TempDir::TempDir(const std::filesystem::path& parent) {
    std::string pattern = (parent / "quillfen-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

TestHome::TestHome() {
    for (const char* sub : {".local/share", ".cache", ".config"})
        std::filesystem::create_directories(dir_.path() / sub);
    for (const auto& [name, value] : environment())
        env_.push_back(std::make_unique<ScopedEnv>(name, value));
}

std::map<std::string, std::string> TestHome::environment() const {
    const auto& root = dir_.path();
    return {
        {"HOME", root.string()},
        {"XDG_DATA_HOME", (root / ".local/share").string()},
        {"XDG_CACHE_HOME", (root / ".cache").string()},
        {"XDG_CONFIG_HOME", (root / ".config").string()},
        // The machine's own folders would show a copy installed there (its menu entry, its settings).
        {"XDG_DATA_DIRS", (root / "system/share").string()},
        {"XDG_CONFIG_DIRS", (root / "system/etc/xdg").string()},
        // An application started here would ask the machine's own claude (/usr/local/bin/claude, say)
        // whether it is logged in: its mind is off unless the test turns it on.
        {"TAVRYN_CLOUD_MIND", "0"},
    };
}

std::filesystem::path TestHome::dataDirectory() const {
    return path() / ".local/share/org.quillfen.Quillfen";
}

std::filesystem::path TestHome::familyDirectory() const {
    return path() / ".ostrel";
}

bool TestHome::keepAPromise() const {
    std::filesystem::create_directories(dataDirectory());
    PromiseStore store(std::make_shared<FileLogStore>(dataDirectory() / "promise.json"));
    Promise promise;
    promise.dayPhrase = "a long morning";
    promise.moves.push_back({Uuid::random(), MoveLabel::stepOutside, "step outside for five"});
    return store.save(promise);
}

void writeFile(const std::filesystem::path& path, std::string_view contents) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

unsigned modeOf(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

bool giveToAnotherUser(const std::filesystem::path& path) {
    if (::geteuid() != 0) {
        std::printf("[  SKIPPED ] %s: only root can give a file to another user\n", path.c_str());
        return false;
    }
    if (::lchown(path.c_str(), kAnotherUser, kAnotherUser) != 0)
        throw std::runtime_error("cannot give " + path.string() + " to another user");
    return true;
}

bool letAnotherUserWrite(const std::filesystem::path& path, bool byDefault) {
    struct Entry {
        std::uint16_t tag, permissions;
        std::uint32_t id;
    };
    constexpr std::uint32_t kVersion = 2, kNoId = ~0u;
    const Entry entries[] = {
        {0x01, 7, kNoId}, {0x02, 7, kAnotherUser}, {0x04, 7, kNoId}, {0x10, 7, kNoId}, {0x20, 5, kNoId}};
    std::string list(reinterpret_cast<const char*>(&kVersion), sizeof kVersion);
    list.append(reinterpret_cast<const char*>(entries), sizeof entries);
    return ::setxattr(path.c_str(), byDefault ? "system.posix_acl_default" : "system.posix_acl_access",
                      list.data(), list.size(), 0) == 0;
}

std::optional<std::filesystem::path> layOut(const DotfilesLayout& layout, const std::filesystem::path& dotfiles,
                                            const std::filesystem::path& file) {
    const auto link = layout.folderLinked ? file.parent_path() : file;
    std::filesystem::create_directories(link.parent_path());
    std::filesystem::create_directories(dotfiles);
    auto target = dotfiles;
    if (layout.throughTheirLink) {
        // Leads where the dotfiles are, but is theirs to turn elsewhere.
        const auto theirs = dotfiles.parent_path() / "by-another-user";
        std::filesystem::create_directory_symlink(".", theirs);
        if (!giveToAnotherUser(theirs)) return std::nullopt;
        target = theirs / dotfiles.filename();
    }
    if (layout.folderLinked) {
        std::filesystem::create_directory_symlink(target, link);
    } else {
        std::filesystem::create_symlink(target / file.filename(), link);
    }
    if (layout.anotherUsers && !layout.throughTheirLink && !giveToAnotherUser(link)) return std::nullopt;
    return link;
}

int asUser(unsigned uid, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0)
            ::_exit(255);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

std::vector<std::string> contentsKeptAside(const std::filesystem::path& file) {
    std::vector<std::filesystem::path> copies;
    const std::string prefix = file.filename().string() + ".corrupt-";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), ec)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) copies.push_back(entry.path());
    }
    std::sort(copies.begin(), copies.end());
    std::vector<std::string> contents;
    for (const auto& copy : copies)
        contents.push_back(readFile(copy));
    return contents;
}

void removeCopiesKeptAside(const std::filesystem::path& file) {
    const std::string prefix = file.filename().string() + ".corrupt-";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), ec)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) std::filesystem::remove(entry.path());
    }
}

}  // namespace quillfen::test
