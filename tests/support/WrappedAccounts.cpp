#include "support/WrappedAccounts.h"

#include <dlfcn.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string_view>

#include "Support/PathWalk.h"
#include "support/ChildProcess.h"

namespace quillfen::test {

namespace {

constexpr std::string_view kStepFlag = "--wrapped-accounts-step";
constexpr int kReportFd = 3;

std::map<std::string, ChildStep>& steps() {
    static std::map<std::string, ChildStep> registered;
    return registered;
}

}  // namespace

WrappedAccounts::WrappedAccounts(std::string_view passwd, std::string_view group, std::optional<Directory> directory)
    : directory_(std::move(directory)) {
    writeFile(dir_.path() / "passwd", passwd);
    writeFile(dir_.path() / "group", group);
    // Read by the child once it has become the user, as is the account source: the build it comes
    // from may lie below a folder only its owner may enter (root's home).
    if (directory_) std::filesystem::copy_file(QUILLFEN_DIRECTORY_ACCOUNTS, dir_.path() / "directory.so");
    for (const char* name : {"passwd", "group", "directory.so"})
        ::chmod((dir_.path() / name).c_str(), 0644);
    ::chmod(dir_.path().c_str(), 0755);
}

std::optional<std::string> WrappedAccounts::run(const std::string& name, unsigned uid, unsigned gid,
                                                const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv = {std::filesystem::read_symlink("/proc/self/exe").string(), std::string(kStepFlag),
                                     name, std::to_string(uid), std::to_string(gid)};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const auto withOption = [](const char* variable, const char* option) {
        const char* options = std::getenv(variable);
        return std::string(options ? options : "") + option;
    };
    std::map<std::string, std::string> environment{
        {"LD_PRELOAD", "libnss_wrapper.so"},
        {"NSS_WRAPPER_PASSWD", (dir_.path() / "passwd").string()},
        {"NSS_WRAPPER_GROUP", (dir_.path() / "group").string()},
        // A sanitizer's runtime wants to come first; this preload comes before it, harmlessly, and
        // refuses libraries loaded with their own binding. The wrapper's locks, set up before the
        // thread sanitizer's runtime watches, look misused to it; the child runs one thread.
        {"NSS_WRAPPER_DISABLE_DEEPBIND", "1"},
        {"ASAN_OPTIONS", withOption("ASAN_OPTIONS", ":verify_asan_link_order=0")},
        {"TSAN_OPTIONS", withOption("TSAN_OPTIONS", ":report_bugs=0")}};
    if (directory_) {
        environment.insert({{"NSS_WRAPPER_MODULE_SO_PATH", (dir_.path() / "directory.so").string()},
                            {"NSS_WRAPPER_MODULE_FN_PREFIX", "directory"},
                            {"QUILLFEN_DIRECTORY_ACCOUNT", directory_->account},
                            {"QUILLFEN_DIRECTORY_GROUP", directory_->group},
                            {"QUILLFEN_DIRECTORY_SLOW_LISTING", std::to_string(directory_->slowListing)}});
    }
    ChildProcess child(argv, environment, kReportFd);
    std::string said = child.readRest();
    const auto status = child.waitForExit(kPatience);
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) return std::nullopt;
    return said;
}

bool registerChildStep(const std::string& name, ChildStep step) {
    steps().emplace(name, std::move(step));
    return true;
}

std::optional<int> runChildStepIfAsked(int argc, char** argv) {
    if (argc < 5 || argv[1] != kStepFlag) return std::nullopt;
    const auto step = steps().find(argv[2]);
    // Without the wrapper the step would judge by the machine's databases.
    if (step == steps().end() || ::dlsym(RTLD_DEFAULT, "nss_wrapper_enabled") == nullptr) return 2;
    const auto uid = static_cast<uid_t>(std::stoul(argv[3]));
    const auto gid = static_cast<gid_t>(std::stoul(argv[4]));
    const bool already = ::getuid() == uid && ::geteuid() == uid && ::getgid() == gid && ::getegid() == gid;
    if (!already && (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0))
        return 3;
    PathWalk::useLocalAccountFile(std::getenv("NSS_WRAPPER_PASSWD"));
    const std::string said = step->second(std::vector<std::string>(argv + 5, argv + argc));
    return PathWalk::writeAll(kReportFd, said) ? 0 : 4;
}

}  // namespace quillfen::test
