#include "Signals/CodexActivityReader.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "Signals/Fingerprint.h"
#include "Support/Iso8601.h"
#include <sstream>
#include "support/BenchCorpora.h"
#include "support/FileTimes.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;
using test::TempDir;
using test::writeFile;
using test::writeFileModified;
using ActivityKind = AIActivityKind;
using Category = AIToolCategory;

std::string record(std::string_view ts, std::string_view type, const nlohmann::json& payload) {
    return nlohmann::json{{"timestamp", ts}, {"type", type}, {"payload", payload}}.dump() + "\n";
}

std::string meta(std::string_view ts, std::string_view cwd, std::string_view id) {
    return record(ts, "session_meta", {{"cwd", cwd}, {"id", id}});
}
std::string event(std::string_view ts, std::string_view type) {
    return record(ts, "event_msg", {{"type", type}});
}
std::string call(std::string_view ts, const nlohmann::json& name, std::string_view callId) {
    nlohmann::json payload = {{"type", "function_call"}, {"call_id", callId}, {"arguments", "{}"}};
    if (!name.is_null()) payload["name"] = name;
    return record(ts, "response_item", payload);
}
std::string output(std::string_view ts, std::string_view callId) {
    return record(ts, "response_item",
                  {{"type", "function_call_output"}, {"call_id", callId}, {"output", "ok"}});
}
std::string userMessage(std::string_view ts) {
    return record(ts, "response_item", {{"type", "message"}, {"role", "user"}, {"content", "hello"}});
}

// A line of the given total length (line feed included) that yields nothing.
std::string filler(std::size_t length) {
    std::string prefix = R"({"timestamp":"2026-01-05T09:00:00Z","type":"turn_context","payload":{"pad":")";
    std::string suffix = "\"}}\n";
    return prefix + std::string(length - prefix.size() - suffix.size(), 'x') + suffix;
}

struct Sessions {
    TempDir dir;
    std::filesystem::path path() const { return dir.path(); }
    void write(const std::string& name, const std::string& text, TimePoint modified) {
        writeFileModified(dir.path() / name, text, modified);
    }
};

std::vector<ActivityKind> kinds(const std::vector<AIActivityEvent>& events) {
    std::vector<ActivityKind> out;
    for (const auto& e : events)
        out.push_back(e.kind);
    return out;
}

TEST(Fingerprint, IsTheFirstSixBytesOfTheSha256InLowerCaseHex) {
    EXPECT_EQ(fingerprint("abc"), "ba7816bf8f01");
    EXPECT_EQ(fingerprint(""), "e3b0c44298fc");
    EXPECT_EQ(fingerprint("/Users/ana/code/quillfen").size(), 12u);
}

const std::string kWorkedLog =
    meta("2026-01-05T09:59:00Z", "/home/ana/code/app", "sess-1") +
    event("2026-01-05T10:00:00Z", "task_started") + call("2026-01-05T10:01:00Z", "shell", "c1") +
    output("2026-01-05T10:01:05Z", "c1") + event("2026-01-05T10:02:00Z", "user_message");

TEST(CodexActivityReader, ReadsTheWorkedExampleIntoFourEvents) {
    Sessions s;
    s.write("2026/01/05/rollout-a.jsonl", kWorkedLog, at("2026-01-05T10:02:00Z"));
    auto events = CodexActivityReader::readEvents(at("2026-01-05T10:30:00Z"), 1, s.path());
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(kinds(events), (std::vector<ActivityKind>{ActivityKind::taskStarted, ActivityKind::toolCall,
                                                        ActivityKind::toolResult, ActivityKind::userTurn}));
    EXPECT_EQ(events[0].toolCategory, std::nullopt);
    EXPECT_EQ(events[1].toolCategory, Category::shell);
    EXPECT_EQ(events[2].toolCategory, Category::shell);
    EXPECT_EQ(events[3].toolCategory, std::nullopt);
    EXPECT_TRUE(events[3].isUser);
    EXPECT_FALSE(events[1].isUser);
    for (const auto& e : events) {
        EXPECT_EQ(e.projectFingerprint, fingerprint("/home/ana/code/app"));
        EXPECT_EQ(e.sessionFingerprint, fingerprint("sess-1"));
    }
    EXPECT_EQ(events[1].timestamp, at("2026-01-05T10:01:00Z"));
}

