#include "Log/DecisionLog.h"

#include <thread>

#include <gtest/gtest.h>

#include "support/CapturedSystemLog.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;

std::string decisionLine(const char* ts, const char* kind = "reset", const char* detail = "gap") {
    return std::string(R"({"detail":")") + detail + R"(","kind":")" + kind + R"(","ts":")" + ts + "\"}\n";
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST(DecisionLog, FirstAppendCreatesTheFamilyFolderAndOneLine) {
    test::TestHome home;
    DecisionLog::append("reset", "a gap of 240 s", at("2026-01-05T14:03:00Z"));
    EXPECT_EQ(DecisionLog::defaultFile(), home.familyDirectory() / "decisions-log.jsonl");
    EXPECT_EQ(test::readFile(DecisionLog::defaultFile()),
              R"({"detail":"a gap of 240 s","kind":"reset","ts":"2026-01-05T14:03:00Z"})"
              "\n");
    DecisionLog::append("face", "calm → strained \"quoted\"", at("2026-01-05T14:04:00Z"));
    auto entries = DecisionLog::today(at("2026-01-05T18:00:00Z"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1],
              (DecisionLog::Entry{at("2026-01-05T14:04:00Z"), "face", "calm → strained \"quoted\""}));
}

TEST(DecisionLog, CutsTheFileToItsNewestLinesOnlyPastTheSizeLimit) {
    test::TempDir dir;
    auto file = dir.path() / "decisions-log.jsonl";
    auto now = at("2026-01-05T14:03:00Z");
    const std::size_t appended = decisionLine("2026-01-05T14:03:00Z", "update", "x").size();
    const std::string filler(99, 'f');  // 100 bytes a line with its line feed

    for (std::uintmax_t target : {std::uintmax_t{4'000'000}, std::uintmax_t{4'000'001}}) {
        // One head line takes up the odd bytes so that the append ends exactly on the target.
        std::size_t body = target - appended;
        std::string text(body % 100 + 98, 'h');
        text += "\n\n";  // and an empty line, which the cut drops
        for (std::size_t i = 0; i < body / 100 - 1; ++i)
            text += filler + "\n";
        ASSERT_EQ(text.size(), body);
        test::writeFile(file, text);

        DecisionLog::append(file, "update", "x", now);
        auto result = test::readFile(file);
        if (target == 4'000'000) {
            EXPECT_EQ(result.size(), 4'000'000u);
        } else {
            auto lines = linesOf(result);
            ASSERT_EQ(lines.size(), 10000u);
            EXPECT_EQ(lines.front(), filler);
            EXPECT_EQ(lines.back() + "\n", decisionLine("2026-01-05T14:03:00Z", "update", "x"));
            EXPECT_EQ(result.back(), '\n');
        }
    }

    // Fewer, longer lines are all kept; empty ones go.
    std::string longLine(2'100'000, 'l');
    test::writeFile(file, longLine + "\n\n\n" + longLine + "\n");
    DecisionLog::append(file, "update", "x", now);
    EXPECT_EQ(linesOf(test::readFile(file)).size(), 3u);
}

TEST(DecisionLog, TodayReadsTheLocalDayAmongTheLastLines) {
    test::ScopedTimeZone tz("Europe/Berlin");
    test::TempDir dir;
    auto file = dir.path() / "decisions-log.jsonl";
    auto now = at("2026-01-05T14:03:00Z");
    std::string text = decisionLine("2026-01-04T22:59:59Z", "yesterday")   // 23:59:59 local yesterday
                       + decisionLine("2026-01-04T23:00:00Z", "midnight")  // 00:00:00 local today
                       + R"({"ts":"2026-01-05T10:00:00Z","detail":"no kind"})"
                         "\n" +
                       R"({"ts":"2026-01-05T10:00:00.5Z","kind":"fraction","detail":""})"
                       "\n" +
                       R"({"ts":"2026-01-05T10:00:00Z","kind":"number","detail":3})"
                       "\n" +
                       R"({"ts":"2026-01-05T11:00:00+01:00","kind":"offset"})"
                       "\n" +
                       "not json\n" + "\xff\xfe" + decisionLine("2026-01-05T12:00:00Z", "bad-bytes") + "\n" +
                       decisionLine("2026-01-05T23:00:00Z", "tomorrow") +
                       decisionLine("2026-01-05T13:00:00Z", "last");
    test::writeFile(file, text);

    std::vector<std::string> kinds;
    for (const auto& entry : DecisionLog::today(file, now))
        kinds.push_back(entry.kind);
    EXPECT_EQ(kinds, (std::vector<std::string>{"midnight", "", "offset", "last"}));
    EXPECT_TRUE(DecisionLog::today(dir.path() / "missing.jsonl", now).empty());
}

TEST(DecisionLog, TodayLooksOnlyAtTheLast2000Lines) {
    test::TempDir dir;
    auto file = dir.path() / "decisions-log.jsonl";
    std::string text = decisionLine("2026-01-05T10:00:00Z");
    for (int i = 0; i < 2000; ++i)
        text += decisionLine("2026-01-04T10:00:00Z");
    test::writeFile(file, text);
    EXPECT_TRUE(DecisionLog::today(file, at("2026-01-05T14:03:00Z")).empty());

    DecisionLog::append(file, "reset", "gap", at("2026-01-05T14:00:00Z"));
    EXPECT_EQ(DecisionLog::today(file, at("2026-01-05T14:03:00Z")).size(), 1u);
}

// Found by fuzzing: a line cut short by a crash swallowed the next entry appended after it.
TEST(DecisionLog, AnEntryAppendedAfterALineCutShortIsKeptWhole) {
    test::ScopedTimeZone tz("Europe/Berlin");
    test::TempDir dir;
    auto file = dir.path() / "decisions-log.jsonl";
    const std::string cutShort = R"({"ts":"2026-01-05T09:)";
    test::writeFile(file, decisionLine("2026-01-05T09:00:00Z", "stone", "x") + cutShort);

    DecisionLog::append(file, "mind", "a line", at("2026-01-05T14:03:00Z"));
    std::vector<std::string> kinds;
    for (const auto& entry : DecisionLog::today(file, at("2026-01-05T14:03:00Z")))
        kinds.push_back(entry.kind);
    EXPECT_EQ(kinds, (std::vector<std::string>{"stone", "mind"}));
    EXPECT_EQ(linesOf(test::readFile(file))[1], cutShort) << "the half line is left as it was";
}

