#include "Log/FileLogStore.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Log/DecisionLog.h"
#include "Log/HeartbeatLiveness.h"
#include "Log/SignalLog.h"
#include "support/CapturedSystemLog.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

std::vector<std::string> namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs `body` in a child with mounts of its own (as root only), so that whatever it mounts is gone
// with it; gives its exit code, or -1 when there can be no such child.
int withMountsOfItsOwn(const std::function<int()>& body) {
    if (::geteuid() != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(255);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

TEST(FileLogStore, ReplacesTheFileWholeForItsOwnerOnly) {
    test::TempDir dir;
    auto file = dir.path() / "store.json";
    test::writeFile(file, "old content that is longer");
    chmod(file.c_str(), 0644);
    FileLogStore store(file);

    EXPECT_FALSE(store.write("[1]"));
    EXPECT_EQ(store.read(), "[1]");
    EXPECT_EQ(test::modeOf(file), 0600u);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"store.json"});

    EXPECT_FALSE(store.write(""));
    EXPECT_EQ(store.read(), "");
}

TEST(FileLogStore, ReadsOnlyARegularFileOfItsOwnUpToItsCapAndKeepsALargerOneAside) {
    test::TempDir dir;
    test::CapturedSystemLog log;
    ASSERT_EQ(::mkfifo((dir.path() / "pipe.json").c_str(), 0600), 0);
    EXPECT_EQ(FileLogStore(dir.path() / "pipe.json").read(), std::nullopt) << "and does not wait on it";

    auto file = dir.path() / "store.json";
    const std::string large = "[" + std::string(100, ' ') + "]";
    test::writeFile(file, large);
    EXPECT_EQ(FileLogStore(file, 102).read(), large);
    FileLogStore store(file, 101, test::FixedClock(test::at("2026-01-05T14:03:00Z")));
    EXPECT_EQ(store.read(), std::nullopt);
    EXPECT_FALSE(store.write("[]"));
    EXPECT_EQ(test::readFile(dir.path() / "store.json.corrupt-20260105T140300Z"), large);
    EXPECT_EQ(store.read(), "[]");
    // A store that writes before it ever reads does the same.
    test::writeFile(file, large);
    EXPECT_FALSE(FileLogStore(file, 101).write("[]"));
    EXPECT_EQ(test::contentsKeptAside(file), (std::vector<std::string>{large, large}));
    const auto naming = [&](const std::string& line) {
        return line.find("refused " + file.string()) != std::string::npos;
    };
    EXPECT_EQ(std::count_if(log.lines.begin(), log.lines.end(), naming), 1) << "one line a file and run";
}

TEST(FileLogStore, AFailedWriteReportsItsErrorAndLeavesNoTrace) {
    test::TempDir dir;
    test::writeFile(dir.path() / "plain-file", "");
    FileLogStore blocked(dir.path() / "plain-file" / "store.json");
    EXPECT_TRUE(blocked.write("[]"));
    EXPECT_FALSE(blocked.read());

    // The target is a folder: the temporary file is written and must be cleaned up.
    std::filesystem::create_directories(dir.path() / "taken.json" / "inside");
    FileLogStore taken(dir.path() / "taken.json");
    EXPECT_TRUE(taken.write("[]"));
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"plain-file", "taken.json"}));
}

