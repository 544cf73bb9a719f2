#include "Signals/AgentLogFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>

#include "Signals/AIToolReader.h"
#include "Signals/ClaudeBodyReader.h"
#include "Signals/CodexActivityReader.h"
#include "support/BytesRead.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

TEST(AgentLogFiles, ReplacesEachMaximalInvalidSubpartWithOneReplacementCharacter) {
    const std::string r = "\xEF\xBF\xBD";
    const std::vector<std::pair<std::string, std::string>> table = {
        {"plain ascii", "plain ascii"},
        {"h\xC3\xA9llo \xF0\x9F\x98\x80", "h\xC3\xA9llo \xF0\x9F\x98\x80"},
        {"a\xFF"
         "b",
         "a" + r + "b"},
        {"\xE2\x82"
         "x",
         r + "x"},                            // a cut three-byte sequence is one subpart
        {"\xE2\x28\xA1", r + "(" + r},        // the ASCII byte is kept
        {"\xED\xA0\x80", r + r + r},          // an encoded surrogate is not a prefix of anything valid
        {"\xC0\xAF", r + r},                  // overlong
        {"\xF4\x90\x80\x80", r + r + r + r},  // beyond U+10FFFF
        {"end\xF0\x9F\x98", "end" + r},
    };
    for (const auto& [in, out] : table) {
        SCOPED_TRACE(in);
        EXPECT_EQ(AgentLogFiles::lossyUtf8(in), out);
        EXPECT_EQ(AgentLogFiles::isValidUtf8(in), in == out);
        EXPECT_TRUE(AgentLogFiles::isValidUtf8(out));
    }
}

// The logs listed in the folder, by name.
std::map<std::string, AgentLogFiles::LogFile> logsIn(const std::filesystem::path& folder) {
    std::map<std::string, AgentLogFiles::LogFile> logs;
    for (auto& log : AgentLogFiles::logsIn(AgentLogFiles::openFolder(folder), TimePoint{}))
        logs.emplace(log.name, std::move(log));
    return logs;
}

TEST(AgentLogFiles, ReadsOnlyRegularFilesAndNeverBlocksOnAPipe) {
    test::TempDir dir;
    test::writeFile(dir.path() / "log.jsonl", "0123456789");
    test::writeFile(dir.path() / "gone.jsonl", "0123456789");
    std::filesystem::create_directory(dir.path() / "folder.jsonl");
    ASSERT_EQ(::mkfifo((dir.path() / "pipe.jsonl").c_str(), 0600), 0);
    auto logs = logsIn(dir.path());
    ASSERT_EQ(logs.size(), 4u);
    std::filesystem::remove(dir.path() / "gone.jsonl");
    const auto& log = logs.at("log.jsonl");
    EXPECT_EQ(AgentLogFiles::read(log, 0, log.size), "0123456789");
    EXPECT_EQ(AgentLogFiles::read(log, 7, 3), "789");
    EXPECT_EQ(AgentLogFiles::read(log, 70, 3), "");
    EXPECT_EQ(AgentLogFiles::read(logs.at("pipe.jsonl"), 0, 10), std::nullopt);
    EXPECT_EQ(AgentLogFiles::read(logs.at("folder.jsonl"), 0, 10), std::nullopt);
    EXPECT_EQ(AgentLogFiles::read(logs.at("gone.jsonl"), 0, 10), std::nullopt);
    int lines = 0;
    EXPECT_FALSE(AgentLogFiles::forEachLineOfFile(logs.at("pipe.jsonl"), [&](std::string_view) { ++lines; }));
    EXPECT_EQ(lines, 0);
}

TEST(AgentLogFiles, PassesOverALineTooLongToHold) {
    test::TempDir dir;
    const auto file = dir.path() / "log.jsonl";
    // Small limits, in the same proportions as the real ones: the line outgrows the longest over
    // many pieces, and is dropped over several more.
    const AgentLogFiles::LineLimits limits{.piece = 1024, .longestLine = 16 * 1024};
    const std::string overlong(limits.longestLine + 3 * limits.piece, 'x');
    for (const std::string& text : {"a\n" + overlong + "\nb\n" + overlong, "a\n" + overlong + "\n\nb\n"}) {
        test::writeFile(file, text);
        std::vector<std::string> lines;
        EXPECT_TRUE(AgentLogFiles::forEachLineOfFile(
            logsIn(dir.path()).at("log.jsonl"), [&](std::string_view line) { lines.emplace_back(line); }, limits));
        EXPECT_EQ(lines, (std::vector<std::string>{"a", "b"}));
    }
}