TEST(CodexActivityReader, SnapshotOfTheWorkedExampleRunsUntilTheSessionGoesStale) {
    Sessions s;
    s.write("a.jsonl", kWorkedLog, at("2026-01-05T10:02:00Z"));

    auto running = CodexActivityReader::readSnapshot(at("2026-01-05T10:30:00Z"), s.path(), 7200);
    CodexActivitySnapshot expected{true, 1, at("2026-01-05T10:00:00Z"), at("2026-01-05T10:02:00Z"), 1, 1};
    EXPECT_EQ(running, expected);

    // Exactly 7200 s after the newest event the session is still fresh; a second later it is not.
    auto edge = CodexActivityReader::readSnapshot(at("2026-01-05T12:02:00Z"), s.path(), 7200);
    EXPECT_TRUE(edge.isTaskRunning);
    auto stale = CodexActivityReader::readSnapshot(at("2026-01-05T12:02:01Z"), s.path(), 7200);
    CodexActivitySnapshot quiet{false, 0, std::nullopt, at("2026-01-05T10:02:00Z"), 0, 0};
    EXPECT_EQ(stale, quiet);
}

TEST(CodexActivityReader, DecidesWhetherATaskRunsFromTheLatestStartAndCompletion) {
    struct Case {
        const char* name;
        std::vector<std::string> logs;
        int running;
        std::optional<std::string> since;
    };
    const std::vector<Case> cases = {
        {"start and completion at the same time",
         {event("2026-01-05T10:00:00Z", "task_started") + event("2026-01-05T10:00:00Z", "task_complete")},
         0,
         std::nullopt},
        {"a completion without a start", {event("2026-01-05T10:00:00Z", "task_complete")}, 0, std::nullopt},
        {"a new start after a completion",
         {event("2026-01-05T09:00:00Z", "task_started") + event("2026-01-05T09:30:00Z", "task_complete") +
          event("2026-01-05T10:00:00Z", "task_started")},
         1,
         "2026-01-05T10:00:00Z"},
        {"two running sessions",
         {event("2026-01-05T10:30:00Z", "task_started"), event("2026-01-05T10:00:00Z", "task_started")},
         2,
         "2026-01-05T10:00:00Z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sessions s;
        for (std::size_t i = 0; i < c.logs.size(); ++i) {
            s.write("log" + std::to_string(i) + ".jsonl", c.logs[i], at("2026-01-05T10:40:00Z"));
        }
        auto snapshot = CodexActivityReader::readSnapshot(at("2026-01-05T10:45:00Z"), s.path(), 7200);
        EXPECT_EQ(snapshot.runningTaskCount, c.running);
        EXPECT_EQ(snapshot.isTaskRunning, c.running > 0);
        EXPECT_EQ(snapshot.runningSince, c.since ? std::optional(at(*c.since)) : std::nullopt);
    }
}

TEST(CodexActivityReader, CountsOnlyTheLastHourAndTakesFutureEventsAsRecent) {
    Sessions s;
    s.write("a.jsonl",
            call("2026-01-05T09:29:59Z", "shell", "a") + call("2026-01-05T09:30:00Z", "shell", "b") +
                event("2026-01-05T09:00:00Z", "user_message") + event("2026-01-05T10:31:00Z", "user_message"),
            at("2026-01-05T10:00:00Z"));
    auto snapshot = CodexActivityReader::readSnapshot(at("2026-01-05T10:30:00Z"), s.path(), 7200);
    EXPECT_EQ(snapshot.toolCallsLastHour, 1);
    EXPECT_EQ(snapshot.userTurnsLastHour, 1);
    EXPECT_EQ(snapshot.lastActivityAt, at("2026-01-05T10:31:00Z"));
}

TEST(CodexActivityReader, NoLogsGiveNoEventsAndAQuietSnapshot) {
    Sessions s;
    EXPECT_TRUE(CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 7, s.path()).empty());
    EXPECT_EQ(CodexActivityReader::readSnapshot(at("2026-01-05T10:00:00Z"), s.path() / "missing", 7200),
              CodexActivitySnapshot{});
    test::TestHome home;  // the default folder under a home that has none
    EXPECT_TRUE(CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 7).empty());
}

