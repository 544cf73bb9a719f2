#include "Signals/ClaudeBodyReader.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include <nlohmann/json.hpp>

#include "Signals/Fingerprint.h"
#include "Support/Iso8601.h"
#include "Support/LocalCalendar.h"
#include <sstream>
#include "support/BenchCorpora.h"
#include "support/FileTimes.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using LocalCalendar::fromLocal;
using test::januaryLocal;
using test::writeFileModified;

// A user turn or an agent line the way Claude Code writes them; only the time and the user
// patterns matter to the reader.
std::string turn(TimePoint t) {
    return R"({"parentUuid":null,"type":"user","message":{"role":"user","content":"please"},"timestamp":")" +
           Iso8601::format(t) + "\"}\n";
}
std::string agent(TimePoint t) {
    return R"({"type":"assistant","message":{"role":"assistant","content":"done"},"timestamp":")" +
           Iso8601::format(t) + "\"}\n";
}

// A temporary home in Berlin at 18:00 on Monday 5 January 2026.
struct Week {
    test::TestHome home;
    test::ScopedTimeZone tz{"Europe/Berlin"};
    TimePoint now = januaryLocal(18);

    std::filesystem::path projects() const { return home.path() / ".claude/projects"; }
    std::filesystem::path codex() const { return home.path() / ".codex/sessions"; }
    void log(const std::string& project, const std::string& text, const std::string& file = "s.jsonl") {
        writeFileModified(projects() / project / file, text, now);
    }
    ClaudeBody read(int days = 7) const { return ClaudeBodyReader::read(now, days); }
    ClaudeDay today() const { return read().today; }
};

