#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Log/FileLogStore.h"
#include "Log/SignalLog.h"
#include "Promise/PromiseStore.h"
#include "support/BenchCorpora.h"
#include "support/DesktopSession.h"
#include "support/PlantedProgram.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

#ifdef __SANITIZE_ADDRESS__
// Under the sanitizer a start costs many times its own time and memory: a home at its caps, and
// the peak of memory, are for the ordinary build.
constexpr bool kOrdinaryBuild = false;
#else
constexpr bool kOrdinaryBuild = true;
#endif

// The places of the application's files in a home.
struct Places {
    fs::path home, data, family, settings, lock;
    explicit Places(const test::TestHome& home)
        : home(home.path()),
          data(home.dataDirectory()),
          family(home.familyDirectory()),
          settings(home.path() / ".config/org.quillfen.Quillfen/Quillfen.conf"),
          lock(home.path() / ".cache/org.quillfen.Quillfen/singleton.lock") {}
};

// A link that someone else placed: it belongs to them.
fs::path theirLinkTo(const fs::path& target, const fs::path& at) {
    fs::create_directories(at.parent_path());
    fs::create_symlink(target, at);
    test::giveToAnotherUser(at);
    return at;
}

fs::path pipeAt(const fs::path& at) {
    fs::create_directories(at.parent_path());
    EXPECT_EQ(::mkfifo(at.c_str(), 0600), 0) << at;
    return at;
}

// Sparse: as large as it claims without costing the disk.
fs::path hugeFileAt(const fs::path& at, std::uintmax_t bytes) {
    test::writeFile(at, "[");
    fs::resize_file(at, bytes);
    return at;
}

// What a neighbour prepared in the home, with the targets of its links in `outside`, a folder
// that is none of the application's. Gives the files whose refusal the system log must show.
using Arrangement = std::function<std::vector<fs::path>(const Places&, const fs::path& outside)>;

// Every file of ours another user's link: to a file of someone else's, or to nothing yet; and one
// of the user's own links, to a file of another user.
std::vector<fs::path> links(const Places& at, const fs::path& outside) {
    test::writeFile(outside / "samples", "[]");
    test::writeFile(outside / "stone", "{}");
    test::writeFile(outside / "journal", "{\"kind\":\"someone else's\"}\n");
    // A boundary this version does not know would be written back in its place.
    test::writeFile(outside / "settings", "[General]\ninterruptBoundary=sometimes\n");
    std::vector<fs::path> refused{theirLinkTo(outside / "samples", at.data / "signal-log.json"),
                                  theirLinkTo(outside / "stone", at.data / "stone-identity.json"),
                                  theirLinkTo(outside / "journal", at.family / "decisions-log.jsonl"),
                                  theirLinkTo(outside / "settings", at.settings),
                                  theirLinkTo(outside / "nothing-yet-actions", at.family / "actions-log.jsonl"),
                                  theirLinkTo(outside / "nothing-yet-lock", at.lock)};
    for (const char* name : {"heartbeat.json", "nudge-budget.json", "promise.json", "ask-history.json"})
        refused.push_back(theirLinkTo(outside / (std::string("nothing-yet-") + name), at.data / name));
    test::writeFile(outside / "outcomes", R"({"history":[],"pending":[]})");
    test::giveToAnotherUser(outside / "outcomes");
    fs::create_symlink(outside / "outcomes", at.data / "nudge-outcomes.json");
    refused.push_back(at.data / "nudge-outcomes.json");
    // Nothing at the start reads the feedback log: it is left as it is, and not logged.
    theirLinkTo(outside / "nothing-yet-feedback", at.family / "face-feedback.json");
    return refused;
}

// Pipes, a folder and files past their caps where the files of ours should be.
std::vector<fs::path> pipesAndHugeFiles(const Places& at, const fs::path&) {
    const fs::path folder = at.data / "ask-history.json";
    fs::create_directories(folder);
    std::vector<fs::path> refused{folder,
                                  pipeAt(at.settings),
                                  pipeAt(at.lock),
                                  pipeAt(at.family / "decisions-log.jsonl"),
                                  pipeAt(at.family / "actions-log.jsonl"),
                                  hugeFileAt(at.data / "signal-log.json", 17 << 20),
                                  hugeFileAt(at.data / "promise.json", 2 << 20),
                                  hugeFileAt(at.data / "nudge-outcomes.json", 2 << 20)};
    for (const char* name : {"heartbeat.json", "nudge-budget.json", "stone-identity.json"})
        refused.push_back(pipeAt(at.data / name));
    hugeFileAt(at.family / "face-feedback.json", 7 << 20);  // not read at the start
    return refused;
}

