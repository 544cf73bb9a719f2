#include "SelfUpdater.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "BackgroundWork.h"
#include "Log/DecisionLog.h"
#include "Log/FileLogStore.h"
#include "RunningCopy.h"
#include "Support/Paths.h"
#include "Support/PathWalk.h"
#include "Support/SafeFile.h"
#include "Support/SystemLog.h"
#include "Support/UnicodeText.h"
#include "Update/UpdateArchive.h"
#include "Update/UpdatePolicy.h"
#include "Update/UpdateSignature.h"

namespace quillfen {

namespace {

using PathWalk::Fd;

constexpr std::size_t kMaxSignatureBytes = 1024;
constexpr std::size_t kMaxDetailCharacters = 120;
constexpr const char* kArchiveName = "update.tar";
constexpr const char* kStagedName = "staged";
constexpr const char* kPreviousName = "previous";
constexpr const char* kUpdaterLogCategory = "updater";

std::string errorText() {
    return std::strerror(errno);
}

// The downloaded archive, mapped rather than read: it is checked and unpacked from memory
// without holding a second copy of it. Opened without following a link and without blocking:
// whatever else has its name is no archive.
class MappedFile {
public:
    MappedFile(int folder, const char* name) {
        const Fd fd(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!fd.ok()) throw UpdateFailure{"archive unreadable: " + errorText()};
        struct stat info {};
        if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) throw UpdateFailure{"archive unreadable"};
        size_ = static_cast<std::size_t>(info.st_size);
        if (size_ > 0) {
            data_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
            if (data_ == MAP_FAILED) {
                data_ = nullptr;
                throw UpdateFailure{"archive unreadable: " + errorText()};
            }
        }
    }
    ~MappedFile() {
        if (data_) ::munmap(data_, size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::string_view bytes() const { return {static_cast<const char*>(data_), data_ ? size_ : 0}; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", std::clamp(value, 0.0, 3600.0));
    return text;
}

// The work folder, emptied: a folder of the user's alone, in the cache folder made first as a
// private folder of ours, found one name at a time and used through its descriptor from here
// on, so that another user's swap of a name on the way changes nothing.
Fd openWorkFolder(const std::filesystem::path& work) {
    if (auto error = SafeFile::makePrivateFolder(work.parent_path())) {
        throw UpdateFailure{"could not make the updates folder: " + error.message()};
    }
    auto found = PathWalk::privateFolder(work);
    if (!found.ok()) {
        const std::string why = found.refusal.empty() ? std::strerror(found.error) : found.refusal;
        SafeFile::refuse(work, why);
        throw UpdateFailure{"could not make the updates folder: " + why};
    }
    PathWalk::emptyFolder(found.fd.get());
    return std::move(found.fd);
}

// A new file in the folder, for writing: nothing that is there already, a link least of all.
Fd createIn(int folder, const char* name, const char* what) {
    Fd fd(::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (!fd.ok()) throw UpdateFailure{std::string("could not make ") + what + ": " + errorText()};
    return fd;
}

// The first folder the archive unpacked, in name order (the listing order of the system is no
// order at all); links do not count.
std::optional<std::string> stagedBuild(int staged) {
    std::optional<std::string> first;
    for (auto& name : PathWalk::namesIn(staged)) {
        struct stat info {};
        if (::fstatat(staged, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode)) continue;
        if (!first || name < *first) first = std::move(name);
    }
    return first;
}

void moveBetween(int fromFolder, const std::string& from, int toFolder, const std::string& to, const char* what) {
    if (::renameat(fromFolder, from.c_str(), toFolder, to.c_str()) != 0) {
        throw UpdateFailure{std::string("could not move ") + what + ": " + errorText()};
    }
}

}  // namespace

// Shared with a check's thread, which may outlive the updater when it will not stop.
struct SelfUpdater::Worker {
    Setup setup;
    std::shared_ptr<HttpFetcher> http;
    std::shared_ptr<CommandRunner> runner;
    Terminate terminate;
    Clock now;
    std::atomic<bool> inFlight{false};

    BuildInfo running() const { return BuildInfo::read(RunningCopy::buildFolderOf(setup.executable)); }
    bool mayCheck() const {
        return running().build >= 1 && RunningCopy::runsFrom(setup.executable, setup.installation);
    }
    void journal(const std::string& detail) const { DecisionLog::append(kJournalKind, detail, now()); }
    void check(std::stop_token stop) const;
    void install(const UpdateManifest& manifest, const std::string& url, std::stop_token stop) const;
};

SelfUpdater::Setup SelfUpdater::Setup::runningCopy() {
    Setup setup;
    setup.executable = RunningCopy::executable();
    setup.installation = RunningCopy::recorded();
    setup.workFolder = Paths::cacheDirectory() / "updates";
    setup.manifestURL = UpdatePolicy::kManifestURL;
    setup.requiredHost = UpdatePolicy::kRequiredHost;
    setup.signingKey = UpdatePolicy::signingKey();
    return setup;
}

SelfUpdater::SelfUpdater(UserDefaults& defaults)
    : SelfUpdater(Setup::runningCopy(), defaults, std::make_shared<CurlHttpFetcher>(),
                  std::shared_ptr<CommandRunner>(makeCommandRunner()),
                  [] {
                      if (auto* app = QCoreApplication::instance()) {
                          QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
                      }
                  },
                  systemClock()) {}

SelfUpdater::SelfUpdater(Setup setup, UserDefaults& defaults, std::shared_ptr<HttpFetcher> http,
                         std::shared_ptr<CommandRunner> runner, Terminate terminate, Clock now)
    : defaults_(defaults), worker_(std::make_shared<Worker>()), work_(std::make_unique<BackgroundWork>()) {
    worker_->setup = std::move(setup);
    worker_->http = std::move(http);
    worker_->runner = std::move(runner);
    worker_->terminate = std::move(terminate);
    worker_->now = std::move(now);
}

// A check under way is asked to stop as the work goes; waiting for it here could hang the quit on
// a server that never answers, and it keeps only what it shares.
SelfUpdater::~SelfUpdater() = default;

std::int64_t SelfUpdater::localBuild() {
    return BuildInfo::read(RunningCopy::buildFolderOf(RunningCopy::executable())).build;
}

std::string SelfUpdater::localVersion() {
    return BuildInfo::read(RunningCopy::buildFolderOf(RunningCopy::executable())).version;
}

std::string SelfUpdater::localSha() {
    return BuildInfo::read(RunningCopy::buildFolderOf(RunningCopy::executable())).sha;
}

bool SelfUpdater::isEnabled(const UserDefaults& defaults) {
    return defaults.boolean(kEnabledKey).value_or(true);
}

void SelfUpdater::start() {
    if (!worker_->mayCheck()) return;
    auto timer = [this](double seconds, bool once) {
        auto t = std::make_unique<QTimer>();
        t->setSingleShot(once);
        t->setInterval(static_cast<int>(std::clamp(seconds, 0.0, 2e6) * 1000.0));
        QObject::connect(t.get(), &QTimer::timeout, t.get(), [this] { onTimer(); });
        t->start();
        return t;
    };
    first_ = timer(worker_->setup.firstCheckSeconds, true);
    daily_ = timer(worker_->setup.checkIntervalSeconds, false);
}

bool SelfUpdater::claim() {
    if (!worker_->mayCheck() || !isEnabled(defaults_)) return false;
    bool idle = false;
    return worker_->inFlight.compare_exchange_strong(idle, true);
}

void SelfUpdater::onTimer() {
    if (!claim()) return;
    const std::shared_ptr<Worker> worker = worker_;
    const bool started = work_->run<bool>(
        "the update check",
        [worker](std::stop_token stop) {
            worker->check(stop);
            worker->inFlight = false;
            return true;
        },
        {});
    // No thread for it, or the quit came first: the check waits for the next timer.
    if (!started) worker_->inFlight = false;
}

void SelfUpdater::checkOnce(std::stop_token stop) {
    if (!claim()) return;
    worker_->check(stop);
    worker_->inFlight = false;
}

bool SelfUpdater::stop(std::chrono::milliseconds grace) {
    return work_->stopAll(grace);
}

void SelfUpdater::Worker::check(std::stop_token stop) const {
    auto failed = [this, &stop](const std::string& description) {
        // A check cut short because the application is closing has not failed.
        if (stop.stop_requested()) return;
        journal("update check failed: " + UnicodeText::prefix(description, kMaxDetailCharacters));
    };
    HttpRequest request;
    request.url = setup.manifestURL;
    request.headers = {{"User-Agent", "stone/" + running().version}};
    request.timeoutSeconds = setup.manifestTimeoutSeconds;
    request.maxBodyBytes = setup.maxManifestBytes;
    request.httpsOnly = true;
    request.trustedCertificatesFile = setup.trustedCertificatesFile;
    // The status is not looked at: an error page is simply not a manifest.
    auto answer = http->get(request, stop);
    if (auto* failure = std::get_if<HttpFailure>(&answer)) return failed("manifest: " + failure->message);

    auto decoded = UpdateManifest::decode(std::get<HttpResponse>(answer).body);
    if (auto* error = std::get_if<std::string>(&decoded)) return failed(*error);
    const auto& manifest = std::get<UpdateManifest>(decoded);
    if (!UpdatePolicy::shouldUpdate(running().build, manifest)) return;

    auto url = UpdatePolicy::allowedDownloadURL(manifest, setup.requiredHost);
    if (!url) return journal("update refused: manifest URL off-policy");
    try {
        install(manifest, *url, stop);
    } catch (const UpdateFailure& failure) {
        failed(failure.description);
    } catch (const std::exception& e) {
        failed(e.what());
    }
}

void SelfUpdater::Worker::install(const UpdateManifest& manifest, const std::string& url,
                                  std::stop_token stop) const {
    const Fd work = openWorkFolder(setup.workFolder);

    HttpRequest request;
    request.url = url;
    request.headers = {{"User-Agent", "stone/" + running().version}};
    request.timeoutSeconds = setup.downloadTimeoutSeconds;
    request.maxBodyBytes = setup.maxArchiveBytes;
    request.httpsOnly = true;
    request.trustedCertificatesFile = setup.trustedCertificatesFile;
    {
        const Fd file = createIn(work.get(), kArchiveName, "the archive");
        auto downloaded = http->downloadInto(request, file.get(), stop);
        if (auto* failure = std::get_if<HttpFailure>(&downloaded)) throw UpdateFailure{"archive: " + failure->message};
    }

    auto signatureAt = UpdatePolicy::signatureURL(url);
    if (!signatureAt) throw UpdateFailure{"no address for the archive's signature"};
    request.url = *signatureAt;
    request.maxBodyBytes = kMaxSignatureBytes;
    auto signature = http->get(request, stop);
    if (auto* failure = std::get_if<HttpFailure>(&signature)) throw UpdateFailure{"signature: " + failure->message};

    const MappedFile archive(work.get(), kArchiveName);
    if (!UpdateSignature::verify(archive.bytes(), std::get<HttpResponse>(signature).body, setup.signingKey)) {
        throw UpdateFailure{"archive signature does not verify"};
    }

    if (::mkdirat(work.get(), kStagedName, S_IRWXU) != 0) {
        throw UpdateFailure{"could not make the staging folder: " + errorText()};
    }
    const Fd staged(::openat(work.get(), kStagedName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!staged.ok()) throw UpdateFailure{"could not make the staging folder: " + errorText()};
    if (auto refusal = UpdateArchive::unpack(archive.bytes(), staged.get())) throw UpdateFailure{*refusal};
    const auto build = stagedBuild(staged.get());
    if (!build) throw UpdateFailure{"no build folder in downloaded archive"};
    const Fd buildFolder(::openat(staged.get(), build->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const auto stagedNumber = buildFolder.ok() ? BuildInfo::read(buildFolder.get()).build : 0;
    if (stagedNumber != manifest.build) {
        throw UpdateFailure{"staged build " + std::to_string(stagedNumber) + " != manifest build " +
                            std::to_string(manifest.build)};
    }

    // The folder that holds the installed build, found as the walk finds it: a folder of the
    // user's, whatever link of theirs or root's leads there.
    const auto current = setup.installation.build();
    const auto builds = PathWalk::place(current.parent_path(), PathWalk::Kind::folder);
    if (!builds.ok()) {
        const std::string why = builds.refusal.empty() ? std::strerror(builds.error) : builds.refusal;
        if (!builds.refusal.empty()) SafeFile::refuse(current.parent_path(), why);
        throw UpdateFailure{"could not reach the installed build: " + why};
    }
    // The application is closing: the new build waits for the next check, not half swapped.
    if (stop.stop_requested()) throw UpdateFailure{"cancelled"};
    const auto runningVersion = running().version;
    const std::string name = current.filename();
    moveBetween(builds.folder.get(), name, work.get(), kPreviousName, "the installed build aside");
    try {
        moveBetween(staged.get(), *build, builds.folder.get(), name, "the new build into place");
    } catch (const UpdateFailure&) {
        ::renameat(work.get(), kPreviousName, builds.folder.get(), name.c_str());
        throw;
    }
    journal("updated myself to " + manifest.version + " (" + manifest.sha + ") from " + runningVersion);

    // By the launcher, as the desktop and the keep-alive service start it; by its own path when
    // the link is gone. The new copy writes the keep-alive wrapper anew for itself as it starts.
    // The path travels as an argument, never inside the script's text.
    std::error_code linked;
    const auto launcher = setup.installation.launcher();
    const auto relaunched = std::filesystem::exists(launcher, linked) ? launcher
                                                                     : current / "bin" / RunningCopy::kExecutableName;
    // The shell finds the new copy by its name a moment from now: where someone else could put a
    // program of theirs there, it is not started. A sticky folder on the way will do for that
    // moment: the name stays the user's until they remove it or a boot empties the folder. This
    // copy runs on, and the new build starts at the next start; a quit would take the keep-alive
    // service down with it and leave the user without the application until the next login.
    if (auto why = PathWalk::whyOthersCouldChange(relaunched, PathWalk::When::atOnce); !why.empty()) {
        SystemLog::notice(kUpdaterLogCategory, "relaunch refused: " + why);
        return journal("relaunch refused: " + UnicodeText::prefix(why, kMaxDetailCharacters));
    }
    if (auto error = runner->launchDetached(
            "/bin/sh", {"-c", "sleep \"$1\"; exec \"$2\"", "quillfen-relaunch", seconds(setup.relaunchDelaySeconds),
                        relaunched.string()})) {
        throw UpdateFailure{"could not relaunch: " + *error};
    }
    terminate();
}

}  // namespace quillfen