TEST(CodexActivityReader, TakesIdentityFromSessionMetaOrElseFromTheFileName) {
    Sessions s;
    const TimePoint m = at("2026-01-05T10:00:00Z");
    s.write("no-meta-1.jsonl", event("2026-01-05T09:00:00Z", "task_started"), m);
    s.write("no-meta-2.jsonl", event("2026-01-05T09:00:00Z", "task_started"), m);
    s.write("id-only.jsonl",
            record("2026-01-05T09:00:00Z", "session_meta", {{"id", "sess-x"}}) +
                event("2026-01-05T09:00:00Z", "task_started"),
            m);
    // A later session_meta overrides an earlier one, also when it comes after the events.
    s.write("two-metas.jsonl",
            meta("2026-01-05T08:00:00Z", "/first", "s-first") +
                event("2026-01-05T09:00:00Z", "task_started") +
                meta("2026-01-05T09:30:00Z", "/second", "s-second"),
            m);
    std::map<std::string, std::pair<std::string, std::string>> expected = {
        {"no-meta-1", {fingerprint("no-meta-1.jsonl"), fingerprint("no-meta-1.jsonl")}},
        {"no-meta-2", {fingerprint("no-meta-2.jsonl"), fingerprint("no-meta-2.jsonl")}},
        {"id-only", {fingerprint("id-only.jsonl"), fingerprint("id-only.jsonl")}},
        {"two-metas", {fingerprint("/second"), fingerprint("s-second")}},
    };
    auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
    ASSERT_EQ(events.size(), 4u);
    std::set<std::pair<std::string, std::string>> got;
    for (const auto& e : events)
        got.insert({e.projectFingerprint, e.sessionFingerprint});
    std::set<std::pair<std::string, std::string>> want;
    for (const auto& [name, ids] : expected)
        want.insert(ids);
    EXPECT_EQ(got, want);
    // Two files without a session_meta are two sessions: both tasks run.
    EXPECT_EQ(CodexActivityReader::readSnapshot(at("2026-01-05T10:00:00Z"), s.path(), 7200).runningTaskCount,
              4);
}

TEST(CodexActivityReader, CountsResponseUserMessagesOnlyInLogsWithoutEventUserMessages) {
    Sessions s;
    const TimePoint m = at("2026-01-05T10:00:00Z");
    s.write("only-responses.jsonl", userMessage("2026-01-05T09:00:00Z") + userMessage("2026-01-05T09:10:00Z"),
            m);
    // The event_msg user message lies outside the window yet still marks the file.
    s.write("both.jsonl", event("2025-12-01T09:00:00Z", "user_message") + userMessage("2026-01-05T09:20:00Z"),
            m);
    s.write("other-roles.jsonl",
            record("2026-01-05T09:30:00Z", "response_item", {{"type", "message"}, {"role", "assistant"}}) +
                record("2026-01-05T09:31:00Z", "response_item", {{"type", "message"}}),
            m);
    auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].timestamp, at("2026-01-05T09:00:00Z"));
    EXPECT_EQ(events[1].timestamp, at("2026-01-05T09:10:00Z"));
    EXPECT_TRUE(events[0].isUser && events[1].isUser);
}