TEST(ClaudeBodyReader, TellsWhetherAnAgentSourceIsPresentWhenThereAreNoEvents) {
    struct Case {
        const char* name;
        std::function<void(Week&)> setUp;
        bool available;
    };
    const std::vector<Case> cases = {
        {"no folders at all", [](Week&) {}, false},
        {"an empty project folder", [](Week& w) { std::filesystem::create_directories(w.projects() / "p"); },
         true},
        {"an empty Codex folder", [](Week& w) { std::filesystem::create_directories(w.codex()); }, true},
        {"an empty projects folder", [](Week& w) { std::filesystem::create_directories(w.projects()); },
         false},
        {"only an old log",
         [](Week& w) {
             writeFileModified(w.projects() / "p/s.jsonl", turn(w.now), w.now - std::chrono::hours(24 * 9));
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Week w;
        c.setUp(w);
        ClaudeBody body = w.read();
        EXPECT_EQ(body.available, c.available);
        EXPECT_TRUE(body.days.empty());
        EXPECT_EQ(body.today, ClaudeDay::empty(0));
        EXPECT_EQ(body.daysObserved, 0);
    }
    EXPECT_EQ(ClaudeBody{}.today, ClaudeDay::empty(0));
    EXPECT_TRUE(ClaudeBody{}.today.isToday);
}

TEST(ClaudeBodyReader, GivesOneEntryPerDayTodayFirstWithOnlyTheEventsDayObserved) {
    Week w;
    w.log("app", agent(fromLocal(2026, 1, 4, 10, 30, 45)));
    ClaudeBody body = w.read();
    EXPECT_TRUE(body.available);
    ASSERT_EQ(body.days.size(), 7u);
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(body.days[k].daysAgo, k);
        EXPECT_EQ(body.days[k].isToday, k == 0);
        EXPECT_EQ(body.days[k].observed, k == 1);
    }
    EXPECT_EQ(body.today, ClaudeDay::empty(0));
    EXPECT_EQ(body.daysObserved, 1);
    EXPECT_EQ(body.days[1].firstHour, 10.5);
    EXPECT_EQ(body.days[1].lastTimestamp, fromLocal(2026, 1, 4, 10, 30, 45));
    EXPECT_EQ(body.days[1].userTurns, 0);
    EXPECT_EQ(body.days[1].distinctProjects, 1);
}

TEST(ClaudeBodyReader, MatchesOnlyTheExactTimestampFormAndBothTimeForms) {
    const std::vector<std::pair<std::string, int>> lines = {
        {R"({"type":"user","timestamp":"2026-01-05T09:00:00.123Z"})", 1},
        {R"({"type":"user","timestamp":"2026-01-05T09:00:00Z"})", 1},
        {R"({"type":"user","timestamp":"2026-01-05T10:00:00+01:00"})", 1},
        {R"({"type":"user","timestamp": "2026-01-05T09:00:00Z"})", 0},
        {R"({"type":"user","timestamp":"2026-01-05T09:00:00"})", 0},
        {R"({"type":"user","timestamp":"2026-01-05T09:00:00Z)", 0},
        {R"({"type":"user","Timestamp":"2026-01-05T09:00:00Z"})", 0},
        {R"({"type":"user","timestamp":"9999-01-05T09:00:00Z"})", 0},
        {R"(not json at all "timestamp":"2026-01-05T09:00:00Z" but matched as text "type":"user")", 1},
    };
    for (const auto& [line, turns] : lines) {
        SCOPED_TRACE(line);
        Week w;
        w.log("p", line + "\n");
        EXPECT_EQ(w.today().userTurns, turns);
    }
}

// Either key before `":"user"` makes a turn, wherever it stands; other keys, other spellings and
// a marker cut by the line's start do not.
TEST(ClaudeBodyReader, FindsTheUserMarkerAfterEitherKeyAnywhereInTheLine) {
    const std::string ts = R"("timestamp":"2026-01-05T09:00:00Z")";
    const std::vector<std::pair<std::string, int>> lines = {
        {"{" + ts + R"(,"type":"user"})", 1},
        {"{" + ts + R"(,"message":{"role":"user"}})", 1},
        {"{" + ts + R"(,"kind":"user","userType":"user","type":"user"})", 1},
        {"{" + ts + R"(,"xtype":"user","xrole":"user","Type":"user"})", 0},
        {"{" + ts + R"(,"type": "user","role":"users"})", 0},
        {R"(type":"user",)" + ts, 0},
        {R"(":"user" )" + ts, 0},
        {R"("role":"user")" + ts, 1},
    };
    for (const auto& [line, turns] : lines) {
        SCOPED_TRACE(line);
        Week w;
        w.log("p", line + "\n");
        EXPECT_EQ(w.today().userTurns, turns);
    }
}

TEST(ClaudeBodyReader, CountsUserTurnsByEitherPatternAndSwitchesBetweenTheirProjects) {
    Week w;
    w.log("a", turn(januaryLocal(9, 0)) + R"({"role":"user","timestamp":")" +
                   Iso8601::format(januaryLocal(9, 2)) + "\"}\n" + agent(januaryLocal(9, 3)) +
                   R"({"type":"User","timestamp":")" + Iso8601::format(januaryLocal(9, 4)) + "\"}\n");
    w.log("b", turn(januaryLocal(9, 1)) + agent(januaryLocal(9, 5)));
    ClaudeDay day = w.today();
    EXPECT_EQ(day.userTurns, 3);
    EXPECT_EQ(day.switches, 2);  // a, b, a
    EXPECT_EQ(day.distinctProjects, 2);
}

TEST(ClaudeBodyReader, ContinuesARunAcrossAGapOfExactly1200Seconds) {
    const std::vector<std::tuple<int, int>> gaps = {{1200, 20}, {1201, 0}};
    for (const auto& [gap, run] : gaps) {
        SCOPED_TRACE(gap);
        Week w;
        w.log("p", agent(januaryLocal(9)) + turn(addSeconds(januaryLocal(9), gap)));
        EXPECT_EQ(w.today().longestRunMin, run);
    }
    Week w;
    w.log("p", agent(januaryLocal(9)));
    EXPECT_EQ(w.today().longestRunMin, 0);
}