TEST(DecisionLog, ReadsAndCutsOnlyTheNewestPartOfAnOversizedFile) {
    test::ScopedTimeZone tz("Europe/Berlin");
    test::TempDir dir;
    auto file = dir.path() / "decisions-log.jsonl";
    // One line longer than the part that is read: whatever lies before that part is never loaded.
    std::string text(DecisionLog::kReadTailBytes + 10, 'x');
    text += "\n" + decisionLine("2026-01-05T10:00:00Z", "kept");
    test::writeFile(file, text);
    ASSERT_EQ(DecisionLog::today(file, at("2026-01-05T14:03:00Z")).size(), 1u);

    DecisionLog::append(file, "reset", "gap", at("2026-01-05T14:00:00Z"));
    EXPECT_EQ(linesOf(test::readFile(file)).size(), 2u) << "the cut keeps the lines of the part read";
    EXPECT_EQ(DecisionLog::today(file, at("2026-01-05T14:03:00Z")).size(), 2u);
}

TEST(DecisionLog, AppendsFromSeveralThreadsKeepWholeLines) {
    test::TempDir dir;
    auto file = dir.path() / "decisions-log.jsonl";
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                DecisionLog::append(file, "stone", std::string(200, 's'), at("2026-01-05T14:00:00Z"));
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(DecisionLog::today(file, at("2026-01-05T14:03:00Z")).size(), 200u);
}

// A home laid out by a dotfiles tool (GNU Stow): ~/.ostrel, or the journal alone, is the user's link
// into it. Another user's link is refused, once in the log, and its target left as it was.
TEST(DecisionLog, TheUsersOwnLinkKeepsTheJournalInTheirFolderAndAnotherUsersIsRefused) {
    for (const auto& layout : test::kDotfilesLayouts) {
        SCOPED_TRACE(layout.what);
        test::TestHome home;
        const auto dotfiles = home.path() / "dotfiles/ostrel";
        const auto seeded = decisionLine("2026-01-05T09:00:00Z");
        test::writeFile(dotfiles / "decisions-log.jsonl", seeded);
        const auto link = test::layOut(layout, dotfiles, DecisionLog::defaultFile());
        if (!link) continue;
        test::CapturedSystemLog log;

        DecisionLog::append("stone", "kept", at("2026-01-05T14:00:00Z"));
        DecisionLog::append("stone", "kept again", at("2026-01-05T14:01:00Z"));
        EXPECT_TRUE(std::filesystem::is_symlink(*link));
        if (layout.anotherUsers) {
            EXPECT_EQ(test::readFile(dotfiles / "decisions-log.jsonl"), seeded);
            EXPECT_EQ(log.lines, std::vector<std::string>{"files: refused " + link->string() + ": " + layout.refusal});
            EXPECT_TRUE(DecisionLog::today(at("2026-01-05T18:00:00Z")).empty()) << "nothing read through it";
            continue;
        }
        EXPECT_EQ(linesOf(test::readFile(dotfiles / "decisions-log.jsonl")).size(), 3u);
        EXPECT_EQ(DecisionLog::today(at("2026-01-05T18:00:00Z")).size(), 3u);
        EXPECT_TRUE(log.lines.empty()) << log.lines.front();
    }
}

}  // namespace
}  // namespace quillfen
