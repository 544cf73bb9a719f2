#include <gtest/gtest.h>

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <optional>
#include <thread>

#include "Log/DecisionLog.h"
#include "SelfUpdater.h"
#include "support/CapturedSystemLog.h"
#include "support/ChildProcess.h"
#include "support/FixedClock.h"
#include "support/Hold.h"
#include "support/LocalHttpServer.h"
#include "support/MemoryUserDefaults.h"
#include "support/QtTestSupport.h"
#include "support/RecordingCommandRunner.h"
#include "support/TarBuilder.h"
#include "support/ThreadShortage.h"
#include "support/ThrowawayKeys.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TarBuilder;

constexpr const char* kArchive = "/builds/quillfen-44.tar";

std::string buildInfo(int build, const std::string& version) {
    return R"({"build":)" + std::to_string(build) + R"(,"version":")" + version + R"(","sha":"f00d"})";
}

// The new build's program leaves the path it ran by beside itself, renamed into place whole, so
// that the test never reads it half written.
TarBuilder newBuild(int build) {
    return TarBuilder()
        .file("org.quillfen.Quillfen/bin/quillfen",
              "#!/bin/sh\nprintf '%s' \"$0\" > \"$0.ran.tmp\"\n/bin/mv \"$0.ran.tmp\" \"$0.ran\"\n", 0755)
        .file("org.quillfen.Quillfen/build-info.json", buildInfo(build, "1.4.0"));
}

// Every entry below a folder, links not followed: what "not a byte changed" is checked against.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        struct stat info {};
        ::lstat(it->path().c_str(), &info);
        auto& entry = entries[it->path().lexically_relative(root).string()];
        entry = std::to_string(info.st_mode) + " ";
        if (it->is_symlink()) {
            entry += fs::read_symlink(it->path()).string();
        } else if (!it->is_directory()) {
            entry += test::readFile(it->path());
        }
    }
    return entries;
}

// An update host over TLS on the loopback address with a plain http twin, an installation below a
// prefix whose name a shell would take apart, and the updater over both.
struct Scene {
    test::TestHome home;
    test::FixedClock clock{test::at("2026-01-05T10:00:00Z")};
    test::TempDir apps;
    RunningCopy::Installation installation{apps.path() / "Bob's \"Apps\" $(touch pwned)"};
    fs::path installed = installation.build();
    test::ThrowawayCertificate certificate;
    test::SigningKey key;
    std::string manifest, archive, signature;
    std::chrono::milliseconds manifestDelay{0};
    // Short only where the manifest is meant to come too late; elsewhere the updater's own
    // time-out, which a busy machine's handshake on the loopback address never reaches.
    std::optional<double> manifestTimeoutSeconds;
    std::atomic<int> manifestRequests{0};
    std::string userAgent;
    // Runs as the signature is asked for: after the archive is saved, before it is opened.
    std::function<void()> onSignature;
    // Declared after what their handlers read, so that they stop before it goes.
    test::LocalHttpServer host{certificate.certificate, certificate.key};
    test::LocalHttpServer plain;
    test::MemoryUserDefaults defaults;
    std::shared_ptr<CommandRunner> runner = std::make_shared<test::RecordingCommandRunner>();
    int terminations = 0;

    Scene() {
        test::writeFile(installed / "bin/quillfen", "#!/bin/sh\n");
        test::writeFile(installed / "build-info.json", buildInfo(43, "1.3.0"));
        fs::create_directory(installation.prefix / "bin");
        fs::create_symlink("../lib/org.quillfen.Quillfen/bin/quillfen", installation.launcher());
        fs::create_directory_symlink("bin", installed / "programs");
        host.server().Get("/downloads/ostrel-agent-mac.json", [this](const auto& request, auto& response) {
            ++manifestRequests;
            userAgent = request.get_header_value("User-Agent");
            std::this_thread::sleep_for(manifestDelay);
            response.set_content(manifest, "application/json");
        });
        host.server().Get("/builds/moved.tar", [this](const auto&, auto& response) {
            response.set_redirect(plain.baseURL() + kArchive);
        });
        for (auto* server : {&host.server(), &plain.server()}) {
            for (std::string path : {std::string("/builds/moved.tar.sig"), kArchive + std::string(".sig"),
                                     std::string(kArchive)}) {
                server->Get(path, [this, path](const auto&, auto& response) {
                    if (path != kArchive && onSignature) onSignature();
                    response.set_content(path == kArchive ? archive : signature, "application/octet-stream");
                });
            }
        }
        host.start();
        plain.start();
    }