TEST(ClaudeBodyReader, MeasuresTheAfternoonFromNoonUntilJustBeforeFive) {
    test::ScopedTimeZone tz("Europe/Berlin");  // the cases' local times are made before each Week
    struct Case {
        std::vector<TimePoint> times;
        int span;
        bool longAfternoon;
    };
    const std::vector<Case> cases = {
        {{januaryLocal(12, 0), januaryLocal(12, 59)}, 59, false},
        {{januaryLocal(12, 0), januaryLocal(14, 0)}, 120, true},
        {{januaryLocal(11, 0), januaryLocal(12, 0), januaryLocal(16, 59, 59)}, 299, true},
        {{januaryLocal(12, 0), januaryLocal(17, 0)}, 0, false},
        {{januaryLocal(9, 0), januaryLocal(17, 30)}, 0, false},
    };
    for (const auto& c : cases) {
        Week w;
        std::string text;
        for (TimePoint t : c.times)
            text += agent(t);
        w.log("p", text);
        ClaudeDay day = w.today();
        EXPECT_EQ(day.afternoonSpanMin, c.span);
        EXPECT_EQ(day.longAfternoon, c.longAfternoon);
    }
}

TEST(ClaudeBodyReader, FlagsAFragmentedAfternoonByProjectsOrSwitches) {
    test::ScopedTimeZone tz("Europe/Berlin");  // the cases' local times are made before each Week
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, TimePoint>> turns;
        bool fragmented;
    };
    const std::vector<Case> cases = {
        {"three projects over an hour",
         {{"a", januaryLocal(12)}, {"b", januaryLocal(12, 30)}, {"c", januaryLocal(13)}},
         true},
        {"three projects over 59 minutes",
         {{"a", januaryLocal(12)}, {"b", januaryLocal(12, 30)}, {"c", januaryLocal(12, 59)}},
         false},
        {"four switches between two projects",
         {{"a", januaryLocal(12)},
          {"b", januaryLocal(12, 10)},
          {"a", januaryLocal(12, 20)},
          {"b", januaryLocal(12, 30)},
          {"a", januaryLocal(13)}},
         true},
        {"three switches between two projects",
         {{"a", januaryLocal(12)},
          {"b", januaryLocal(12, 10)},
          {"a", januaryLocal(12, 20)},
          {"b", januaryLocal(13)}},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Week w;
        std::map<std::string, std::string> logs;
        for (const auto& [project, t] : c.turns)
            logs[project] += turn(t);
        for (const auto& [project, text] : logs)
            w.log(project, text);
        EXPECT_EQ(w.today().fragmentedAfternoon, c.fragmented);
        EXPECT_EQ(w.read().fragmentedAfternoonsThisWeek, c.fragmented ? 1 : 0);
    }
}

TEST(ClaudeBodyReader, ReadsAttentionAndLoadFromTurnsProjectsAndRuns) {
    test::ScopedTimeZone tz("Europe/Berlin");  // the cases' local times are made before each Week
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, TimePoint>> turns;
        AttentionState attention;
        Load load;
    };
    auto series = [](const std::string& project, int count, int stepSeconds) {
        std::vector<std::pair<std::string, TimePoint>> out;
        for (int i = 0; i < count; ++i)
            out.push_back({project, addSeconds(januaryLocal(8), i * stepSeconds)});
        return out;
    };
    using Turns = std::vector<std::pair<std::string, TimePoint>>;
    auto join = [](Turns a, const Turns& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<Case> cases = {
        {"three turns in three projects",
         {{"a", januaryLocal(9)}, {"b", januaryLocal(9, 1)}, {"c", januaryLocal(9, 2)}},
         AttentionState::idle,
         Load::low},
        {"four turns in one project within an hour", series("a", 4, 600), AttentionState::focused, Load::low},
        {"four turns in two projects", join(series("a", 3, 60), series("b", 1, 60)),
         AttentionState::fragmented, Load::low},
        {"forty short-spaced turns in bursts", join(series("a", 20, 1), series("a", 20, 1)),
         AttentionState::focused, Load::high},
        {"a 150-minute run", series("a", 11, 900), AttentionState::focused, Load::high},
        {"a 149-minute run", join(series("a", 10, 900), Turns{{"a", addSeconds(januaryLocal(8), 149 * 60)}}),
         AttentionState::focused, Load::medium},
        {"a 45-minute run", series("a", 4, 900), AttentionState::focused, Load::medium},
        {"twelve turns", join(series("a", 6, 1), series("a", 6, 2)), AttentionState::focused, Load::medium},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Week w;
        std::map<std::string, std::string> logs;
        for (const auto& [project, t] : c.turns)
            logs[project] += turn(t);
        for (const auto& [project, text] : logs)
            w.log(project, text);
        ClaudeDay day = w.today();
        EXPECT_EQ(day.attention, c.attention);
        EXPECT_EQ(day.load, c.load);
    }
}

