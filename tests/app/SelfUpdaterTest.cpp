#include <gtest/gtest.h>

#include <curl/curl.h>
#include <sys/stat.h>

#include <atomic>
#include <map>
#include <thread>

#include "Log/DecisionLog.h"
#include "SelfUpdater.h"
#include "support/ChildProcess.h"
#include "support/FixedClock.h"
#include "support/LocalHttpServer.h"
#include "support/MemoryUserDefaults.h"
#include "support/QtTestSupport.h"
#include "support/RecordingCommandRunner.h"
#include "support/TarBuilder.h"
#include "support/TestEnvironment.h"
#include "support/ThrowawayKeys.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TarBuilder;

static auto* const qtEnvironment = test::addQtEnvironment();

constexpr const char* kManifestPath = "/downloads/ostrel-agent-mac.json";
constexpr const char* kArchivePath = "/builds/quillfen-44.tar";

std::string buildInfo(int build, const std::string& version, const std::string& sha) {
    return R"({"build":)" + std::to_string(build) + R"(,"version":")" + version + R"(","sha":")" + sha + R"("})";
}

// Every entry below a folder, links not followed: what "not a byte changed" is checked against.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const auto relative = it->path().lexically_relative(root).string();
        struct stat info {};
        ::lstat(it->path().c_str(), &info);
        const auto mode = std::to_string(info.st_mode & 07777);
        if (it->is_symlink()) {
            entries[relative] = "link " + fs::read_symlink(it->path()).string();
        } else if (it->is_directory()) {
            entries[relative] = "folder " + mode;
        } else {
            entries[relative] = "file " + mode + " " + test::readFile(it->path());
        }
    }
    return entries;
}

// An update host over TLS on the loopback address, serving a manifest, an archive and the
// archive's signature.
struct UpdateHost {
    test::ThrowawayCertificate certificate;
    test::SigningKey key;
    test::LocalHttpServer server{certificate.certificate(), certificate.key()};
    // The same files over plain http, where a redirect might send a client.
    test::LocalHttpServer plain;
    std::string manifest;
    std::string archive;
    std::string signature;
    std::chrono::milliseconds manifestDelay{0};
    std::atomic<int> manifestRequests{0};
    std::string userAgent;

    UpdateHost() {
        server.server().Get(kManifestPath, [this](const httplib::Request& request, httplib::Response& response) {
            ++manifestRequests;
            userAgent = request.get_header_value("User-Agent");
            std::this_thread::sleep_for(manifestDelay);
            response.set_content(manifest, "application/json");
        });
        server.server().Get("/builds/moved.tar", [this](const httplib::Request&, httplib::Response& response) {
            response.set_redirect(plain.baseURL() + kArchivePath);
        });
        server.server().Get("/builds/moved.tar.sig", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(signature, "application/octet-stream");
        });
        for (auto* host : {&server.server(), &plain.server()}) {
            host->Get(kArchivePath, [this](const httplib::Request&, httplib::Response& response) {
                response.set_content(archive, "application/x-tar");
            });
            host->Get(std::string(kArchivePath) + ".sig", [this](const httplib::Request&, httplib::Response& response) {
                response.set_content(signature, "application/octet-stream");
            });
        }
        server.start();
        plain.start();
    }

    std::string archiveURL() const { return server.baseURL() + kArchivePath; }

    void offer(int build, const std::string& url, const std::string& archiveBytes) {
        manifest = UpdateManifest{build, "1.4.0", "f00d", url, "2026-01-05T09:00:00Z"}.encode();
        archive = archiveBytes;
        signature = key.sign(archive);
    }
};

// An installed build in a folder whose name a shell would take apart, and the updater over it.
struct Scene {
    test::TestHome home;
    test::FixedClock clock{test::at("2026-01-05T10:00:00Z")};
    test::TempDir apps;
    fs::path installed = apps.path() / "Bob's \"Apps\" $(touch pwned)" / "org.quillfen.Quillfen";
    UpdateHost host;
    test::MemoryUserDefaults defaults;
    std::shared_ptr<CommandRunner> runner = std::make_shared<test::RecordingCommandRunner>();
    int terminations = 0;

    Scene() {
        test::writeFile(installed / "bin/quillfen", "#!/bin/sh\nexit 0\n");
        fs::permissions(installed / "bin/quillfen", fs::perms::owner_all);
        test::writeFile(installed / "build-info.json", buildInfo(43, "1.3.0", "cafe"));
        fs::create_directory_symlink("bin", installed / "programs");
    }