    void offer(int build, const std::string& url, const std::string& archiveBytes) {
        manifest = UpdateManifest{build, "1.4.0", "f00d", url, "2026-01-05T09:00:00Z"}.encode();
        archive = archiveBytes;
        signature = key.sign(archive);
    }

    SelfUpdater::Setup setup(fs::path executable = {}) const {
        SelfUpdater::Setup s;
        s.executable = executable.empty() ? installed / "bin/quillfen" : executable;
        s.installation = installation;
        s.workFolder = home.path() / ".cache/org.quillfen.Quillfen/updates";
        s.manifestURL = host.baseURL() + "/downloads/ostrel-agent-mac.json";
        s.requiredHost = "127.0.0.1";
        s.signingKey = key.publicKey();
        s.trustedCertificatesFile = certificate.certificate;
        if (manifestTimeoutSeconds) s.manifestTimeoutSeconds = *manifestTimeoutSeconds;
        s.maxArchiveBytes = 64 * 1024;
        s.relaunchDelaySeconds = 0;
        return s;
    }

    SelfUpdater updater(SelfUpdater::Setup s) {
        return SelfUpdater(std::move(s), defaults, std::make_shared<CurlHttpFetcher>(), runner,
                           [this] { ++terminations; }, clock);
    }
    // One that the test quits (destroys) when it likes, its checks scheduled soon.
    std::unique_ptr<SelfUpdater> scheduled(std::shared_ptr<HttpFetcher> http = std::make_shared<CurlHttpFetcher>()) {
        auto s = setup();
        s.firstCheckSeconds = 0.01;
        auto updater = std::make_unique<SelfUpdater>(s, defaults, std::move(http), runner, [] {}, clock);
        updater->start();
        return updater;
    }

    std::vector<std::string> journal() const {
        std::vector<std::string> details;
        for (const auto& entry : DecisionLog::today(clock.now())) {
            if (entry.kind == "update") details.push_back(entry.detail);
        }
        return details;
    }
};

TEST(SelfUpdater, AGoodUpdateTakesTheInstalledPlaceAndRelaunchesTheNewCopyByTheLauncher) {
    Scene scene;
    scene.runner = std::shared_ptr<CommandRunner>(makeCommandRunner());
    const auto old = snapshot(scene.installed);
    scene.offer(44, scene.host.baseURL() + kArchive, newBuild(44).bytes());

    scene.updater(scene.setup()).checkOnce();

    EXPECT_EQ(scene.journal(), std::vector<std::string>{"updated myself to 1.4.0 (f00d) from 1.3.0"});
    EXPECT_EQ(scene.userAgent, "stone/1.3.0");
    EXPECT_EQ(test::readFile(scene.installed / "build-info.json"), buildInfo(44, "1.4.0"));
    EXPECT_EQ(snapshot(scene.setup().workFolder / "previous"), old);
    EXPECT_EQ(scene.terminations, 1);
    // The new copy ran by the launcher's path, the one the keep-alive wrapper looks for, passed
    // as an argument: no shell ever read the path.
    const auto launcher = scene.installation.launcher().string();
    ASSERT_TRUE(test::waitUntil([&] { return fs::exists(launcher + ".ran"); }));
    EXPECT_EQ(test::readFile(launcher + ".ran"), launcher);
    EXPECT_FALSE(fs::exists("pwned"));
}