TEST(ClaudeBodyReader, SplitsDaysByTheLocalCalendarAcrossAClockChange) {
    // Summer time begins on 29 March 2026 at 02:00 in Berlin: that day has 23 hours.
    Week w;
    w.now = fromLocal(2026, 3, 30, 10);
    w.log("p", agent(fromLocal(2026, 3, 28, 23, 30)) + agent(fromLocal(2026, 3, 29, 0, 30)) +
                   agent(fromLocal(2026, 3, 30, 0, 0)) + agent(fromLocal(2026, 3, 30, 11, 0)));
    ClaudeBody body = w.read(3);
    ASSERT_EQ(body.days.size(), 3u);
    EXPECT_EQ(body.days[0].lastTimestamp,
              fromLocal(2026, 3, 30, 11, 0));  // a future event still counts today
    EXPECT_EQ(body.days[0].firstHour, 0.0);
    EXPECT_EQ(body.days[1].lastTimestamp, fromLocal(2026, 3, 29, 0, 30));
    EXPECT_EQ(body.days[2].lastTimestamp, fromLocal(2026, 3, 28, 23, 30));
}

TEST(ClaudeBodyReader, LeavesOutEventsBeforeTheOldestDayAndAfterToday) {
    Week w;
    // The window reaches back 8 × 24 h (to 18:00 on 28 December); the oldest day shown is 30 December.
    w.log("p", agent(fromLocal(2025, 12, 28, 17, 59)) + agent(fromLocal(2025, 12, 29, 20, 0)) +
                   agent(fromLocal(2025, 12, 30, 0, 0)) + agent(fromLocal(2026, 1, 6, 0, 0)));
    ClaudeBody body = w.read();
    EXPECT_EQ(body.daysObserved, 1);
    EXPECT_TRUE(body.days[6].observed);
    EXPECT_FALSE(body.today.observed);

    EXPECT_TRUE(w.read(0).days.empty());
    EXPECT_TRUE(w.read(0).available);
}

TEST(ClaudeBodyReader, CountsAClaudeProjectAndACodexProjectAsTwo) {
    Week w;
    w.log("app", turn(januaryLocal(9)));
    std::string codex = nlohmann::json{{"timestamp", Iso8601::format(januaryLocal(9, 5))},
                                       {"type", "event_msg"},
                                       {"payload", {{"type", "user_message"}}}}
                            .dump() +
                        "\n";
    writeFileModified(w.codex() / "2026/01/05/rollout.jsonl", codex, w.now);
    ClaudeDay day = w.today();
    EXPECT_EQ(day.distinctProjects, 2);
    EXPECT_EQ(day.userTurns, 2);
    EXPECT_EQ(day.switches, 1);
    EXPECT_EQ(day.lastTimestamp, januaryLocal(9, 5));
}

