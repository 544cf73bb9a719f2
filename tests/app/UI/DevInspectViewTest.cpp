#include "UI/DevInspectView.h"

#include <gtest/gtest.h>

#include <QPushButton>

#include "UI/DevInspectParts.h"
#include "UI/InspectModel.h"
#include "UI/Theme.h"
#include "support/FixedClock.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"
#include "support/TestEnvironment.h"
#include "support/TextFits.h"
#include "support/WidgetTree.h"

namespace quillfen {
namespace {

using test::at;
using test::child;
using test::colourOf;
using test::shown;
using test::textOf;

struct Dev {
    TimePoint now = at("2026-03-04T15:20:07Z");
    InspectModel model{now};
    test::SteppedMotion motion;
    DevInspectView view{model, [this] { return now; }, nullptr, motion.driver};
    Dev() {
        view.setReduceMotion(true);
        test::settle(view, 580, 640);
    }
};

TEST(DevInspectView, AFreshModelShowsEveryPlaceholder) {
    Dev d;
    EXPECT_EQ(textOf(d.view, "meterStatus"), "120 minutes from where a nudge could even form");
    EXPECT_EQ(textOf(d.view, "fireThreshold"), "  / 120 min");
    EXPECT_DOUBLE_EQ(child<MeterBar>(d.view, "meter")->state().fraction, 0);
    EXPECT_EQ(textOf(d.view, "activeSince"), "\u2014");
    EXPECT_EQ(textOf(d.view, "longestStretch"), "longest 0m unbroken");
    EXPECT_TRUE(shown(d.view, "aiUnavailable"));
    EXPECT_FALSE(shown(d.view, "aiDetails"));
    EXPECT_TRUE(shown(d.view, "calendarUnavailable"));
    EXPECT_EQ(textOf(d.view, "calendarUnavailable"), "grant access \u2014 counts only");
    EXPECT_EQ(textOf(*child(d.view, "switchesTile"), "tileLabel"), "SWITCHES / HR");
    EXPECT_EQ(textOf(d.view, "idleSeconds"), "0s");
    EXPECT_FALSE(shown(d.view, "restraintNote"));
    EXPECT_EQ(textOf(*child(d.view, "powerChip"), "chipDetail"), "plugged in");
    EXPECT_EQ(textOf(d.view, "decisionTitle"), "Silent");
    EXPECT_FALSE(shown(d.view, "decisionReason"));
    EXPECT_FALSE(shown(d.view, "recentCard")) << "the ask card follows the why card directly";
    EXPECT_TRUE(shown(d.view, "cloudHint"));
    EXPECT_FALSE(shown(d.view, "cloudLine") || shown(d.view, "cloudStatus") || shown(d.view, "cloudReasoning"));
    EXPECT_EQ(textOf(d.view, "updated"), "updated " + DevInspectView::timeOfDay(d.now).toStdString());
}

TEST(DevInspectView, UpdatedReadsAsATimeOfDayInTheLocalesStyle) {
    test::ScopedTimeZone tz("Europe/Berlin");
    const TimePoint t = at("2026-03-04T15:20:07Z");
    EXPECT_EQ(DevInspectView::timeOfDay(t, QLocale::c()).toStdString(), "16:20:07");
    const QString american = DevInspectView::timeOfDay(t, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(american.startsWith(QStringLiteral("4:20:07"))) << american.toStdString();
    EXPECT_FALSE(american.contains(QStringLiteral("CET")));
}

TEST(DevInspectView, TimeAtTheScreenAgainstTheBar) {
    struct Case {
        int continuous, threshold;
        double fraction;
        const char* status;
    };
    const char* past = "past the bar \u2014 a nudge can form if the day\u2019s pattern earns it";
    for (const Case& c : {Case{0, 120, 0, "120 minutes from where a nudge could even form"},
                          Case{90, 120, 0.75, "30 minutes from where a nudge could even form"},
                          Case{120, 120, 1, past}, Case{0, 0, 0, past}, Case{200, 120, 1, past}}) {
        Dev d;
        d.model.setContinuousMin(c.continuous);
        d.model.setFireThresholdMin(c.threshold);
        EXPECT_EQ(textOf(d.view, "meterStatus"), c.status) << c.continuous << "/" << c.threshold;
        EXPECT_DOUBLE_EQ(child<MeterBar>(d.view, "meter")->state().fraction, c.fraction);
    }
    for (const auto& [fraction, width] : {std::pair{0.0, 3.0}, {0.5, 100.0}, {1.7, 200.0}, {-1.0, 3.0}}) {
        EXPECT_DOUBLE_EQ(MeterBar::fillWidth(fraction, 200), width) << fraction;
    }
}

TEST(DevInspectView, ReasonTilesWordTheirValues) {
    Dev d;
    InspectModel& m = d.model;
    m.setAiAvailable(true);
    m.setCalAuthorized(true);
    struct Span {
        int minutes;
        const char* label;
    };
    for (const Span& s : {Span{59, "59m"}, Span{60, "1h"}, Span{61, "1h 1m"}}) {
        m.setAiActiveSpanMin(s.minutes);
        EXPECT_EQ(textOf(d.view, "aiActiveSpan"), s.label);
    }
    m.setAiLastActiveMinAgo(0);
    EXPECT_EQ(textOf(d.view, "aiLastActive"), "active now");
    m.setAiLastActiveMinAgo(7);
    EXPECT_EQ(textOf(d.view, "aiLastActive"), "7m ago");
    m.setAiLastActiveMinAgo(std::nullopt);
    EXPECT_FALSE(shown(d.view, "aiLastActive"));
    m.setAiSwitchesToday(9);
    EXPECT_EQ(colourOf(child(d.view, "aiRun")), Theme::brown50());
    m.setAiSwitchesToday(10);
    EXPECT_EQ(colourOf(child(d.view, "aiRun")), Theme::terra());
    EXPECT_EQ(textOf(d.view, "aiRun"), "longest run 0m \u00b7 0 projects \u00b7 10 switches");

    m.setCalBusyMin(95);
    EXPECT_EQ(textOf(d.view, "calBusy"), "95m booked");
    EXPECT_EQ(colourOf(child(d.view, "calBusy")), Theme::brown50());
    m.setCalBackToBack(2);
    EXPECT_EQ(textOf(d.view, "calBusy"), "2 back-to-back");
    EXPECT_EQ(colourOf(child(d.view, "calBusy")), Theme::terra());

    m.setActiveSinceLabel("9:06");
    m.setLateNight(true);
    EXPECT_EQ(textOf(d.view, "activeSince"), "since 9:06");
    EXPECT_EQ(textOf(d.view, "longestStretch"), "longest 0m unbroken \u00b7 still going");
    EXPECT_EQ(colourOf(child(d.view, "longestStretch")), Theme::terra());

    for (const auto& [attention, colour] : {std::pair<std::string, QColor>{"idle", Theme::brown50()},
                                            {"fragmented", Theme::terra()}, {"focused", Theme::greenActive()},
                                            {"Focused", Theme::brown50()}}) {
        m.setAttention(attention);
        EXPECT_EQ(child<StateChip>(d.view, "attentionChip")->colour(), colour) << attention;
    }
}

TEST(DevInspectView, PowerAndRestraint) {
    struct Case {
        bool onBattery;
        std::optional<int> percent;
        const char* detail;
    };
    for (const Case& c : {Case{true, 64, "battery \u00b7 64%"}, Case{false, 100, "plugged \u00b7 100%"},
                          Case{false, std::nullopt, "plugged in"}, Case{true, std::nullopt, "on battery"}}) {
        Dev d;
        d.model.setOnBattery(c.onBattery);
        d.model.setBatteryPercent(c.percent);
        const auto* power = child<RestraintChip>(d.view, "powerChip");
        EXPECT_EQ(textOf(*power, "chipDetail"), c.detail);
        EXPECT_EQ(power->active(), c.onBattery);
    }
    Dev d;
    d.model.setMicInUse(true);
    d.model.setRestraintNote("you\u2019re on a call");
    EXPECT_EQ(textOf(d.view, "restraintNote"), "holding quiet \u00b7 you\u2019re on a call");
    EXPECT_EQ(textOf(*child(d.view, "callChip"), "chipDetail"), "mic is live");
    EXPECT_EQ(colourOf(child(*child(d.view, "callChip"), "chipLabel")), Theme::greenDeep());
}

TEST(DevInspectView, ReasonsAreColouredByTheirMark) {
    Dev d;
    d.model.setWhyFactors({"\u2192 verdict: stay silent", "\u2717 off-hours \u2014 outside isn\u2019t the move",
                           "\u00b7 no call or deep-focus stretch to protect", "\u2713"});
    struct Row {
        const char* mark;
        QColor markColour;
        const char* body;
        QFont::Weight weight;
        QColor bodyColour;
    };
    const Row rows[] = {
        {"\u2192", Theme::greenDeep(), "verdict: stay silent", QFont::DemiBold, Theme::greenDeep()},
        {"\u2717", Theme::terra(), "off-hours \u2014 outside isn\u2019t the move", QFont::Normal, Theme::brown70()},
        {"\u00b7", Theme::brown50(), "no call or deep-focus stretch to protect", QFont::Normal, Theme::brown70()},
        {"\u2713", Theme::greenActive(), "", QFont::Normal, Theme::brown70()},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const QWidget* row = child(d.view, ("why" + std::to_string(i)).c_str());
        EXPECT_EQ(textOf(*row, "mark"), rows[i].mark);
        EXPECT_EQ(colourOf(child(*row, "mark")), rows[i].markColour);
        EXPECT_EQ(textOf(*row, "body"), rows[i].body);
        EXPECT_EQ(child<QLabel>(*row, "body")->font().weight(), rows[i].weight);
        EXPECT_EQ(colourOf(child(*row, "body")), rows[i].bodyColour);
    }
    d.model.setDecisionLog({"15:20:07  silent \u00b7 notEarnedYet"});
    EXPECT_TRUE(shown(d.view, "recentCard"));
    EXPECT_EQ(textOf(d.view, "decision0"), "15:20:07  silent \u00b7 notEarnedYet");
    EXPECT_EQ(child<QLabel>(d.view, "decision0")->font().family(), Theme::mono(11).family());
}

TEST(DevInspectView, TheCloudCardAndTheTwoActions) {
    Dev d;
    int refreshes = 0;
    int asks = 0;
    d.model.onRefresh = [&] { ++refreshes; };
    d.model.onAskIlvane = [&] { ++asks; };
    child<QPushButton>(d.view, "refreshButton")->click();
    child<QPushButton>(d.view, "askButton")->click();
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(asks, 1);

    d.model.setCloudLine(std::string());
    EXPECT_TRUE(shown(d.view, "cloudLine")) << "an empty line is still a line, not the hint";
    EXPECT_FALSE(shown(d.view, "cloudHint"));
    EXPECT_FALSE(shown(d.view, "cloudSource"));
    EXPECT_TRUE(child<QLabel>(d.view, "cloudLine")->font().italic());
    d.model.setCloudSource("rendered: mind");
    d.model.setCloudReasoning("the week");
    EXPECT_TRUE(shown(d.view, "cloudSource"));
    EXPECT_EQ(textOf(d.view, "cloudReasoning"), "\u201cthe week\u201d");
}

TEST(DevInspectView, AtItsNarrowestEveryTextStillFits) {
    Dev d;
    InspectModel& m = d.model;
    m.setAiAvailable(true);
    m.setAiActiveSpanMin(11 * 60 + 55);
    m.setAiSwitchesToday(120);
    m.setAiProjectsToday(14);
    m.setCalAuthorized(true);
    m.setCalMeetingsToday(12);
    m.setAttention("fragmented");
    m.setAppSwitchesLastHour(1234);
    m.setIdleSeconds(86400);
    m.setOnBattery(true);
    m.setBatteryPercent(100);
    m.setWhyFactors({"✓ today is a long scattered day (150m longest run, 14 project switches)"});
    m.setCloudLine("The afternoons are long this week, and today is one more of them.");
    test::settle(d.view, 520, 420);
    EXPECT_EQ(test::clippedTexts(&d.view), std::vector<std::string>{});
}

TEST(DevInspectParts, LoadMeterLightsByLevel) {
    const QColor dim = Theme::faded(Theme::hairline(), 0.5);
    const QColor muted = Theme::faded(Theme::terra(), 0.7);
    using C = std::array<QColor, 3>;
    EXPECT_EQ(LoadMeter::colours(0), (C{Theme::greenActive(), dim, dim}));
    EXPECT_EQ(LoadMeter::colours(1), (C{muted, muted, dim}));
    EXPECT_EQ(LoadMeter::colours(5), (C{Theme::terra(), Theme::terra(), Theme::terra()}));
    EXPECT_EQ(LoadMeter::colours(-1), (C{dim, dim, dim}));
}

TEST(DevInspectParts, WeekStripSizesEachDayAndLettersItByWeekday) {
    test::ScopedTimeZone tz("Europe/Berlin");
    const TimePoint wednesday = at("2026-03-04T15:20:00Z");
    test::SteppedMotion motion;
    using Mark = AgentSummary::DayMark;
    WeekStrip strip({}, {"S", "M", "T", "W", "T", "F", "S"}, [&] { return wednesday; }, nullptr, motion.driver);
    EXPECT_EQ(strip.height(), 100);
    EXPECT_TRUE(strip.columns().empty());
    struct Case {
        Mark mark;
        qreal height;
        QColor fill;
    };
    for (const Case& c : {Case{{0, true, false, false, false}, 8, Theme::faded(Theme::hairline(), 0.5)},
                          Case{{1, false, true, false, false}, 38, Theme::faded(Theme::greenActive(), 0.55)},
                          Case{{2, false, true, false, true}, 38, Theme::faded(Theme::greenActive(), 0.55)},
                          Case{{3, false, true, true, false}, 76, Theme::greenDeep()},
                          Case{{4, false, true, true, true}, 76, Theme::terra()}}) {
        EXPECT_EQ(WeekStrip::barHeight(c.mark), c.height) << c.mark.daysAgo;
        EXPECT_EQ(WeekStrip::barFill(c.mark), c.fill) << c.mark.daysAgo;
    }
    EXPECT_EQ(strip.letter({0, true, true, false, false}), "W");
    EXPECT_EQ(strip.letter({3, false, true, false, false}), "S");

    // The list's last mark stands leftmost; a changed bar springs to its new height.
    strip.setDays({{0, true, true, false, false}, {1, false, false, false, false}});
    test::settle(strip, 300, 100);
    EXPECT_EQ(strip.columns().front().daysAgo, 1);
    strip.setDays({{0, true, true, true, false}, {1, false, false, false, false}});
    motion.advance(0.1);
    const qreal rising = strip.columns().back().barHeight;
    EXPECT_GT(rising, 38);
    EXPECT_LT(rising, 76);
    motion.advance(3);
    EXPECT_EQ(strip.columns().back().barHeight, 76);
}

TEST(DevInspectParts, ARestraintChipFadesInOverFourTenthsOfASecond) {
    test::SteppedMotion motion;
    RestraintChip chip(QStringLiteral("On a call"), false, QStringLiteral("mic idle"), nullptr, motion.driver);
    test::settle(chip, 120, 60);
    chip.setChip(true, QStringLiteral("mic is live"));
    EXPECT_EQ(colourOf(chip.label()), Theme::greenDeep());
    motion.advance(0.2);
    EXPECT_NEAR(chip.litness(), 0.5, 0.05);
    motion.advance(0.2);
    EXPECT_EQ(chip.litness(), 1);
    EXPECT_EQ(chip.dotColour(), Theme::terra());
    EXPECT_EQ(chip.boxState().stroke, Theme::faded(Theme::terra(), 0.35));
}

}  // namespace
}  // namespace quillfen