// Every file of ours at its cap; each small store the costliest document its decoder can be
// handed, which it then refuses.
std::vector<fs::path> everyStoreAtItsCap(const Places& at, const fs::path&) {
    test::BenchCorpora::writeStoresAtTheirCaps(at.home, std::chrono::system_clock::now());
    return {at.data / "heartbeat.json", at.data / "nudge-budget.json", at.data / "promise.json",
            at.data / "ask-history.json", at.data / "nudge-outcomes.json", at.data / "stone-identity.json"};
}

// Every file below `folder`, links as links, with what each holds or points to.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const auto name = fs::relative(entry.path(), folder).string();
        if (entry.is_symlink()) {
            files[name] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            files[name] = test::readFile(entry.path());
        } else {
            files[name] = "(not a file)";
        }
    }
    return files;
}

// The system log's lines (copied to standard error for the test) that name the file.
std::size_t linesNaming(const std::string& log, const fs::path& file) {
    std::istringstream lines(log);
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("org.quillfen.Quillfen[", 0) == 0 && line.find(file.string() + ":") != std::string::npos)
            ++count;
    }
    return count;
}

TEST(HostileHome, AStartOverLinksPipesAndHugeFilesChangesNothingOutsideRunsNothingPlantedAndLogsEachRefusal) {
    const struct {
        const char* name;
        Arrangement arrange;
        bool ordinaryBuildOnly;
        bool needsAnotherUser;
    } homes[] = {
        {"links", links, false, true},
        {"pipes, a folder and huge files", pipesAndHugeFiles, false, false},
        {"every store at its cap", everyStoreAtItsCap, true, false},
    };
    for (const auto& home : homes) {
        if (home.ordinaryBuildOnly && !kOrdinaryBuild) continue;
        if (home.needsAnotherUser && ::geteuid() != 0) {
            std::printf("[  SKIPPED ] the home of links: only root can give a link to another user\n");
            continue;
        }
        SCOPED_TRACE(home.name);
        test::TestHome testHome;
        const Places at(testHome);
        test::TempDir outside;
        test::TempDir workingFolder;
        const auto refused = home.arrange(at, outside.path());
        // A Claude Code session of the last hour: the body reading then publishes, which reads
        // the journals and the hook's and companion's files on top of the start's own.
        const auto now = std::chrono::system_clock::now();
        test::BenchCorpora::writeClaudeLogs(testHome.path() / ".claude/projects", now, 1, 20'000);
        const auto before = snapshot(outside.path());
        const test::PlantedProgram claude(workingFolder.path(), "claude");

        auto env = test::DesktopSession::current().childEnvironment();
        env["QUILLFEN_SYSTEM_LOG_STDERR"] = "1";
        // An empty entry: a shell would look in the working folder first.
        const char* path = std::getenv("PATH");
        env["PATH"] = std::string(":") + (path ? path : "/usr/bin:/bin");
        std::optional<test::ChildProcess> app;
        {
            test::ScopedWorkingDirectory in(workingFolder.path());
            app.emplace(std::vector<std::string>{QUILLFEN_BINARY}, env, STDERR_FILENO);
        }
        std::string log;
        const auto allRefusalsLogged = [&] {
            log += app->readRest(std::chrono::milliseconds(20));
            return std::all_of(refused.begin(), refused.end(),
                               [&](const fs::path& file) { return linesNaming(log, file) > 0; });
        };
        ASSERT_TRUE(test::waitUntil([] { return test::applicationAnswers(QDBusConnection::sessionBus()); }))
            << log;
        EXPECT_TRUE(test::waitUntil(allRefusalsLogged));
        const auto peakKb = app->peakResidentKb();

        ::kill(app->pid(), SIGTERM);
        EXPECT_TRUE(test::waitUntil(
            [&] {
                log += app->readRest(std::chrono::milliseconds(20));
                return !app->running();
            }));
        const auto status = app->waitForExit(std::chrono::milliseconds(0));
        EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
        log += app->readRest(std::chrono::milliseconds(200));

        EXPECT_EQ(snapshot(outside.path()), before);
        EXPECT_FALSE(claude.ran());
        // It ran on, in files of its own.
        for (const char* name : {"signal-log.json", "heartbeat.json"})
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at.data / name))) << name;
        for (const auto& file : refused)
            EXPECT_EQ(linesNaming(log, file), 1u) << file << "\n" << log;
        if (kOrdinaryBuild) {
            EXPECT_TRUE(peakKb && *peakKb < 200 * 1024) << peakKb.value_or(-1) << " kB at the peak";
        }
    }
}

// Whether a window of the application as large as the onboarding's sheet is on the screen.
bool onboardingShows(const std::string& display) {
    test::ChildProcess search({"sh", "-c",
                               "for w in $(xdotool search --onlyvisible --classname quillfen); do "
                               "xdotool getwindowgeometry $w; done >&3"},
                              {{"DISPLAY", display}}, 3);
    return search.readRest().find("Geometry: 500x720") != std::string::npos;
}