// The new copy is started by its name a moment later: where someone else could put a program of
// theirs there, it is not started, and this copy runs on with the new build in place.
TEST(SelfUpdater, TheNewCopyIsNotStartedByAPathOthersCouldChangeAndThisCopyRunsOn) {
    const std::pair<const char*, std::function<fs::path(Scene&)>> cases[] = {
        {"the launcher's folder", [](Scene& s) { return s.installation.prefix / "bin"; }},
        {"a folder above the prefix", [](Scene& s) { return s.apps.path(); }},
        {"the builds' folder, the launcher gone",
         [](Scene& s) { return fs::remove(s.installation.launcher()), s.installation.prefix / "lib"; }},
    };
    for (const auto& [label, openedIn] : cases) {
        SCOPED_TRACE(label);
        Scene scene;
        scene.offer(44, scene.host.baseURL() + kArchive, newBuild(44).bytes());
        const auto opened = openedIn(scene);
        fs::permissions(opened, fs::perms::all);
        test::CapturedSystemLog log;
        scene.updater(scene.setup()).checkOnce();
        const std::string why = "relaunch refused: others may change " + opened.string();
        // The journal keeps the reason's first characters, however long the path; the system log has
        // it whole.
        const auto journal = scene.journal();
        ASSERT_EQ(journal.size(), 2u);
        EXPECT_EQ(journal.front(), "updated myself to 1.4.0 (f00d) from 1.3.0");
        EXPECT_TRUE(journal.back().starts_with("relaunch refused: others may change ") && why.starts_with(journal.back()))
            << journal.back();
        EXPECT_EQ(log.lines, std::vector<std::string>{"updater: " + why});
        EXPECT_TRUE(static_cast<test::RecordingCommandRunner&>(*scene.runner).calls.empty());
        EXPECT_EQ(scene.terminations, 0);
    }
}

struct BadUpdate {
    const char* label;
    std::function<void(Scene&)> serve;
    std::string record;
};

void expectRefusedWithoutATrace(const std::vector<BadUpdate>& cases) {
    for (const auto& c : cases) {
        Scene scene;
        const auto before = snapshot(scene.installed);
        c.serve(scene);
        scene.updater(scene.setup()).checkOnce();
        EXPECT_EQ(snapshot(scene.installed), before) << c.label;
        EXPECT_EQ(scene.journal(), std::vector<std::string>{c.record}) << c.label;
        EXPECT_TRUE(static_cast<test::RecordingCommandRunner&>(*scene.runner).calls.empty()) << c.label;
        EXPECT_EQ(scene.terminations, 0) << c.label;
    }
}

TEST(SelfUpdater, NoBadArchiveChangesAByteOfTheInstalledBuild) {
    auto serving = [](TarBuilder build, std::function<void(Scene&)> then = {}) {
        return [build, then](Scene& s) {
            s.offer(44, s.host.baseURL() + kArchive, build.bytes());
            if (then) then(s);
        };
    };
    expectRefusedWithoutATrace({
        {"signed by another key", serving(newBuild(44), [](Scene& s) { s.signature = test::SigningKey().sign(s.archive); }),
         "update check failed: archive signature does not verify"},
        {"another build inside", serving(newBuild(43)), "update check failed: staged build 43 != manifest build 44"},
        // The name is shown up to 80 characters, the whole record cut at 120.
        {"an entry climbing out", serving(newBuild(44).file("../" + std::string(200, 'x'), "x")),
         "update check failed: archive entry refused: ../" + std::string(77, 'x') + " (climbs out with"},
        {"a link out", serving(newBuild(44).link("org.quillfen.Quillfen/escape", "../../..")),
         "update check failed: archive entry refused: org.quillfen.Quillfen/escape (link leaves the folder)"},
        {"a link to the builds' folder", serving(newBuild(44).link("org.quillfen.Quillfen/up", "..")),
         "update check failed: archive entry refused: org.quillfen.Quillfen/up (link leaves the folder)"},
        {"no build folder", serving(TarBuilder().file("README", "x")),
         "update check failed: no build folder in downloaded archive"},
        {"an archive over the size cap", serving(newBuild(44).file("big", std::string(100 * 1024, 'b'))),
         "update check failed: archive: answer larger than allowed"},
    });
}