// Lines as the agent writes them, time first. Those before the window still give the file its
// identity and its user-message mark, also when escapes spell the words, and a later time in the
// same line still counts.
TEST(CodexActivityReader, LinesBeforeTheWindowStillCountWhereTheyCan) {
    auto line = [](std::string_view ts, std::string_view rest) {
        return "{\"timestamp\":\"" + std::string(ts) + "\"," + std::string(rest) + "}\n";
    };
    const std::string old = "2025-12-01T09:00:00.5Z";
    const std::string recent = "2026-01-05T09:00:00Z";
    const std::string started = line(recent, R"("type":"event_msg","payload":{"type":"task_started"})");
    const std::string responseTurn =
        line(recent, R"("type":"response_item","payload":{"type":"message","role":"user"})");
    struct Case {
        const char* name;
        std::string text;
        std::string project;
        std::vector<ActivityKind> kinds;
    };
    const std::vector<Case> cases = {
        {"identity", line(old, R"("type":"session_meta","payload":{"cwd":"/w/a","id":"s"})") + started, "/w/a",
         {ActivityKind::taskStarted}},
        {"escaped identity", line(old, R"("type":"session\u005fmeta","payload":{"cwd":"/w/b"})") + started, "/w/b",
         {ActivityKind::taskStarted}},
        {"user-message mark", line(old, R"("type":"event_msg","payload":{"type":"user_message"})") + responseTurn,
         "x.jsonl", {}},
        {"escaped mark", line(old, R"("type":"event_msg","payload":{"type":"user\u005fmessage"})") + responseTurn,
         "x.jsonl", {}},
        {"a later time", line(old, R"("type":"event_msg","payload":{"type":"task_started"},"timestamp":")" + recent + "\""),
         "x.jsonl", {ActivityKind::taskStarted}},
        {"of no account", line(old, R"("type":"event_msg","payload":{"type":"task_started"})") + responseTurn,
         "x.jsonl", {ActivityKind::userTurn}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sessions s;
        s.write("x.jsonl", c.text, at("2026-01-05T10:00:00Z"));
        const auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
        EXPECT_EQ(kinds(events), c.kinds);
        for (const auto& e : events)
            EXPECT_EQ(e.projectFingerprint, fingerprint(c.project));
    }
}

TEST(CodexActivityReader, SortsToolNamesIntoCategoriesByTheFirstMatchingPattern) {
    const std::vector<std::pair<nlohmann::json, Category>> table = {
        {"Run_Terminal", Category::shell},   {"exec_command", Category::shell},
        {"apply_patch", Category::edit},     {"file_editor", Category::edit},
        {"web_search", Category::browser},   {"Playwright", Category::browser},
        {"spawn_subagent", Category::agent}, {"list_dir", Category::read},
        {"read_file", Category::read},       {"planner", Category::other},
        {nullptr, Category::other},          {42, Category::other},
        {"BASH", Category::shell},
    };
    std::string log;
    for (std::size_t i = 0; i < table.size(); ++i) {
        log += call("2026-01-05T09:00:00Z", table[i].first, "call-" + std::to_string(i));
    }
    // A custom tool call reads like a function call.
    log += record("2026-01-05T09:00:00Z", "response_item",
                  {{"type", "custom_tool_call"}, {"name", "apply_patch"}, {"call_id", "custom"}});
    Sessions s;
    s.write("a.jsonl", log, at("2026-01-05T10:00:00Z"));
    auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
    ASSERT_EQ(events.size(), table.size() + 1);
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(table[i].first.dump());
        EXPECT_EQ(events[i].kind, ActivityKind::toolCall);
        EXPECT_EQ(events[i].toolCategory, table[i].second);
    }
    EXPECT_EQ(events.back().toolCategory, Category::edit);
}

TEST(CodexActivityReader, GivesAResultTheCategoryOfItsCallOnlyWhenTheCallCameFirstInTheWindow) {
    Sessions s;
    s.write("a.jsonl",
            output("2026-01-05T09:00:00Z", "early") + call("2026-01-05T09:01:00Z", "apply_patch", "early") +
                call("2025-12-01T09:00:00Z", "shell", "old") + output("2026-01-05T09:02:00Z", "old") +
                record("2026-01-05T09:03:00Z", "response_item", {{"type", "function_call_output"}}) +
                call("2026-01-05T09:04:00Z", "shell", "twice") +
                call("2026-01-05T09:05:00Z", "web", "twice") +
                record("2026-01-05T09:06:00Z", "response_item",
                       {{"type", "custom_tool_call_output"}, {"call_id", "twice"}}),
            at("2026-01-05T10:00:00Z"));
    s.write("b.jsonl", output("2026-01-05T09:07:00Z", "early"), at("2026-01-05T09:59:00Z"));
    auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
    std::vector<std::optional<Category>> results;
    for (const auto& e : events) {
        if (e.kind == ActivityKind::toolResult) results.push_back(e.toolCategory);
    }
    EXPECT_EQ(results,
              (std::vector<std::optional<Category>>{Category::other, Category::other, Category::other,
                                                    Category::browser, Category::other}));
}