TEST(FileLogStore, KeepsEveryUndecodableFileAsideUnderANameOfItsOwnUpToTheNewestThree) {
    test::TempDir dir;
    test::CapturedSystemLog log;
    auto file = dir.path() / "promise.json";
    test::FixedClock clock(test::at("2026-01-05T14:03:00Z"));
    FileLogStore store(file, FileLogStore::kSmallStoreBytes, clock);
    for (const char* text : {"{one", "{two", "{three", "{four"}) {
        test::writeFile(file, text);
        store.markUndecodable();
        EXPECT_FALSE(store.write("null"));
        EXPECT_FALSE(store.write("null")) << "only the first write keeps the file aside";
        clock.advance(60);
    }
    EXPECT_EQ(test::contentsKeptAside(file), (std::vector<std::string>{"{two", "{three", "{four"}));

    // Two in the same second keep each other.
    test::writeFile(file, "{five");
    store.markUndecodable();
    EXPECT_FALSE(store.write("null"));
    test::writeFile(file, "{six");
    store.markUndecodable();
    EXPECT_FALSE(store.write("null"));
    EXPECT_EQ(test::readFile(dir.path() / "promise.json.corrupt-20260105T140700Z-2"), "{six");
    EXPECT_EQ(test::contentsKeptAside(file), (std::vector<std::string>{"{four", "{five", "{six"}));
    EXPECT_EQ(
        log.lines,
        std::vector<std::string>{"files: refused " + file.string() +
                                 ": cannot be decoded; kept aside as a .corrupt-<time> copy before it is "
                                 "written again"})
        << "one line a file and run";

    // What cannot be kept is not written over: here the copy's name would be too long.
    const auto longName = dir.path() / (std::string(240, 'p') + ".json");
    test::writeFile(longName, "{seven");
    FileLogStore unkept(longName);
    unkept.markUndecodable();
    EXPECT_TRUE(unkept.write("null"));
    EXPECT_EQ(test::readFile(longName), "{seven");
}

TEST(FileLogStore, TheDataFolderIsUsedWhenOursThenAFallbackOfOursAloneElseMemoryAndTheLogSaysWhere) {
    test::TestHome home;
    test::TempDir temp;
    test::ScopedEnv tmp("TMPDIR", temp.path().string());
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    test::CapturedSystemLog log;
    EXPECT_EQ(FileLogStore::logDirectory(), home.dataDirectory());
    EXPECT_EQ(test::modeOf(home.dataDirectory()), 0700u);

    test::writeFile(home.path() / "not-a-folder", "");
    test::ScopedEnv data("XDG_DATA_HOME", (home.path() / "not-a-folder").string());
    const auto fallback = temp.path() / ("org.quillfen.Quillfen-" + std::to_string(::geteuid()));
    EXPECT_EQ(FileLogStore::logDirectory(), fallback);
    EXPECT_EQ(test::modeOf(fallback), 0700u);
    EXPECT_FALSE(FileLogStore(*FileLogStore::logDirectory() / "heartbeat.json").write("{}"));
    const auto dataFolder = (home.path() / "not-a-folder/org.quillfen.Quillfen").string();
    const auto toldOnce = [&](const std::string& line) {
        return std::count(log.lines.begin(), log.lines.end(), "files: " + line) == 1;
    };
    EXPECT_TRUE(toldOnce("the records go to " + fallback.string() + " for this run, not to " + dataFolder));

    // Someone else was first: a link to a folder of theirs, or an open folder.
    std::filesystem::remove_all(fallback);
    std::filesystem::create_directory(temp.path() / "theirs");
    ::chmod((temp.path() / "theirs").c_str(), 0777);
    std::filesystem::create_directory_symlink(temp.path() / "theirs", fallback);
    EXPECT_EQ(FileLogStore::logDirectory(), std::nullopt);
    EXPECT_EQ(test::modeOf(temp.path() / "theirs"), 0777u) << "never chmod-ed through the link";
    std::filesystem::remove(fallback);
    std::filesystem::create_directory(fallback);
    ::chmod(fallback.c_str(), 0777);
    EXPECT_EQ(FileLogStore::logDirectory(), std::nullopt);

    auto store = FileLogStore::in(std::nullopt, "heartbeat.json");
    EXPECT_FALSE(store->write("{}"));
    EXPECT_EQ(store->read(), "{}");
    EXPECT_TRUE(std::filesystem::is_empty(fallback)) << "kept in memory";
    EXPECT_TRUE(toldOnce("the records are kept in memory for this run, not in " + dataFolder));
}

