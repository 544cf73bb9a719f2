#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "Support/Clock.h"
#include "Support/HttpFetcher.h"
#include "RunningCopy.h"
#include "Update/BuildInfo.h"
#include "Update/UpdateManifest.h"
#include "platform/CommandRunner.h"
#include "platform/UserDefaults.h"

class QTimer;

namespace quillfen {

class BackgroundWork;

// Why an install stopped; its text is the description.
struct UpdateFailure {
    std::string description;
};

// Keeps an installed copy current without the user's help: 90 s after start and then once a
// day it reads the update manifest and, for a strictly newer build at an allowed address,
// downloads the archive and its signature, checks the signature against the maker's key before
// anything is unpacked, unpacks, checks the build number, swaps the new build into the
// installed build's place (keeping the old one aside) and relaunches, unless someone else could
// change what the path it starts leads to. Every refusal, failure and install is one "update"
// line in the decisions journal; a check that finds nothing new writes nothing. A copy that does
// not run from the installed build's folder (below the install prefix recorded at build time), or
// has no build number, never checks. The work folder and the folder of builds are found one name
// at a time and then used through their descriptors only, so that nobody's swap of a name on the
// way leads an install anywhere else.
class SelfUpdater {
public:
    struct Setup {
        std::filesystem::path executable;
        // Its build is what an update replaces; the new copy is started by its launcher.
        RunningCopy::Installation installation;
        // A folder of the user's alone, in a private folder of ours: emptied at the start of
        // every install; the archive, the unpacked build and the build that was replaced stay
        // there until the next one.
        std::filesystem::path workFolder;
        std::string manifestURL;
        std::string requiredHost;
        // The maker's Ed25519 public key, 32 raw bytes.
        std::string signingKey;
        // A PEM file of certificates to trust instead of the system's; empty: the system's.
        std::string trustedCertificatesFile;
        double manifestTimeoutSeconds = 15;
        double downloadTimeoutSeconds = 120;
        std::size_t maxManifestBytes = 64 * 1024;
        std::size_t maxArchiveBytes = 512u << 20;
        double firstCheckSeconds = 90;
        double checkIntervalSeconds = 86400;
        double relaunchDelaySeconds = 1;

        // The running copy, the update host and the maker's key.
        static Setup runningCopy();
    };
    using Terminate = std::function<void()>;

    static constexpr const char* kEnabledKey = "selfUpdateEnabled";
    static constexpr const char* kJournalKind = "update";

    // The running copy over the network, asking the Qt application to quit after a relaunch.
    explicit SelfUpdater(UserDefaults& defaults);
    // `terminate` may be called on a worker thread.
    SelfUpdater(Setup setup, UserDefaults& defaults, std::shared_ptr<HttpFetcher> http,
                std::shared_ptr<CommandRunner> runner, Terminate terminate, Clock now);
    // Asks a check under way to stop, and leaves one that has not ended to end with the process.
    ~SelfUpdater();
    SelfUpdater(const SelfUpdater&) = delete;
    SelfUpdater& operator=(const SelfUpdater&) = delete;

    // Schedules the checks on the calling thread's event loop, each run on a worker thread;
    // nothing at all for a copy that never checks.
    void start();
    bool scheduled() const { return daily_ != nullptr; }

    // One check, on the calling thread, which is the thread the user defaults belong to.
    void checkOnce(std::stop_token stop = {});

    // At quit: asks a scheduled check under way to stop and waits for it up to `grace`; says
    // whether it ended. No check starts afterwards.
    bool stop(std::chrono::milliseconds grace);

    // The running copy's own facts, read on every use; also the settings window's.
    static std::int64_t localBuild();
    static std::string localVersion();
    static std::string localSha();
    // "selfUpdateEnabled" when it holds a Boolean, else true.
    static bool isEnabled(const UserDefaults& defaults);

private:
    // What a check works with, shared with its thread: a check that will not stop (a server that
    // hangs) is given up at quit, and keeps only this.
    struct Worker;

    // The guards of every check; true when this check may run, which is then in flight.
    bool claim();
    void onTimer();

    UserDefaults& defaults_;
    std::shared_ptr<Worker> worker_;
    std::unique_ptr<QTimer> first_;
    std::unique_ptr<QTimer> daily_;
    std::unique_ptr<BackgroundWork> work_;
};

}  // namespace quillfen
