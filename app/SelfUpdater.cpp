#include "SelfUpdater.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Log/DecisionLog.h"
#include "Log/FileLogStore.h"
#include "RunningCopy.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/Threads.h"
#include "Support/UnicodeText.h"
#include "Update/UpdateArchive.h"
#include "Update/UpdatePolicy.h"
#include "Update/UpdateSignature.h"
#include "platform/CpuAffinity.h"

namespace quillfen {

namespace {

constexpr std::size_t kMaxSignatureBytes = 1024;
constexpr std::size_t kMaxDetailCharacters = 120;

// The downloaded archive, mapped rather than read: it is checked and unpacked from memory
// without holding a second copy of it.
class MappedFile {
public:
    explicit MappedFile(const std::filesystem::path& path) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) throw UpdateFailure{"archive unreadable: " + std::string(std::strerror(errno))};
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            throw UpdateFailure{"archive unreadable"};
        }
        size_ = static_cast<std::size_t>(info.st_size);
        if (size_ > 0) {
            data_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
            if (data_ == MAP_FAILED) {
                data_ = nullptr;
                ::close(fd);
                throw UpdateFailure{"archive unreadable: " + std::string(std::strerror(errno))};
            }
        }
        ::close(fd);
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

// The first folder the archive unpacked, in name order (the listing order of the system is no
// order at all); links do not count.
std::optional<std::filesystem::path> stagedBuild(const std::filesystem::path& staged) {
    std::vector<std::filesystem::path> folders;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(staged, ec)) {
        if (entry.is_directory(ec) && !entry.is_symlink(ec)) folders.push_back(entry.path());
    }
    if (folders.empty()) return std::nullopt;
    return *std::min_element(folders.begin(), folders.end());
}

void rename(const std::filesystem::path& from, const std::filesystem::path& to, const char* what) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        throw UpdateFailure{std::string("could not move ") + what + ": " + std::strerror(errno)};
    }
}

}  // namespace

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
    : setup_(std::move(setup)),
      defaults_(defaults),
      http_(std::move(http)),
      runner_(std::move(runner)),
      terminate_(std::move(terminate)),
      now_(std::move(now)) {}

SelfUpdater::~SelfUpdater() {
    first_.reset();
    daily_.reset();
    // The worker is asked to stop and joined here, before the members it uses go.
    worker_ = std::jthread();
}

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

BuildInfo SelfUpdater::running() const {
    return BuildInfo::read(RunningCopy::buildFolderOf(setup_.executable));
}

bool SelfUpdater::mayCheck() const {
    return running().build >= 1 && RunningCopy::runsFrom(setup_.executable, setup_.installation);
}

void SelfUpdater::start() {
    if (!mayCheck()) return;
    auto timer = [this](double seconds, bool once) {
        auto t = std::make_unique<QTimer>();
        t->setSingleShot(once);
        t->setInterval(static_cast<int>(std::clamp(seconds, 0.0, 2e6) * 1000.0));
        QObject::connect(t.get(), &QTimer::timeout, t.get(), [this] { onTimer(); });
        t->start();
        return t;
    };
    first_ = timer(setup_.firstCheckSeconds, true);
    daily_ = timer(setup_.checkIntervalSeconds, false);
}

bool SelfUpdater::claim() {
    if (!mayCheck() || !isEnabled(defaults_)) return false;
    bool idle = false;
    return inFlight_.compare_exchange_strong(idle, true);
}

void SelfUpdater::onTimer() {
    if (!claim()) return;
    // The previous worker has finished (it cleared the flag); joining it costs nothing.
    worker_ = Threads::startOrSkip("the update check", [this](std::stop_token stop) {
        CpuAffinity::releaseCallingThread();
        check(stop);
        inFlight_ = false;
    });
    // No thread for it: the check waits for the next timer.
    if (!worker_.joinable()) inFlight_ = false;
}

void SelfUpdater::checkOnce(std::stop_token stop) {
    if (!claim()) return;
    check(stop);
    inFlight_ = false;
}

void SelfUpdater::journal(const std::string& detail) const {
    DecisionLog::append(kJournalKind, detail, now_());
}