// The temporary folder is everyone's: another user may hold the application's own name there, or
// the name with this user's id. The session's runtime folder is the user's alone.
TEST(FileLogStore, TheFallbackIsTheUsersOwnWhateverAnotherUserHoldsUnderTheTemporaryFolder) {
    test::TestHome home;
    test::TempDir temp;
    test::TempDir runtime;
    test::ScopedEnv tmp("TMPDIR", temp.path().string());
    test::writeFile(home.path() / "not-a-folder", "");
    test::ScopedEnv data("XDG_DATA_HOME", (home.path() / "not-a-folder").string());
    const auto shared = temp.path() / "org.quillfen.Quillfen";
    std::filesystem::create_directory(shared);
    if (!test::giveToAnotherUser(shared)) GTEST_SKIP() << "only root can give a folder to another user";
    {
        test::ScopedEnv session("XDG_RUNTIME_DIR", runtime.path().string());
        EXPECT_EQ(FileLogStore::logDirectory(), runtime.path() / "org.quillfen.Quillfen");
    }
    test::ScopedEnv session("XDG_RUNTIME_DIR", std::nullopt);
    const auto folder = FileLogStore::logDirectory();
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(folder->parent_path(), temp.path());
    struct stat info {};
    ASSERT_EQ(::lstat(folder->c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, ::geteuid());
    EXPECT_EQ(test::modeOf(*folder), 0700u);
}

// A family folder left root's by a run under sudo, and a settings folder the same: each says once
// where what it would have kept goes instead.
TEST(FileLogStore, ARefusedFamilyFolderSaysOnceThatTheJournalsGetNothingForTheRun) {
    test::TestHome home;
    test::CapturedSystemLog log;
    std::filesystem::create_directory(home.familyDirectory());
    if (!test::giveToAnotherUser(home.familyDirectory())) GTEST_SKIP() << "only root can give a folder to another user";
    EXPECT_EQ(FileLogStore::familyDirectory(), std::nullopt);
    EXPECT_EQ(FileLogStore::familyDirectory(), std::nullopt);
    const std::string line = "files: the journals get nothing for this run and the face feedback is kept in memory, "
                             "not in " + home.familyDirectory().string();
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), line), 1) << ::testing::PrintToString(log.lines);
}

// A home laid out by a dotfiles tool (GNU Stow): the data folder, or the signal log alone, is the
// user's link into it. Each run looks for its folder afresh, as a start does.
TEST(FileLogStore, TheUsersOwnLinkKeepsTheRecordsInTheirFolderAcrossARestartAndAnotherUsersIsRefused) {
    const test::FixedClock clock(test::at("2026-01-15T12:00:00Z"));
    const auto sample = [&](int minutes) {
        SignalSample s;
        s.timestamp = clock.now() + std::chrono::minutes(minutes);
        s.localHour = 12;
        return s;
    };
    for (const auto& layout : test::kDotfilesLayouts) {
        SCOPED_TRACE(layout.what);
        test::TestHome home;
        test::TempDir temp;
        test::ScopedEnv tmp("TMPDIR", temp.path().string());
        test::ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
        const auto dotfiles = home.path() / "dotfiles/quillfen";
        std::filesystem::create_directories(dotfiles);
        SignalLog(std::make_shared<FileLogStore>(dotfiles / "signal-log.json"), 14, clock).append(sample(0));
        const auto seeded = test::readFile(dotfiles / "signal-log.json");
        const auto data = home.dataDirectory();
        const auto link = test::layOut(layout, dotfiles, data / "signal-log.json");
        if (!link) continue;
        test::CapturedSystemLog log;

        for (int run = 1; run <= 2; ++run) {
            const auto folder = FileLogStore::logDirectory();
            SignalLog(FileLogStore::in(folder, "signal-log.json", FileLogStore::kSignalLogBytes), 14, clock)
                .append(sample(run));
        }
        const auto fallback = FileLogStore::fallbackDirectory();
        const auto written = layout.anotherUsers ? (layout.folderLinked ? fallback : data) / "signal-log.json"
                                            : dotfiles / "signal-log.json";
        EXPECT_EQ(nlohmann::json::parse(test::readFile(written)).size(), layout.anotherUsers ? 2u : 3u);
        if (!layout.anotherUsers) {
            EXPECT_TRUE(std::filesystem::is_symlink(*link));
            EXPECT_EQ(FileLogStore::logDirectory(), data);
            EXPECT_FALSE(std::filesystem::exists(fallback)) << "nothing under the temporary directory";
            EXPECT_TRUE(log.lines.empty()) << log.lines.front();
            continue;
        }
        EXPECT_EQ(test::readFile(dotfiles / "signal-log.json"), seeded) << "its target untouched";
        EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(),
                             "files: refused " + link->string() + ": " + layout.refusal),
                  1);
    }
}

