#include "Signals/BrowserRhythm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Support/Iso8601.h"
#include <sstream>
#include "support/BenchCorpora.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;
using test::ScopedTimeZone;
using test::TestHome;
using test::writeFile;

std::string browserLine(std::string_view ts, std::string_view event) {
    return "{\"ts\":\"" + std::string(ts) + "\",\"event\":\"" + std::string(event) + "\"}\n";
}

BrowserRhythm::Sample sample(std::string_view ts, BrowserEvent event) {
    return {at(ts), event};
}

TEST(BrowserRhythm, NothingUsableReadsAsEmpty) {
    TestHome home;
    const auto journal = BrowserRhythm::canonicalURL();
    EXPECT_EQ(journal, home.familyDirectory() / "browser-rhythm.jsonl");
    const TimePoint now = at("2026-01-05T14:00:00Z");

    auto expectEmpty = [&](const char* what) {
        auto rhythm = BrowserRhythm::read(journal);
        EXPECT_TRUE(rhythm.isEmpty()) << what;
        EXPECT_EQ(rhythm.tabSwitches(3600, now), 0) << what;
        EXPECT_EQ(rhythm.activeMinutesToday(now, 1800), 0) << what;
    };
    expectEmpty("missing");
    writeFile(journal, "");
    expectEmpty("empty");
    writeFile(journal, "\n\n  \n\t\n");
    expectEmpty("blank lines");
    writeFile(journal, browserLine("2026-01-05T13:30:00Z", "tab_switch") + "\xc3\x28\n");
    expectEmpty("not UTF-8");
}

TEST(BrowserRhythm, DropsEachMalformedLineAndKeepsTheRest) {
    TestHome home;
    std::string journal;
    journal += browserLine("2026-01-05T10:00:03Z", "tab_switch");
    journal += "not json at all\n";
    journal += "[\"2026-01-05T10:00:00Z\",\"tab_switch\"]\n";
    journal += "42\n";
    journal += "{\"event\":\"tab_switch\"}\n";
    journal += "{\"ts\":1767607200,\"event\":\"tab_switch\"}\n";
    journal += browserLine("2026-01-05 10:00:00Z", "tab_switch");
    journal += browserLine("2026-01-05T10:00:00", "tab_switch");
    journal += browserLine("Mon, 05 Jan 2026 10:00:00 GMT", "tab_switch");
    journal += browserLine("2026-02-30T10:00:00Z", "tab_switch");
    journal += browserLine("2026-01-05T10:00:00Z", "tab_closed");
    journal += browserLine("2026-01-05T10:00:00Z", "TAB_SWITCH");
    journal += "{\"ts\":\"2026-01-05T10:00:00Z\"}\n";
    journal += "{\"ts\":\"2026-01-05T10:00:00Z\",\"event\":null}\n";
    journal += "{\"ts\":\"2026-01-05T10:00:00Z\",\"event\":3}\n";
    journal += "{\"ts\":\"2026-01-05T10:00:00Z\",\"event\":\"tab_sw";  // a write cut short
    journal +=
        "\n{\"ts\":\"2026-01-05T11:00:01+01:00\",\"event\":\"window_focus\",\"tabId\":7,\"url\":null}\n";
    journal += "  {\"ts\":\"2026-01-05T10:00:02.250Z\",\"event\":\"idle\"}\t\r\n";
    journal += "{\"ts\":\"2026-01-05T10:00:04Z\",\"event\":\"active\"}";  // no final line feed
    writeFile(BrowserRhythm::canonicalURL(), journal);

    auto rhythm = BrowserRhythm::read(BrowserRhythm::canonicalURL());
    std::vector<BrowserRhythm::Sample> want = {
        sample("2026-01-05T10:00:01Z", BrowserEvent::windowFocus),
        sample("2026-01-05T10:00:02.250Z", BrowserEvent::idle),
        sample("2026-01-05T10:00:03Z", BrowserEvent::tabSwitch),
        sample("2026-01-05T10:00:04Z", BrowserEvent::active),
    };
    EXPECT_EQ(rhythm.samples(), want);
}