TEST(CodexActivityReader, SkipsLinesThatCannotBeRead) {
    const std::string good = event("2026-01-05T09:00:00Z", "task_started");
    const std::vector<std::pair<const char*, std::string>> bad = {
        {"local time without a zone", event("2026-01-05T09:00:00", "task_started")},
        {"offset without a colon", event("2026-01-05T09:00:00+0100", "task_started")},
        {"no timestamp", R"({"type":"event_msg","payload":{"type":"task_started"}})"
                         "\n"},
        {"timestamp not a string", R"({"timestamp":5,"type":"event_msg","payload":{"type":"task_started"}})"
                                   "\n"},
        {"payload not an object", R"({"timestamp":"2026-01-05T09:00:00Z","type":"event_msg","payload":"x"})"
                                  "\n"},
        {"payload without a type", record("2026-01-05T09:00:00Z", "event_msg", {{"kind", "task_started"}})},
        {"unknown record type", record("2026-01-05T09:00:00Z", "turn_context", {{"type", "task_started"}})},
        {"unknown payload type", event("2026-01-05T09:00:00Z", "agent_reasoning")},
        {"not JSON", "timestamp 2026-01-05T09:00:00Z task_started\n"},
        {"an array", "[1,2,3]\n"},
        {"a year the clock cannot hold", event("9999-01-05T09:00:00Z", "task_started")},
        {"a truncated last line",
         R"({"timestamp":"2026-01-05T09:00:00Z","type":"event_msg","payload":{"type":"task_st)"},
    };
    for (const auto& [name, line] : bad) {
        SCOPED_TRACE(name);
        Sessions s;
        s.write("a.jsonl", good + good + line, at("2026-01-05T10:00:00Z"));
        EXPECT_EQ(CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path()).size(), 2u);
    }
}

TEST(CodexActivityReader, AcceptsTimesWithAndWithoutFractionsAndKeepsLinesAtTheWindowStart) {
    Sessions s;
    // With days 1 the window starts 2 days before now.
    s.write("a.jsonl",
            event("2026-01-05T09:00:00.250Z", "task_started") +
                event("2026-01-05T10:00:00+01:00", "task_started") +
                event("2026-01-03T10:00:00Z", "task_started") +
                event("2026-01-03T09:59:59.999Z", "task_started"),
            at("2026-01-05T10:00:00Z"));
    auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].timestamp, at("2026-01-03T10:00:00Z"));
    EXPECT_EQ(events[1].timestamp, at("2026-01-05T09:00:00Z"));
    EXPECT_EQ(events[2].timestamp, at("2026-01-05T09:00:00.250Z"));
}

TEST(CodexActivityReader, WalksNestedFoldersButNotHiddenOnesOrOldOrForeignFiles) {
    Sessions s;
    const std::string log = event("2026-01-05T09:00:00Z", "task_started");
    const TimePoint fresh = at("2026-01-05T09:00:00Z");
    s.write("2026/01/05/a.jsonl", log, fresh);
    s.write(".hidden/b.jsonl", log, fresh);
    s.write("2026/.c.jsonl", log, fresh);
    s.write("2026/d.json", log, fresh);
    s.write("2026/e.JSONL", log, fresh);
    s.write("2025/old.jsonl", log, at("2026-01-03T09:59:59Z"));  // modified before the cutoff
    s.write("2025/edge.jsonl", log, at("2026-01-03T10:00:00Z"));
    auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
    std::set<std::string> sessions;
    for (const auto& e : events)
        sessions.insert(e.sessionFingerprint);
    EXPECT_EQ(sessions, (std::set<std::string>{fingerprint("a.jsonl"), fingerprint("edge.jsonl")}));
}