    SelfUpdater::Setup setup(fs::path executable = {}) const {
        SelfUpdater::Setup s;
        s.executable = executable.empty() ? installed / "bin/quillfen" : executable;
        s.installedBuild = installed;
        s.workFolder = home.path() / ".cache/org.quillfen.Quillfen/updates";
        s.manifestURL = host.server.baseURL() + kManifestPath;
        s.requiredHost = "127.0.0.1";
        s.signingKey = host.key.publicKey();
        s.trustedCertificatesFile = host.certificate.certificate();
        s.manifestTimeoutSeconds = 0.2;
        s.downloadTimeoutSeconds = 2;
        s.maxArchiveBytes = 64 * 1024;
        s.relaunchDelaySeconds = 0;
        return s;
    }

    SelfUpdater updater(SelfUpdater::Setup s) {
        return SelfUpdater(std::move(s), defaults, std::make_shared<CurlHttpFetcher>(), runner,
                           [this] { ++terminations; }, clock);
    }

    std::vector<std::string> journal() const {
        std::vector<std::string> details;
        for (const auto& entry : DecisionLog::today(clock.now())) {
            if (entry.kind == "update") details.push_back(entry.detail);
        }
        return details;
    }

    const test::RecordingCommandRunner& recorded() const {
        return static_cast<const test::RecordingCommandRunner&>(*runner);
    }
};

TarBuilder newBuild(int build) {
    return TarBuilder()
        .folder("org.quillfen.Quillfen/")
        .file("org.quillfen.Quillfen/bin/quillfen", "#!/bin/sh\nprintf '%s' \"$0\" > \"$0.ran\"\n", 0755)
        .file("org.quillfen.Quillfen/build-info.json", buildInfo(build, "1.4.0", "f00d"))
        .link("org.quillfen.Quillfen/programs", "bin");
}

TEST(SelfUpdater, AGoodUpdateTakesTheInstalledPlaceAndRelaunchesTheNewCopyByItsPath) {
    Scene scene;
    scene.runner = std::shared_ptr<CommandRunner>(makeCommandRunner());
    const auto old = snapshot(scene.installed);
    const auto archive = newBuild(44).bytes();
    scene.host.offer(44, scene.host.archiveURL(), archive);

    scene.updater(scene.setup()).checkOnce();

    EXPECT_EQ(scene.journal(), std::vector<std::string>{"updated myself to 1.4.0 (f00d) from 1.3.0"});
    EXPECT_EQ(scene.host.userAgent, "stone/1.3.0");
    EXPECT_EQ(test::readFile(scene.installed / "build-info.json"), buildInfo(44, "1.4.0", "f00d"));
    EXPECT_EQ(snapshot(scene.setup().workFolder / "previous"), old);
    EXPECT_EQ(scene.terminations, 1);
    // The new copy was started by its path, handed over as an argument and never read by a shell.
    const auto executable = scene.installed / "bin/quillfen";
    ASSERT_TRUE(test::waitUntil([&] { return fs::exists(executable.string() + ".ran"); }, 2s));
    EXPECT_EQ(test::readFile(executable.string() + ".ran"), executable.string());
    EXPECT_FALSE(fs::exists("pwned"));
    EXPECT_FALSE(fs::exists(scene.installed.parent_path() / "pwned"));
}

struct BadUpdate {
    const char* label;
    std::function<void(UpdateHost&)> serve;
    std::string record;
};

void expectRefusedWithoutATrace(const std::vector<BadUpdate>& cases) {
    for (const auto& c : cases) {
        Scene scene;
        const auto before = snapshot(scene.installed);
        c.serve(scene.host);
        scene.updater(scene.setup()).checkOnce();
        EXPECT_EQ(snapshot(scene.installed), before) << c.label;
        EXPECT_EQ(scene.journal(), std::vector<std::string>{c.record}) << c.label;
        EXPECT_TRUE(scene.recorded().calls.empty()) << c.label;
        EXPECT_EQ(scene.terminations, 0) << c.label;
    }
}