TEST(BrowserRhythm, OnlyTheNewestPartOfAnEndlessJournalIsRead) {
    TestHome home;
    const std::size_t limit = BrowserRhythm::readLimitBytes;
    const std::string old = browserLine("2026-01-05T13:00:00Z", "tab_switch");
    // The limit falls just after "xx": what is left of this line would read as a record.
    const std::string cut = "xx" + browserLine("2026-01-05T13:10:00Z", "tab_switch");
    const std::string newest =
        browserLine("2026-01-05T13:20:00Z", "tab_switch") + browserLine("2026-01-05T13:30:00Z", "tab_switch");
    std::string filler;
    const std::string longLine = std::string(100 * 1024, 'x') + "\n";
    const std::size_t fillerSize = limit - newest.size() - (cut.size() - 2);
    while (filler.size() + longLine.size() < fillerSize)
        filler += longLine;
    filler += std::string(fillerSize - filler.size() - 1, 'y') + "\n";
    const std::string journal = old + cut + filler + newest;
    ASSERT_EQ(journal.size() - limit, old.size() + 2);
    writeFile(BrowserRhythm::canonicalURL(), journal);

    auto rhythm = BrowserRhythm::read(BrowserRhythm::canonicalURL());
    EXPECT_EQ(rhythm.samples(), (std::vector<BrowserRhythm::Sample>{
                                    sample("2026-01-05T13:20:00Z", BrowserEvent::tabSwitch),
                                    sample("2026-01-05T13:30:00Z", BrowserEvent::tabSwitch),
                                }));
}

TEST(BrowserRhythm, CountsTabSwitchesInAWindowThatIncludesBothEnds) {
    const TimePoint now = at("2026-01-05T14:00:00Z");
    BrowserRhythm rhythm({
        sample("2026-01-05T12:59:59Z", BrowserEvent::tabSwitch),  // one second too early
        sample("2026-01-05T13:00:00Z", BrowserEvent::tabSwitch),  // exactly the window
        sample("2026-01-05T13:30:00Z", BrowserEvent::windowFocus),
        sample("2026-01-05T13:30:00Z", BrowserEvent::tabSwitch),
        sample("2026-01-05T14:00:00Z", BrowserEvent::tabSwitch),
        sample("2026-01-05T14:00:01Z", BrowserEvent::tabSwitch),  // after now
    });
    EXPECT_EQ(rhythm.tabSwitches(3600, now), 3);
    EXPECT_EQ(rhythm.tabSwitches(0, now), 1);
}

struct Spans {
    std::string name;
    std::vector<std::pair<const char*, BrowserEvent>> events;  // local times on 2026-01-05
    const char* now;
    double cap;
    int minutes;
};

class BrowserRhythmActive : public testing::TestWithParam<Spans> {};

TEST_P(BrowserRhythmActive, AddsCappedSpansOfTheLocalDay) {
    ScopedTimeZone tz(test::kBerlin);
    auto localInstant = [](const char* hms) { return at(std::string("2026-01-05T") + hms + "+01:00"); };
    std::vector<BrowserRhythm::Sample> samples;
    for (const auto& [when, event] : GetParam().events) {
        // Times before "00:00" are written as "-HH:MM:SS" on the day before.
        if (when[0] == '-') {
            samples.push_back({at(std::string("2026-01-04T") + (when + 1) + "+01:00"), event});
        } else {
            samples.push_back({localInstant(when), event});
        }
    }
    EXPECT_EQ(BrowserRhythm(samples).activeMinutesToday(localInstant(GetParam().now), GetParam().cap),
              GetParam().minutes);
}