void SelfUpdater::check(std::stop_token stop) {
    auto failed = [this, &stop](const std::string& description) {
        // A check cut short because the application is closing has not failed.
        if (stop.stop_requested()) return;
        journal("update check failed: " + UnicodeText::prefix(description, kMaxDetailCharacters));
    };
    HttpRequest request;
    request.url = setup_.manifestURL;
    request.headers = {{"User-Agent", "stone/" + running().version}};
    request.timeoutSeconds = setup_.manifestTimeoutSeconds;
    request.maxBodyBytes = setup_.maxManifestBytes;
    request.httpsOnly = true;
    request.trustedCertificatesFile = setup_.trustedCertificatesFile;
    // The status is not looked at: an error page is simply not a manifest.
    auto answer = http_->get(request, stop);
    if (auto* failure = std::get_if<HttpFailure>(&answer)) return failed("manifest: " + failure->message);

    auto decoded = UpdateManifest::decode(std::get<HttpResponse>(answer).body);
    if (auto* error = std::get_if<std::string>(&decoded)) return failed(*error);
    const auto& manifest = std::get<UpdateManifest>(decoded);
    if (!UpdatePolicy::shouldUpdate(running().build, manifest)) return;

    auto url = UpdatePolicy::allowedDownloadURL(manifest, setup_.requiredHost);
    if (!url) return journal("update refused: manifest URL off-policy");
    try {
        install(manifest, *url, stop);
    } catch (const UpdateFailure& failure) {
        failed(failure.description);
    } catch (const std::exception& e) {
        failed(e.what());
    }
}

void SelfUpdater::install(const UpdateManifest& manifest, const std::string& url, std::stop_token stop) {
    const auto& work = setup_.workFolder;
    // Found first: what is cleared out is a folder of the user's, not one another user's link leads to.
    std::error_code ec;
    if (!SafeFile::makeFolders(work)) std::filesystem::remove_all(work, ec);
    if (auto error = SafeFile::makeFolders(work)) {
        throw UpdateFailure{"could not make the updates folder: " + error.why};
    }

    HttpRequest request;
    request.url = url;
    request.headers = {{"User-Agent", "stone/" + running().version}};
    request.timeoutSeconds = setup_.downloadTimeoutSeconds;
    request.maxBodyBytes = setup_.maxArchiveBytes;
    request.httpsOnly = true;
    request.trustedCertificatesFile = setup_.trustedCertificatesFile;
    const auto archivePath = work / "update.tar";
    auto downloaded = http_->download(request, archivePath, stop);
    if (auto* failure = std::get_if<HttpFailure>(&downloaded)) throw UpdateFailure{"archive: " + failure->message};

    auto signatureAt = UpdatePolicy::signatureURL(url);
    if (!signatureAt) throw UpdateFailure{"no address for the archive's signature"};
    request.url = *signatureAt;
    request.maxBodyBytes = kMaxSignatureBytes;
    auto signature = http_->get(request, stop);
    if (auto* failure = std::get_if<HttpFailure>(&signature)) throw UpdateFailure{"signature: " + failure->message};

    const MappedFile archive(archivePath);
    if (!UpdateSignature::verify(archive.bytes(), std::get<HttpResponse>(signature).body, setup_.signingKey)) {
        throw UpdateFailure{"archive signature does not verify"};
    }

    const auto staged = work / "staged";
    if (auto error = SafeFile::makeFolders(staged)) {
        throw UpdateFailure{"could not make the staging folder: " + error.why};
    }
    if (auto refusal = UpdateArchive::unpack(archive.bytes(), staged)) throw UpdateFailure{*refusal};
    auto build = stagedBuild(staged);
    if (!build) throw UpdateFailure{"no build folder in downloaded archive"};
    const auto stagedNumber = BuildInfo::read(*build).build;
    if (stagedNumber != manifest.build) {
        throw UpdateFailure{"staged build " + std::to_string(stagedNumber) + " != manifest build " +
                            std::to_string(manifest.build)};
    }

    const auto runningVersion = running().version;
    const auto current = setup_.installation.build();
    const auto previous = work / "previous";
    rename(current, previous, "the installed build aside");
    try {
        rename(*build, current, "the new build into place");
    } catch (const UpdateFailure&) {
        ::rename(previous.c_str(), current.c_str());
        throw;
    }
    journal("updated myself to " + manifest.version + " (" + manifest.sha + ") from " + runningVersion);

    // By the launcher, as the desktop starts it, so the keep-alive wrapper, which looks for the
    // launcher's path, recognises the new copy; by its own path when the link is gone. The path
    // travels as an argument, never inside the script's text.
    std::error_code linked;
    const auto launcher = setup_.installation.launcher();
    const auto relaunched = std::filesystem::exists(launcher, linked) ? launcher
                                                                     : current / "bin" / RunningCopy::kExecutableName;
    if (auto error = runner_->launchDetached(
            "/bin/sh", {"-c", "sleep \"$1\"; exec \"$2\"", "quillfen-relaunch", seconds(setup_.relaunchDelaySeconds),
                        relaunched.string()})) {
        throw UpdateFailure{"could not relaunch: " + *error};
    }
    terminate_();
}

}  // namespace quillfen