TEST(CodexActivityReader, ReadsOnlyTheLastMillionBytesOfALargerLog) {
    const std::string first = event("2026-01-05T08:00:00Z", "task_started");
    const std::string last = event("2026-01-05T09:00:00Z", "task_complete");
    for (std::size_t size : {std::size_t{1'000'000}, std::size_t{1'000'001}}) {
        SCOPED_TRACE(size);
        std::string log = first + filler(size - first.size() - last.size()) + last;
        ASSERT_EQ(log.size(), size);
        Sessions s;
        s.write("a.jsonl", log, at("2026-01-05T10:00:00Z"));
        auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
        // Read from byte 1, the first line has lost its opening brace and no longer parses.
        EXPECT_EQ(events.size(), size == 1'000'000 ? 2u : 1u);
    }
}

TEST(CodexActivityReader, ReadsATailWithoutTheSessionMetaThatLiesBeforeIt) {
    const std::string head = meta("2026-01-05T08:00:00Z", "/project", "session") +
                             event("2026-01-05T08:00:01Z", "user_message") + filler(1'100'000);
    for (bool eventUserInTail : {false, true}) {
        SCOPED_TRACE(eventUserInTail);
        std::string tail = userMessage("2026-01-05T09:00:00Z");
        if (eventUserInTail) tail += event("2026-01-05T09:01:00Z", "user_message");
        Sessions s;
        s.write("big.jsonl", head + tail, at("2026-01-05T10:00:00Z"));
        auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].timestamp, at(eventUserInTail ? "2026-01-05T09:01:00Z" : "2026-01-05T09:00:00Z"));
        EXPECT_EQ(events[0].projectFingerprint, fingerprint("big.jsonl"));
        EXPECT_EQ(events[0].sessionFingerprint, fingerprint("big.jsonl"));
    }
}

TEST(CodexActivityReader, StopsReadingOnceTheByteBudgetIsSpent) {
    // 25 fresh logs of 1,000,000 bytes, newest first by name: only the newest 20 are read.
    Sessions s;
    const TimePoint newest = at("2026-01-05T10:00:00Z");
    for (int i = 0; i < 25; ++i) {
        std::string line = event("2026-01-05T09:00:00Z", "task_started");
        s.write("log" + std::to_string(100 + i) + ".jsonl", line + filler(1'000'000 - line.size()),
                addSeconds(newest, -60.0 * i));
    }
    auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
    ASSERT_EQ(events.size(), 20u);
    EXPECT_EQ(events.front().sessionFingerprint, fingerprint("log100.jsonl"));
    EXPECT_EQ(events.back().sessionFingerprint, fingerprint("log119.jsonl"));
}

TEST(CodexActivityReader, ReadsTheNextFileWhileAnyBudgetIsLeft) {
    // 19 logs of 1,000,000 bytes and one of 999,500 leave 500 bytes: the next log is still read
    // (as its tail), and the one after it is not.
    Sessions s;
    const TimePoint newest = at("2026-01-05T10:00:00Z");
    auto write = [&](int i, std::size_t size) {
        std::string line = event("2026-01-05T09:00:00Z", "task_started");
        std::string tail = event("2026-01-05T09:00:00Z", "task_complete");
        s.write("log" + std::to_string(100 + i) + ".jsonl",
                line + filler(size - line.size() - tail.size()) + tail, addSeconds(newest, -60.0 * i));
    };
    for (int i = 0; i < 19; ++i)
        write(i, 1'000'000);
    write(19, 999'500);
    write(20, 1'500'000);
    write(21, 10'000);
    auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
    std::map<std::string, int> perSession;
    for (const auto& e : events)
        ++perSession[e.sessionFingerprint];
    EXPECT_EQ(perSession.size(), 21u);
    EXPECT_EQ(perSession[fingerprint("log120.jsonl")], 1);  // only its tail's completion
    EXPECT_EQ(perSession.count(fingerprint("log121.jsonl")), 0u);
}

TEST(CodexActivityReader, SkipsASmallLogWithInvalidUtf8ButRepairsATail) {
    Sessions s;
    const std::string line = event("2026-01-05T09:00:00Z", "task_started");
    std::string badByte =
        record("2026-01-05T09:01:00Z", "event_msg", {{"type", "task_complete"}, {"msg", "ab"}});
    badByte.insert(badByte.find("ab"), "\xff");
    s.write("small.jsonl", line + badByte, at("2026-01-05T10:00:00Z"));
    s.write("large.jsonl", filler(1'000'100) + line + badByte, at("2026-01-05T09:59:00Z"));
    auto events = CodexActivityReader::readEvents(at("2026-01-05T10:00:00Z"), 1, s.path());
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].sessionFingerprint, fingerprint("large.jsonl"));
    EXPECT_EQ(events[1].kind, ActivityKind::taskCompleted);
}