TEST(SelfUpdater, NoAnswerOffThePolicyChangesAByteOfTheInstalledBuild) {
    auto offering = [](std::function<std::string(Scene&)> url, std::chrono::milliseconds delay = 0ms) {
        return [url, delay](Scene& s) {
            s.offer(44, url(s), newBuild(44).bytes());
            s.manifestDelay = delay;
            if (delay > 0ms) s.manifestTimeoutSeconds = 0.2;
        };
    };
    expectRefusedWithoutATrace({
        {"a manifest that comes too late", offering([](Scene& s) { return s.host.baseURL() + kArchive; }, 400ms),
         "update check failed: manifest: timed out"},
        {"an error page instead of a manifest", [](Scene& s) { s.manifest = "<html>404 Not Found</html>"; },
         "update check failed: manifest is not JSON"},
        {"a redirect to plain http", offering([](Scene& s) { return s.host.baseURL() + "/builds/moved.tar"; }),
         std::string("update check failed: archive: ") + curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL)},
        {"an archive over http", offering([](Scene& s) { return s.plain.baseURL() + kArchive; }),
         "update refused: manifest URL off-policy"},
        {"an archive on another host",
         offering([](Scene& s) { return "https://localhost:" + std::to_string(s.host.port()) + kArchive; }),
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
             fs::copy(s.installed, s.home.path() / "Downloads", fs::copy_options::recursive);
             return s.home.path() / "Downloads/bin/quillfen";
         },
         0, false},
        {"no build number", [](Scene& s) { return fs::remove(s.installed / "build-info.json"), fs::path(); }, 0, false},
        {"self-update off", [](Scene& s) { return s.defaults.setBoolean("selfUpdateEnabled", false), fs::path(); }, 0,
         true},
        {"the same build offered", [](Scene&) { return fs::path(); }, 1, true},
    };
    for (const auto& c : cases) {
        Scene scene;
        scene.offer(43, scene.host.baseURL() + kArchive, newBuild(43).bytes());
        auto updater = scene.updater(scene.setup(c.arrange(scene)));
        updater.checkOnce();
        updater.start();
        EXPECT_EQ(updater.scheduled(), c.scheduled) << c.label;
        EXPECT_EQ(scene.manifestRequests, c.manifestRequests) << c.label;
        EXPECT_TRUE(scene.journal().empty()) << c.label;
    }
}

TEST(SelfUpdater, TheScheduledCheckRunsOnAWorkerAndReportsInTheJournal) {
    Scene scene;
    scene.manifest = "{}";
    auto setup = scene.setup();
    setup.firstCheckSeconds = 0.01;
    auto updater = scene.updater(setup);
    updater.start();
    ASSERT_TRUE(test::spinUntil([&] { return !scene.journal().empty(); }));
    EXPECT_EQ(scene.journal(), std::vector<std::string>{"update check failed: manifest unreadable: missing build"});
}

// The cache folder's name sits where another user may rename names (a folder on the way that
// others may write, or a home where they made ~/.cache first); again and again they turn it into
// their own link, now to a folder of theirs holding a build of their own where ours is unpacked,
// now to a third user's team folder holding updates of its own. Each install finds its work
// folder once and keeps to it, as it clears it too: none ever installs their build, nor moves or
// deletes a thing of theirs or the team's.
TEST(SelfUpdater, ACacheFolderTurnedToAnotherUsersLinkWhileUpdatesInstallNeverInstallsTheirsNorDeletesATeams) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give links and folders to other users";
    Scene scene;
    scene.offer(44, scene.host.baseURL() + kArchive, newBuild(44).bytes());
    const auto setup = scene.setup();
    const auto cache = setup.workFolder.parent_path();
    test::TempDir dir;
    const auto ours = dir.path() / "ours", theirs = dir.path() / "theirs", team = dir.path() / "team";
    fs::create_directories(ours);
    const std::string theirProgram = "#!/bin/sh\n# theirs\n";
    test::writeFile(theirs / "updates/staged/org.quillfen.Quillfen/bin/quillfen", theirProgram);
    test::writeFile(theirs / "updates/staged/org.quillfen.Quillfen/build-info.json", buildInfo(44, "6.6.6"));
    for (const char* name : {"update.tar", "staged/keep", "previous/keep"})
        test::writeFile(team / "updates" / name, "the team's");
    for (const auto& [top, owner] : {std::pair{theirs, test::kAnotherUser}, {team, test::kThirdUser}}) {
        ASSERT_EQ(::chown(top.c_str(), owner, owner), 0);
        for (const auto& entry : fs::recursive_directory_iterator(top)) {
            ASSERT_EQ(::lchown(entry.path().c_str(), owner, owner), 0);
            if (entry.is_directory()) fs::permissions(entry.path(), fs::perms::all);
        }
    }
    const auto theirsBefore = snapshot(theirs), teamBefore = snapshot(team);
    fs::permissions(cache.parent_path(), fs::perms::all);
    fs::create_directory_symlink(ours, cache);
    std::atomic<bool> stop = false;
    std::thread turner([&] {
        const auto next = cache.parent_path() / "next";
        for (int turn = 0; !stop; ++turn) {
            const auto& to = turn % 2 == 0 ? ours : turn % 4 == 1 ? theirs : team;
            ::symlink(to.c_str(), next.c_str());
            if (to != ours) ::lchown(next.c_str(), test::kAnotherUser, test::kAnotherUser);
            ::rename(next.c_str(), cache.c_str());
        }
    });
    for (int round = 0; round < 20; ++round) {
        // The installed build is older again, so every round installs and the next one clears.
        test::writeFile(scene.installed / "build-info.json", buildInfo(43, "1.3.0"));
        scene.updater(setup).checkOnce();
        if (test::readFile(scene.installed / "bin/quillfen") == theirProgram) break;
    }
    stop = true;
    turner.join();
    EXPECT_NE(test::readFile(scene.installed / "bin/quillfen"), theirProgram);
    EXPECT_EQ(snapshot(theirs), theirsBefore);
    EXPECT_EQ(snapshot(team), teamBefore);
}