TEST(AgentLogFiles, SplitsAtLineFeedsDroppingEmptyPieces) {
    std::vector<std::string> pieces;
    AgentLogFiles::forEachLine("\n\na\r\n\nbc\nd", [&](std::string_view p) { pieces.emplace_back(p); });
    EXPECT_EQ(pieces, (std::vector<std::string>{"a\r", "bc", "d"}));
}

// A file that says it holds nothing and never ends: eight bytes for every page the reading
// process could map.
const fs::path kEndless = "/proc/self/pagemap";

// A log that leads to the endless file, and a reader that must take nothing from it: in a tool's
// folder of another user (or one reached through their link) nothing is read at all, and through
// the user's own link no more than the listing counted, which is nothing.
struct EndlessLog {
    const char* what;
    const char* log;     // the link to the endless file, below the home
    const char* linked;  // a folder on the way that is a link to one of the user's, or nothing
    const char* theirs;  // what is another user's, with all below it, or nothing
    bool absent;         // the tool's folder counts as missing
    // Whether the reader's answer is right.
    bool (*reads)(TimePoint now, bool absent);
};

bool readsTheWeek(TimePoint now, bool absent) {
    const ClaudeBody body = ClaudeBodyReader::read(now, 7);
    return body.available == !absent && body.days.empty();
}
bool readsToday(TimePoint now, bool absent) {
    const AIToolSignal signal = AIToolReader::read(now);
    return signal.available == !absent && signal.sessionsToday == (absent ? 0 : 1) &&
           !signal.lastActiveMinAgo;
}
bool readsCodex(TimePoint now, bool absent) {
    return CodexActivityReader::readEvents(now, 7).empty() && readsTheWeek(now, absent);
}

constexpr const char* kTranscript = ".claude/projects/p/session.jsonl";
constexpr const char* kSession = ".codex/sessions/2026/01/05/rollout.jsonl";

const EndlessLog kEndlessLogs[] = {
    {"TheWeekInAnotherUsersClaudeFolder", kTranscript, nullptr, ".claude", true, readsTheWeek},
    {"TheWeekThroughAnotherUsersLinkToTheClaudeFolder", kTranscript, ".claude", ".claude", true,
     readsTheWeek},
    {"TheWeekByAnotherUsersLinkInTheUsersFolder", kTranscript, nullptr, kTranscript, false, readsTheWeek},
    {"TheWeekByTheUsersOwnLink", kTranscript, nullptr, nullptr, false, readsTheWeek},
    {"TodayInAnotherUsersClaudeFolder", kTranscript, nullptr, ".claude", true, readsToday},
    {"TodayByTheUsersOwnLink", kTranscript, nullptr, nullptr, false, readsToday},
    {"CodexInAnotherUsersCodexFolder", kSession, nullptr, ".codex", true, readsCodex},
    {"CodexByTheUsersOwnLink", kSession, nullptr, nullptr, false, readsCodex},
};

void PrintTo(const EndlessLog& c, std::ostream* out) {
    *out << c.what;
}

class EndlessLogs : public testing::TestWithParam<EndlessLog> {};

TEST_P(EndlessLogs, AreReadNoFurtherThanTheListingCounted) {
    const EndlessLog& c = GetParam();
    test::TestHome home;
    if (c.linked) {
        fs::create_directories(home.path() / "elsewhere");
        fs::create_directory_symlink(home.path() / "elsewhere", home.path() / c.linked);
    }
    fs::create_directories((home.path() / c.log).parent_path());
    fs::create_symlink(kEndless, home.path() / c.log);
    if (c.theirs) {
        if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
        const fs::path theirs = home.path() / c.theirs;
        test::giveToAnotherUser(theirs);
        if (fs::is_directory(fs::symlink_status(theirs))) {
            for (const auto& entry : fs::recursive_directory_iterator(theirs))
                test::giveToAnotherUser(entry.path());
        }
    }
    // The real time: the kernel dates the endless file now, and a log must be recent to be read.
    const TimePoint now = systemClock()();
    const auto taken = test::bytesReadBy([&] { return c.reads(now, c.absent) ? 0 : 1; });
    ASSERT_TRUE(taken) << "the reading went on past what any log here holds";
    EXPECT_EQ(taken->bytes, 0u);
    EXPECT_EQ(taken->answer, 0);
}

INSTANTIATE_TEST_SUITE_P(AgentLogFiles, EndlessLogs, testing::ValuesIn(kEndlessLogs),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace quillfen