TEST(SelfUpdater, NoBadArchiveChangesAByteOfTheInstalledBuild) {
    const std::string climbing = "../" + std::string(200, 'x');
    expectRefusedWithoutATrace({
        {"signed by another key",
         [](UpdateHost& h) {
             h.offer(44, h.archiveURL(), newBuild(44).bytes());
             h.signature = test::SigningKey().sign(h.archive);
         },
         "update check failed: archive signature does not verify"},
        {"signature of other bytes",
         [](UpdateHost& h) {
             h.offer(44, h.archiveURL(), newBuild(44).bytes());
             h.archive = newBuild(44).file("extra", "x").bytes();
         },
         "update check failed: archive signature does not verify"},
        {"another build inside",
         [](UpdateHost& h) { h.offer(44, h.archiveURL(), newBuild(43).bytes()); },
         "update check failed: staged build 43 != manifest build 44"},
        {"an entry climbing out",
         [&](UpdateHost& h) { h.offer(44, h.archiveURL(), newBuild(44).file(climbing, "x").bytes()); },
         // The name is shown up to 80 characters, the whole record cut at 120.
         "update check failed: archive entry refused: ../" + std::string(77, 'x') + " (climbs out with"},
        {"a link out",
         [](UpdateHost& h) {
             h.offer(44, h.archiveURL(), newBuild(44).link("org.quillfen.Quillfen/escape", "../../..").bytes());
         },
         "update check failed: archive entry refused: org.quillfen.Quillfen/escape (link leaves the folder)"},
        {"no build folder",
         [](UpdateHost& h) { h.offer(44, h.archiveURL(), TarBuilder().file("README", "x").bytes()); },
         "update check failed: no build folder in downloaded archive"},
    });
}

TEST(SelfUpdater, NoAnswerOffThePolicyChangesAByteOfTheInstalledBuild) {
    expectRefusedWithoutATrace({
        {"an archive over the size cap",
         [](UpdateHost& h) {
             h.offer(44, h.archiveURL(), newBuild(44).file("big", std::string(100 * 1024, 'b')).bytes());
         },
         "update check failed: archive: answer larger than allowed"},
        {"a manifest that comes too late",
         [](UpdateHost& h) {
             h.offer(44, h.archiveURL(), newBuild(44).bytes());
             h.manifestDelay = 400ms;
         },
         "update check failed: manifest: timed out"},
        {"an error page instead of a manifest",
         [](UpdateHost& h) { h.manifest = "<html><body>404 Not Found</body></html>"; },
         "update check failed: manifest is not JSON"},
        {"a redirect to plain http",
         [](UpdateHost& h) {
             h.offer(44, h.server.baseURL() + "/builds/moved.tar", newBuild(44).bytes());
         },
         std::string("update check failed: archive: ") + curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL)},
        {"an archive over http",
         [](UpdateHost& h) {
             h.offer(44, h.plain.baseURL() + kArchivePath, newBuild(44).bytes());
         },
         "update refused: manifest URL off-policy"},
        {"an archive on another host",
         [](UpdateHost& h) {
             h.offer(44, "https://localhost:" + std::to_string(h.server.port()) + kArchivePath,
                     newBuild(44).bytes());
         },
         "update refused: manifest URL off-policy"},
    });
}

TEST(SelfUpdater, ADeveloperCopyADisabledOneOrAnUpToDateOneRecordsNothing) {
    const struct {
        const char* label;
        std::function<fs::path(Scene&)> arrange;
        int manifestRequests;
        bool scheduled;
    } cases[] = {
        {"running from Downloads",
         [](Scene& s) {
             const auto copy = s.home.path() / "Downloads/org.quillfen.Quillfen";
             fs::create_directories(copy);
             fs::copy(s.installed, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
             return copy / "bin/quillfen";
         },
         0, false},
        {"no build number",
         [](Scene& s) {
             fs::remove(s.installed / "build-info.json");
             return fs::path();
         },
         0, false},
        {"self-update off",
         [](Scene& s) {
             s.defaults.setBoolean("selfUpdateEnabled", false);
             return fs::path();
         },
         0, true},
        {"the same build offered", [](Scene&) { return fs::path(); }, 1, true},
    };
    for (const auto& c : cases) {
        Scene scene;
        scene.host.offer(43, scene.host.archiveURL(), newBuild(43).bytes());
        auto updater = scene.updater(scene.setup(c.arrange(scene)));
        const auto before = snapshot(scene.installed);
        updater.checkOnce();
        updater.start();
        EXPECT_EQ(updater.scheduled(), c.scheduled) << c.label;
        EXPECT_EQ(scene.host.manifestRequests, c.manifestRequests) << c.label;
        EXPECT_TRUE(scene.journal().empty()) << c.label;
        EXPECT_EQ(snapshot(scene.installed), before) << c.label;
    }
}

TEST(SelfUpdater, TheScheduledCheckRunsOnAWorkerAndReportsInTheJournal) {
    Scene scene;
    scene.host.manifest = "{}";
    auto setup = scene.setup();
    setup.firstCheckSeconds = 0.01;
    auto updater = scene.updater(setup);
    updater.start();
    ASSERT_TRUE(test::spinUntil([&] { return !scene.journal().empty(); }));
    EXPECT_EQ(scene.journal(), std::vector<std::string>{"update check failed: manifest unreadable: missing build"});
    EXPECT_EQ(scene.host.manifestRequests, 1);
}

}  // namespace
}  // namespace quillfen