using E = BrowserEvent;
INSTANTIATE_TEST_SUITE_P(
    Cases, BrowserRhythmActive,
    testing::Values(
        Spans{"FocusThenBlur",
              {{"10:00:00", E::windowFocus}, {"10:20:00", E::windowBlur}},
              "12:00:00",
              1800,
              20},
        Spans{"ASpanIsCapped",
              {{"10:00:00", E::windowFocus}, {"10:45:00", E::windowBlur}},
              "12:00:00",
              1800,
              30},
        Spans{"ASecondOpeningDoesNotRestart",
              {{"10:00:00", E::windowFocus}, {"10:10:00", E::active}, {"10:15:00", E::idle}},
              "12:00:00",
              1800,
              15},
        Spans{"OpenSpanRunsToNow", {{"11:50:00", E::active}}, "12:00:00", 1800, 10},
        Spans{"OpenSpanToNowIsCapped", {{"09:00:00", E::active}}, "12:00:00", 1800, 30},
        Spans{"TabSwitchesAloneAreNotUse",
              {{"10:00:00", E::tabSwitch}, {"10:30:00", E::tabSwitch}},
              "12:00:00",
              1800,
              0},
        Spans{"ClosingWithoutOpeningIsNothing",
              {{"10:00:00", E::windowBlur}, {"10:05:00", E::idle}},
              "12:00:00",
              1800,
              0},
        Spans{"NoSpanCarriesOverMidnight",
              {{"-23:50:00", E::windowFocus}, {"00:10:00", E::windowBlur}},
              "12:00:00",
              1800,
              0},
        Spans{"EventsAfterNowAreIgnored",
              {{"11:00:00", E::windowFocus}, {"13:00:00", E::windowBlur}},
              "11:10:00",
              1800,
              10},
        Spans{
            "Spans89SecondsRoundTo1", {{"10:00:00", E::active}, {"10:01:29", E::idle}}, "12:00:00", 1800, 1},
        Spans{
            "Spans90SecondsRoundTo2",
            {{"10:00:00", E::active}, {"10:00:45", E::idle}, {"10:01:00", E::active}, {"10:01:45", E::idle}},
            "12:00:00",
            1800,
            2},
        Spans{
            "Spans29SecondsRoundTo0", {{"10:00:00", E::active}, {"10:00:29", E::idle}}, "12:00:00", 1800, 0},
        Spans{"BlurThenFocusInOneSecondReopens",
              {{"10:00:00", E::windowFocus},
               {"10:10:00", E::windowBlur},
               {"10:10:00", E::windowFocus},
               {"10:20:00", E::windowBlur}},
              "12:00:00",
              1800,
              20},
        Spans{"FocusThenBlurInOneSecondStaysShut",
              {{"10:00:00", E::windowFocus},
               {"10:10:00", E::windowFocus},
               {"10:10:00", E::windowBlur},
               {"10:20:00", E::windowBlur}},
              "12:00:00",
              1800,
              10}),
    [](const auto& info) { return info.param.name; });

TEST(BrowserRhythm, KeepsTheJournalOrderOfEventsAtOneInstant) {
    TestHome home;
    ScopedTimeZone tz(test::kBerlin);
    writeFile(BrowserRhythm::canonicalURL(), browserLine("2026-01-05T10:20:00Z", "window_blur") +
                                                 browserLine("2026-01-05T10:10:00Z", "window_blur") +
                                                 browserLine("2026-01-05T10:10:00Z", "window_focus") +
                                                 browserLine("2026-01-05T10:00:00Z", "window_focus"));
    auto rhythm = BrowserRhythm::read(BrowserRhythm::canonicalURL());
    ASSERT_EQ(rhythm.samples().size(), 4u);
    EXPECT_EQ(rhythm.samples()[1].event, BrowserEvent::windowBlur);
    EXPECT_EQ(rhythm.samples()[2].event, BrowserEvent::windowFocus);
    EXPECT_EQ(rhythm.activeMinutesToday(at("2026-01-05T12:00:00Z"), 1800), 20);
}

// The benchmark's journals, whole and cut to the newest part, pinned as they have always read.
TEST(BrowserRhythm, ReadsTheBenchmarkJournalAsItAlwaysHas) {
    TestHome home;
    ScopedTimeZone zone{"Europe/Berlin"};
    const TimePoint now = at("2026-01-01T18:00:00Z");
    for (std::size_t bytes : {std::size_t{1} << 20, std::size_t{6} << 20}) {
        writeFile(BrowserRhythm::canonicalURL(), test::BenchCorpora::journal(bytes, true));
        const BrowserRhythm rhythm = BrowserRhythm::read(BrowserRhythm::canonicalURL());
        std::ostringstream out;
        for (const auto& s : rhythm.samples())
            out << s.ts.time_since_epoch().count() << toString(s.event) << ';';
        EXPECT_EQ(std::to_string(rhythm.samples().size()) + " " + std::to_string(test::BenchCorpora::digest(out.str())) +
                      " " + std::to_string(rhythm.tabSwitches(3600, now)) + " " +
                      std::to_string(rhythm.activeMinutesToday(now, 1800)),
                  bytes == (std::size_t{1} << 20) ? "21042 6321583989696742683 171 300" : "84166 7329555675654736388 0 0");
    }
}

}  // namespace
}  // namespace quillfen