// A home kept in a dotfiles folder, as GNU Stow links it in: the data, family and settings
// folders are the user's links into it, and so is the promise inside the linked data folder.
TEST(LinkedHome, ADotfilesHomeKeepsItsHistorySettingsAndLinksAndLogsNoRefusal) {
    test::TestHome testHome;
    const Places at(testHome);
    const auto dotfiles = at.home / "dotfiles";
    const auto data = dotfiles / "data", family = dotfiles / "ostrel", settings = dotfiles / "config";
    const auto now = std::chrono::system_clock::now();
    {
        fs::create_directories(data);
        SignalLog seeded(std::make_shared<FileLogStore>(data / "signal-log.json", FileLogStore::kSignalLogBytes), 14,
                         [now] { return now; });
        for (int minutes = 30; minutes > 0; minutes -= 10) {
            SignalSample sample;
            sample.timestamp = now - std::chrono::minutes(minutes);
            sample.localHour = 10;
            seeded.append(sample);
        }
        fs::create_directories(dotfiles / "promise");
        PromiseStore store(std::make_shared<FileLogStore>(dotfiles / "promise/promise.json"));
        Promise promise;
        promise.dayPhrase = "a long morning";
        promise.moves.push_back({Uuid::random(), MoveLabel::stepOutside, "step outside for five"});
        ASSERT_TRUE(store.save(promise));
    }
    test::writeFile(family / "decisions-log.jsonl", "");
    const std::string chosen = "[General]\ncalendarBreaksEnabled=true\ninterruptBoundary=unmistakable\n";
    test::writeFile(settings / "Quillfen.conf", chosen);
    const std::vector<std::pair<fs::path, fs::path>> links{
        {at.data, data}, {at.family, family}, {at.settings.parent_path(), settings},
        {data / "promise.json", dotfiles / "promise/promise.json"}};
    for (const auto& [link, target] : links) {
        fs::create_directories(link.parent_path());
        fs::create_symlink(target, link);
    }
    const auto promise = test::readFile(dotfiles / "promise/promise.json");
    test::TempDir temporary;

    auto env = test::DesktopSession::current().childEnvironment();
    env["QUILLFEN_SYSTEM_LOG_STDERR"] = "1";
    env["TMPDIR"] = temporary.path().string();
    test::ChildProcess app({QUILLFEN_BINARY, "tavryn-stone://keep?material=flint&seed=73ce"}, env, STDERR_FILENO);
    std::string log;
    const auto journal = [&] {
        log += app.readRest(std::chrono::milliseconds(20));
        return test::readFile(family / "decisions-log.jsonl");
    };
    ASSERT_TRUE(test::waitUntil([] { return test::applicationAnswers(QDBusConnection::sessionBus()); }))
        << log;
    EXPECT_TRUE(test::waitUntil(
        [&] { return journal().find("kept flint-73ce from the web handoff") != std::string::npos; }))
        << journal();
    test::ChildProcess second({QUILLFEN_BINARY, "tavryn-stone://keep?material=quartz&seed=a119"}, env);
    const auto secondEnded = second.waitForExit(test::kPatience);
    EXPECT_TRUE(secondEnded && WIFEXITED(*secondEnded) && WEXITSTATUS(*secondEnded) == 0);
    EXPECT_NE(journal().find("kept quartz-a119 from the web handoff (was flint-73ce)"), std::string::npos) << journal();
    const auto samples = [&] {
        return nlohmann::json::parse(test::readFile(data / "signal-log.json"), nullptr, false).size();
    };
    EXPECT_TRUE(test::waitUntil([&] { return samples() > 3; })) << "a tick added its sample";
    EXPECT_FALSE(onboardingShows(test::DesktopSession::current().display())) << "the promise was found";

    ::kill(app.pid(), SIGTERM);
    const auto status = app.waitForExit(test::kPatience);
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    log += app.readRest(std::chrono::milliseconds(200));

    for (const auto& [link, target] : links)
        EXPECT_EQ(fs::read_symlink(link), target) << link;
    EXPECT_EQ(test::readFile(dotfiles / "promise/promise.json"), promise);
    EXPECT_NE(test::readFile(data / "stone-identity.json").find("quartz-a119"), std::string::npos);
    const auto kept = test::readFile(settings / "Quillfen.conf");
    for (const char* line : {"calendarBreaksEnabled=true", "interruptBoundary=unmistakable"})
        EXPECT_NE(kept.find(line), std::string::npos) << kept;
    EXPECT_TRUE(fs::is_empty(temporary.path())) << "nothing under the temporary directory";
    EXPECT_EQ(log.find("refused "), std::string::npos) << log;
    EXPECT_EQ(log.find("the records "), std::string::npos) << log;
}

}  // namespace
}  // namespace quillfen