// A pipe put at the archive's name once it is saved (here as the signature is fetched, just
// before the archive is opened) is no archive: the check gives up on it at once, in the journal,
// and the quit does not wait for it. A writer comes at the patience all the same, so that a check
// that waits for one ends.
TEST(SelfUpdater, APipeAtTheArchivesNameEndsTheCheckAtOnceAndNeverHoldsUpTheQuit) {
    Scene scene;
    scene.offer(44, scene.host.baseURL() + kArchive, newBuild(44).bytes());
    const auto archive = scene.setup().workFolder / "update.tar";
    scene.onSignature = [archive] {
        const auto pipe = archive.parent_path() / "pipe";
        ::mkfifo(pipe.c_str(), 0600);
        ::rename(pipe.c_str(), archive.c_str());
    };
    test::Hold quit;
    std::thread writer([&] {
        if (quit.wait()) return;
        const int fd = ::open(archive.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
    });
    auto updater = scene.scheduled();
    test::spinUntil([&] { return !scene.journal().empty(); });
    updater.reset();
    quit.letGo();
    writer.join();
    EXPECT_FALSE(quit.gaveUp()) << "the check waited for a writer";
    EXPECT_EQ(scene.journal(), std::vector<std::string>{"update check failed: archive unreadable"});
}

// A fetch that will not stop when asked: the quit gives the check up rather than wait for it.
TEST(SelfUpdater, TheQuitGivesUpACheckThatWillNotStop) {
    struct StubbornNetwork final : HttpFetcher {
        test::Hold answer;
        std::atomic<bool> asked = false;
        HttpResult get(const HttpRequest&, std::stop_token) override {
            asked = true;
            answer.wait();
            return HttpFailure{HttpFailure::Kind::transport, "no answer"};
        }
    };
    Scene scene;
    auto network = std::make_shared<StubbornNetwork>();
    auto updater = scene.scheduled(network);
    ASSERT_TRUE(test::spinUntil([&] { return network->asked.load(); }));
    updater.reset();
    network->answer.letGo();
    EXPECT_FALSE(network->answer.gaveUp()) << "the quit waited for the check";
}

// Short of threads, a scheduled check is skipped, once in the log, and the next timer checks.
TEST(SelfUpdater, ACheckWithoutAThreadWaitsForTheNextTimer) {
    if (!test::canRunShortOfThreads()) GTEST_SKIP() << "no process limit binds this user";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Scene scene;
    scene.manifest = "{}";
    auto setup = scene.setup();
    setup.firstCheckSeconds = 0.01;
    setup.checkIntervalSeconds = 0.05;
    const auto shortOfThreads = [&] {
        const auto liftLimit =
            test::runShortOfThreads({scene.home.path(), scene.apps.path(), scene.certificate.dir.path()});
        test::CapturedSystemLog log;
        auto updater = scene.updater(setup);
        updater.start();
        // The first turn refused, then a few more turns of the timer that log nothing more.
        test::spinUntil([&] { return !log.lines.empty(); });
        test::spinFor(std::chrono::milliseconds(200));
        std::string seen =
            std::to_string(scene.journal().size()) + " entries; " + std::to_string(log.lines.size()) + " log lines";
        liftLimit();
        test::spinUntil([&] { return !scene.journal().empty(); });
        for (const auto& detail : scene.journal()) seen += "; " + detail;
        test::exitSeeing(seen, "0 entries; 1 log lines; update check failed: manifest unreadable: missing build");
    };
    EXPECT_EXIT(shortOfThreads(), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quillfen