TEST(AIActivityEvent, RoundTripsThroughJsonAndLeavesOutAnAbsentCategory) {
    AIActivityEvent call{at("2026-01-05T09:00:00Z"), "ba7816bf8f01", "e3b0c44298fc", false,
                         Category::browser,          ActivityKind::toolCall};
    nlohmann::json j = activityEventToJson(call);
    EXPECT_EQ(j.at("toolCategory"), "browser");
    EXPECT_EQ(j.at("kind"), "toolCall");
    EXPECT_EQ(j.at("timestamp"), "2026-01-05T09:00:00Z");
    EXPECT_EQ(activityEventFromJson(j), call);

    AIActivityEvent turn{at("2026-01-05T09:00:00Z"), "a", "b", true, std::nullopt, ActivityKind::userTurn};
    EXPECT_FALSE(activityEventToJson(turn).contains("toolCategory"));
    EXPECT_EQ(activityEventFromJson(activityEventToJson(turn)), turn);

    j["kind"] = "napping";
    EXPECT_EQ(activityEventFromJson(j), std::nullopt);
}

// The benchmark's sessions at a smaller scale, pinned as the reader has always read them: the
// events of a week, of a window that starts inside the older logs, and two snapshots.
TEST(CodexActivityReader, ReadsTheBenchmarkSessionsAsItAlwaysHas) {
    TempDir dir;
    const TimePoint now = at("2026-01-05T14:03:00Z");
    test::BenchCorpora::writeCodexLogs(dir.path(), now, 60);

    auto describe = [](const std::vector<AIActivityEvent>& events) {
        std::ostringstream out;
        for (const auto& e : events) {
            out << e.timestamp.time_since_epoch().count() << e.projectFingerprint << e.sessionFingerprint
                << e.isUser << (e.toolCategory ? toString(*e.toolCategory) : "-") << toString(e.kind) << ';';
        }
        return std::to_string(events.size()) + " " + std::to_string(test::BenchCorpora::digest(out.str()));
    };
    auto describeSnapshot = [](const CodexActivitySnapshot& s) {
        std::ostringstream out;
        out << s.isTaskRunning << ' ' << s.runningTaskCount << ' '
            << (s.runningSince ? s.runningSince->time_since_epoch().count() : 0) << ' '
            << (s.lastActivityAt ? s.lastActivityAt->time_since_epoch().count() : 0) << ' ' << s.toolCallsLastHour
            << ' ' << s.userTurnsLastHour;
        return out.str();
    };
    EXPECT_EQ(describe(CodexActivityReader::readEvents(now, 7, dir.path())), "7518 13831798248463130604");
    EXPECT_EQ(describe(CodexActivityReader::readEvents(now, 0, dir.path())), "4372 6455181684656769369");
    EXPECT_EQ(describeSnapshot(CodexActivityReader::readSnapshot(now, dir.path(), 7200)), "1 1 1767614645456000000 1767614777456000000 0 0");
    EXPECT_EQ(describeSnapshot(CodexActivityReader::readSnapshot(now + std::chrono::hours(3), dir.path(), 7200)),
              "0 0 0 1767614777456000000 0 0");
}

}  // namespace
}  // namespace quillfen
