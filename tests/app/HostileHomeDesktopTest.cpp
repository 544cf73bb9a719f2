#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QDBusConnection>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/BenchCorpora.h"
#include "support/DesktopSession.h"
#include "support/PlantedProgram.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

static auto* const desktop = test::addDesktopSession();

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

fs::path linkTo(const fs::path& target, const fs::path& at) {
    fs::create_directories(at.parent_path());
    fs::create_symlink(target, at);
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

// Every file of ours a link: to a file of someone else's, or to nothing yet.
std::vector<fs::path> links(const Places& at, const fs::path& outside) {
    test::writeFile(outside / "samples", "[]");
    test::writeFile(outside / "stone", "{}");
    test::writeFile(outside / "journal", "{\"kind\":\"someone else's\"}\n");
    // A boundary this version does not know would be written back in its place.
    test::writeFile(outside / "settings", "[General]\ninterruptBoundary=sometimes\n");
    std::vector<fs::path> refused{linkTo(outside / "samples", at.data / "signal-log.json"),
                                  linkTo(outside / "stone", at.data / "stone-identity.json"),
                                  linkTo(outside / "journal", at.family / "decisions-log.jsonl"),
                                  linkTo(outside / "settings", at.settings),
                                  linkTo(outside / "nothing-yet-actions", at.family / "actions-log.jsonl"),
                                  linkTo(outside / "nothing-yet-lock", at.lock)};
    for (const char* name : {"heartbeat.json", "nudge-budget.json", "promise.json", "ask-history.json",
                             "nudge-outcomes.json"})
        refused.push_back(linkTo(outside / (std::string("nothing-yet-") + name), at.data / name));
    // Nothing at the start reads the feedback log: it is left as it is, and not logged.
    linkTo(outside / "nothing-yet-feedback", at.family / "face-feedback.json");
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
    } homes[] = {
        {"links", links, false},
        {"pipes, a folder and huge files", pipesAndHugeFiles, false},
        {"every store at its cap", everyStoreAtItsCap, true},
    };
    for (const auto& home : homes) {
        if (home.ordinaryBuildOnly && !kOrdinaryBuild) continue;
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
        ASSERT_TRUE(test::waitUntil([] { return test::applicationAnswers(QDBusConnection::sessionBus()); },
                                    std::chrono::seconds(10)))
            << log;
        EXPECT_TRUE(test::waitUntil(allRefusalsLogged, std::chrono::seconds(3)));
        const auto peakKb = app->peakResidentKb();

        ::kill(app->pid(), SIGTERM);
        EXPECT_TRUE(test::waitUntil(
            [&] {
                log += app->readRest(std::chrono::milliseconds(20));
                return !app->running();
            },
            std::chrono::seconds(2)));
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

}  // namespace
}  // namespace quillfen