TEST(ClaudeBodyReader, ReadsOnlyTheTailOfALargeLogAndNothingOfASmallInvalidOne) {
    const std::string early = turn(januaryLocal(8));
    const std::string late = turn(januaryLocal(9));
    // `bad` goes right after the first line, or right before the last when `badLate`.
    auto padded = [&](std::size_t size, std::string_view bad = {}, bool badLate = false) {
        std::string text = early + (badLate ? "" : std::string(bad));
        text += std::string(size - text.size() - late.size() - 1 - (badLate ? bad.size() : 0), 'x');
        return text + (badLate ? std::string(bad) : "") + "\n" + late;
    };
    struct Case {
        const char* name;
        std::string text;
        int turns;
    };
    const std::vector<Case> cases = {
        {"600,000 bytes: only the last 512,000", padded(600'000), 1},
        {"512,000 bytes: read whole", padded(512'000), 2},
        {"512,000 bytes with one invalid byte: nothing", padded(512'000, "\xC3"), 0},
        {"600,000 bytes with an invalid byte in the tail", padded(600'000, "\xC3", true), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Week w;
        w.log("p", c.text);
        EXPECT_EQ(w.today().userTurns, c.turns);
    }
}

TEST(ClaudeBodyReader, StopsReadingFilesOnceFortyMillionBytesAreCharged) {
    // Each 600,000-byte log is charged 512,000: after 78 logs 64,000 bytes are left, so the 79th
    // is still read and the 80th, the oldest, is not.
    Week w;
    const std::string padding(600'000 - turn(januaryLocal(9)).size() - 1, 'x');
    for (int i = 0; i < 80; ++i) {
        writeFileModified(w.projects() / ("p" + std::to_string(i)) / "s.jsonl",
                          padding + "\n" + turn(januaryLocal(9)), addSeconds(w.now, -60.0 * i));
    }
    ClaudeDay day = w.today();
    EXPECT_EQ(day.distinctProjects, 79);
    EXPECT_EQ(day.userTurns, 79);
}

TEST(ClaudeBodyReader, TakesOnlyJsonlFilesOfProjectFoldersModifiedInTheWindow) {
    Week w;
    const std::string line = turn(januaryLocal(9));
    w.log("p", line, "a.jsonl");
    w.log("p", line, "b.JSONL");
    w.log("p", line, "c.json");
    w.log(".hidden-project", line, ".hidden.jsonl");
    writeFileModified(w.projects() / "loose.jsonl", line, w.now);
    writeFileModified(w.projects() / "p/nested/d.jsonl", line, w.now);
    writeFileModified(w.projects() / "p/old.jsonl", line,
                      w.now - std::chrono::hours(24 * 8) - std::chrono::seconds(1));
    writeFileModified(w.projects() / "p/edge.jsonl", line, w.now - std::chrono::hours(24 * 8));
    ClaudeDay day = w.today();
    EXPECT_EQ(day.userTurns, 3);  // a, edge and the hidden project's log
    EXPECT_EQ(day.distinctProjects, 2);
}

TEST(ClaudeBody, MarksTheWeekAndSummarisesToday) {
    test::ScopedTimeZone tz("Europe/Berlin");
    ClaudeBody body;
    body.available = true;
    for (int k = 0; k < 3; ++k)
        body.days.push_back(ClaudeDay::empty(k));
    body.days[0].observed = true;
    body.days[0].longestRunMin = 119;
    body.days[0].attention = AttentionState::fragmented;
    body.days[0].load = Load::medium;
    body.days[2].observed = true;
    body.days[2].longAfternoon = true;
    body.days[2].fragmentedAfternoon = true;
    body.today = body.days[0];
    body.daysObserved = 2;
    body.longAfternoonsThisWeek = 1;
    body.fragmentedAfternoonsThisWeek = 1;

    auto marks = body.weekMarks();
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_EQ(marks[0], (AgentSummary::DayMark{0, true, true, false, false}));
    EXPECT_EQ(marks[1], (AgentSummary::DayMark{1, false, false, false, false}));
    EXPECT_EQ(marks[2], (AgentSummary::DayMark{2, false, true, true, true}));
    EXPECT_TRUE(ClaudeBody{}.weekMarks().empty());

    AgentSummary summary = body.toSummary(test::at("2026-01-05T11:30:00Z"), -3, true);  // 12:30 in Berlin
    EXPECT_EQ(summary.schemaVersion, 1);
    EXPECT_EQ(summary.profile, AgentProfile::work);
    EXPECT_EQ(summary.skyConfirmedGood, true);
    EXPECT_EQ(summary.summary.nudgesAlreadyThisWeek, 0);
    EXPECT_EQ(summary.summary.daysObserved, 2);
    EXPECT_EQ(summary.summary.longAfternoonsThisWeek, 1);
    EXPECT_EQ(summary.summary.fragmentedAfternoonsThisWeek, 1);
    EXPECT_EQ(summary.summary.today, (AgentSummary::Today{PartOfDay::afternoon, ScreenBand::oneToTwo,
                                                          AttentionState::fragmented, Load::medium, false}));

    body.today.longestRunMin = 120;
    EXPECT_EQ(
        body.toSummary(test::at("2026-01-05T11:30:00Z"), 4, std::nullopt).summary.today.continuousScreenBand,
        ScreenBand::twoToThree);
    EXPECT_EQ(body.toSummary(test::at("2026-01-05T11:30:00Z"), 4, std::nullopt).summary.nudgesAlreadyThisWeek,
              4);
    EXPECT_EQ(body.toSummary(test::at("2026-01-05T05:00:00Z"), 0, std::nullopt).summary.today.partOfDay,
              PartOfDay::morning);
}

TEST(AgentSummary, MapsHoursToPartsOfDayAndMinutesToScreenBands) {
    const std::vector<std::pair<int, PartOfDay>> hours = {
        {-1, PartOfDay::night},   {5, PartOfDay::night},      {6, PartOfDay::morning},
        {11, PartOfDay::morning}, {12, PartOfDay::afternoon}, {17, PartOfDay::afternoon},
        {18, PartOfDay::evening}, {20, PartOfDay::evening},   {21, PartOfDay::night},
    };
    for (const auto& [hour, part] : hours)
        EXPECT_EQ(partOfDayOf(hour), part) << hour;
    const std::vector<std::pair<int, ScreenBand>> minutes = {
        {-5, ScreenBand::under1h},    {59, ScreenBand::under1h},     {60, ScreenBand::oneToTwo},
        {119, ScreenBand::oneToTwo},  {120, ScreenBand::twoToThree}, {179, ScreenBand::twoToThree},
        {180, ScreenBand::overThree},
    };
    for (const auto& [m, band] : minutes)
        EXPECT_EQ(screenBandOf(m), band) << m;
}

// The benchmark's week at a smaller scale (tails cut at their limit, long answers, tool output,
// Codex sessions beside them), pinned field by field as the reader has always read it.
TEST(ClaudeBodyReader, ReadsTheBenchmarkWeekAsItAlwaysHas) {
    test::TestHome home;
    test::ScopedTimeZone tz{"Europe/Berlin"};
    const TimePoint now = test::at("2026-01-05T17:00:00Z");
    test::BenchCorpora::writeClaudeLogs(home.path() / ".claude/projects", now, 24, 560'000);
    test::BenchCorpora::writeCodexLogs(home.path() / ".codex/sessions", now, 30);

    const ClaudeBody body = ClaudeBodyReader::read(now, 7);
    std::ostringstream out;
    out << body.available << ' ' << body.daysObserved << ' ' << body.longAfternoonsThisWeek << ' '
        << body.fragmentedAfternoonsThisWeek;
    for (const ClaudeDay& d : body.days) {
        out << " |" << d.daysAgo << ' ' << d.isToday << d.observed << ' ' << d.userTurns << ' ' << d.longestRunMin
            << ' ' << d.afternoonSpanMin << ' ' << d.distinctProjects << ' ' << d.switches << ' '
            << d.firstHour.value_or(-1) << ' '
            << (d.lastTimestamp ? d.lastTimestamp->time_since_epoch().count() : 0) << ' ' << toString(d.attention)
            << ' ' << toString(d.load) << ' ' << d.longAfternoon << d.fragmentedAfternoon;
    }
    EXPECT_EQ(out.str(), "1 7 2 5 |0 11 771 448 241 10 241 0.2 1767625397456000000 fragmented high 11 |1 01 628 147 225 10 106 3.21667 1767567053456000000 fragmented high 11 |2 01 306 106 102 4 3 0 1767472195123000000 fragmented high 01 |3 01 299 93 47 4 3 2.06667 1767394756123000000 fragmented high 00 |4 01 263 99 99 3 2 5.11667 1767296486123000000 fragmented high 01 |5 01 336 97 90 4 3 1.18333 1767220567123000000 fragmented high 01 |6 01 257 97 36 3 2 4.16667 1767120281123000000 fragmented high 00");
    EXPECT_EQ(body.today, body.days.front());
}

}  // namespace
}  // namespace quillfen