// A store and a journal that cannot be written, however often they try, each have one line that
// says why; a place refused on the way has its refusal, and no second line.
TEST(FileLogStore, AWriteThatFailsIsSaidOnceAFileAndRun) {
    const struct {
        const char* what;
        std::function<bool(const std::filesystem::path& root)> spoil;
        const char* why;
    } cases[] = {
        {"a full file system",
         [](const auto& root) {
             std::ofstream fill(root / "fill", std::ios::binary);
             const std::string page(4096, '\0');
             while (fill.write(page.data(), static_cast<std::streamsize>(page.size())) && fill.flush()) {
             }
             return true;
         },
         "No space left on device"},
        {"a read-only file system",
         [](const auto& root) {
             return ::mount(nullptr, root.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
         },
         "Read-only file system"},
        {"each folder another user's link",
         [](const auto& root) {
             for (const char* folder : {"heartbeat", "signals", "journal"}) {
                 std::filesystem::rename(root / folder, root / (std::string(folder) + "-real"));
                 std::filesystem::create_directory_symlink(std::string(folder) + "-real", root / folder);
                 if (::lchown((root / folder).c_str(), test::kAnotherUser, test::kAnotherUser) != 0) return false;
             }
             return true;
         },
         "a link of another user"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const auto root = dir.path() / "mount";
        const auto said = dir.path() / "said";
        std::filesystem::create_directory(root);
        const std::filesystem::path files[] = {root / "heartbeat/heartbeat.json", root / "signals/signal-log.json",
                                               root / "journal/decisions-log.jsonl"};
        const int status = withMountsOfItsOwn([&] {
            if (::mount("tmpfs", root.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) return 255;
            for (const auto& file : files)
                ::mkdir(file.parent_path().c_str(), 0700);
            test::writeFile(files[0], R"({"lastTickAt":"2026-01-05T13:00:00Z"})");
            if (!c.spoil(root)) return 1;
            test::CapturedSystemLog log;
            test::FixedClock clock(test::at("2026-01-05T14:00:00Z"));
            HeartbeatLiveness heartbeat(std::make_shared<FileLogStore>(files[0]), 900, clock);
            SignalLog signals(std::make_shared<FileLogStore>(files[1]), 14, clock);
            SignalSample sample;
            sample.localHour = 14;
            for (int minute = 0; minute < 3; ++minute, clock.advance(60)) {
                heartbeat.recordTick();
                sample.timestamp = clock.now();
                signals.append(sample);
                DecisionLog::append(files[2], "reset", "a sample", clock.now());
            }
            std::ofstream out(said);
            for (const auto& line : log.lines)
                out << line << "\n";
            return out.flush() ? 0 : 1;
        });
        if (status == -1) GTEST_SKIP() << "only root may mount a file system of its own here";
        ASSERT_EQ(status, 0);
        std::vector<std::string> lines;
        std::ifstream in(said);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        for (const auto& file : files) {
            const auto naming = [&](const std::string& line) {
                return line.find(file.parent_path().string()) != std::string::npos;
            };
            const auto line = std::find_if(lines.begin(), lines.end(), naming);
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(), naming), 1) << file << ::testing::PrintToString(lines);
            if (line != lines.end()) {
                EXPECT_NE(line->find(c.why), std::string::npos) << *line;
            }
        }
    }
}

}  // namespace
}  // namespace quillfen
