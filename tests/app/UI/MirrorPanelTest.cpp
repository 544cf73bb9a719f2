#include "UI/MirrorPanel.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <functional>

#include "UI/InspectModel.h"
#include "UI/MirrorModel.h"
#include "UI/StoneBeing.h"
#include "UI/Theme.h"
#include "support/FixedClock.h"
#include "support/PaintCounter.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"
#include "support/TextFits.h"
#include "support/WidgetTree.h"

namespace quillfen {
namespace {

using test::at;
using test::child;
using test::shown;
using test::textOf;

struct Mirror {
    TimePoint now = at("2026-03-04T15:20:00Z");
    InspectModel inspect{now};
    MirrorModel model;
    test::SteppedMotion motion;
    int reconnects = 0;

    std::unique_ptr<MirrorPanel> panel(bool settings, bool quit, bool reconnect) {
        MirrorPanel::Actions actions;
        if (settings) actions.onSettings = [] {};
        if (quit) actions.onQuit = [] {};
        if (reconnect) actions.onReconnect = [this] { ++reconnects; };
        return std::make_unique<MirrorPanel>(model, inspect, actions, [this] { return now; }, nullptr, motion.driver);
    }
};

std::vector<std::string> visibleRows(const QWidget& root, const char* container) {
    std::vector<std::string> names;
    for (QObject* o : child(root, container)->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w != nullptr && w->isVisibleTo(&root)) names.push_back(w->objectName().toStdString());
    }
    return names;
}

TEST(MirrorPanel, AFreshModelShowsTheDayAndTheWeekWithoutBanners) {
    Mirror m;
    auto panel = m.panel(true, true, true);
    test::settle(*panel, 580, 640);
    EXPECT_EQ(textOf(*panel, "title"), "your rhythm");
    EXPECT_EQ(textOf(*panel, "todaySection"), "today");
    EXPECT_EQ(textOf(*panel, "weekSection"), "this week");
    for (const char* hidden : {"reflectionLine", "deadmanBanner", "connectionBanner", "todayDecisionsFact"}) {
        EXPECT_FALSE(shown(*panel, hidden)) << hidden;
    }
    for (const char* visible : {"todayStrip", "todayAxis", "numbers", "hills", "weekdays", "privacy"}) {
        EXPECT_TRUE(shown(*panel, visible)) << visible;
    }
    std::vector<std::string> counts;
    for (const char* n : {"longestRunMin", "switchesPerHour", "pullsLast10m", "pullsToday", "loopsToday"}) {
        counts.push_back(textOf(*panel, n));
    }
    EXPECT_EQ(counts, (std::vector<std::string>{"0m", "0", "0", "0", "0"}));
    EXPECT_EQ(visibleRows(*panel, "facts"),
              (std::vector<std::string>{"atScreenFact", "thisWeekFact", "rightNowFact", "timesSpokenFact"}));

    // Without a reflection the section label follows the header's own 14 points.
    const QWidget* header = child(*panel, "header");
    const QWidget* today = child(*panel, "todaySection");
    EXPECT_EQ(today->mapTo(panel.get(), QPoint(0, 0)).y(),
              header->mapTo(panel.get(), QPoint(0, header->height())).y() + 14);
}

TEST(MirrorPanel, BannersFollowTheDeadmanSignalAndTheMindConnection) {
    struct Case {
        const char* name;
        DeadmanSignal deadman;
        MindConnection connection;
        bool reconnectClosure;
        std::optional<std::string> deadmanLine;
        std::optional<std::string> connectionLine;
        bool button;
    };
    const DeadmanSignal awake{DeadmanSignal::State::awake()};
    const DeadmanSignal notSensing{DeadmanSignal::State::notSensing()};
    for (const Case& c :
         {Case{"all well", awake, MindConnection::connected, true, std::nullopt, std::nullopt, false},
          Case{"off", awake, MindConnection::off, true, std::nullopt, std::nullopt, false},
          Case{"not sensing, needs connection", notSensing, MindConnection::needsConnection, true,
               "not sensing right now", "your claude isn't connected", true},
          Case{"needs connection, nobody to reconnect", awake, MindConnection::needsConnection, false, std::nullopt,
               "your claude isn't connected", false},
          Case{"not installed", awake, MindConnection::notInstalled, true, std::nullopt,
               "claude isn't set up on this machine", false}}) {
        SCOPED_TRACE(c.name);
        Mirror m;
        m.model.setDeadman(c.deadman);
        m.model.setMindConnection(c.connection);
        auto panel = m.panel(false, false, c.reconnectClosure);
        test::settle(*panel, 580, 640);
        EXPECT_EQ(shown(*panel, "deadmanBanner"), c.deadmanLine.has_value());
        EXPECT_EQ(shown(*panel, "connectionBanner"), c.connectionLine.has_value());
        if (c.deadmanLine) {
            EXPECT_EQ(textOf(*child(*panel, "deadmanBanner"), "line"), *c.deadmanLine);
        }
        if (c.connectionLine) {
            EXPECT_EQ(textOf(*child(*panel, "connectionBanner"), "line"), *c.connectionLine);
        }
        EXPECT_EQ(shown(*panel, "reconnectButton"), c.button);
        if (c.button) {
            child<QPushButton>(*panel, "reconnectButton")->click();
            EXPECT_EQ(m.reconnects, 1);
        }
    }
}

TEST(MirrorPanel, TheFooterShowsOnlyTheActionsItWasGiven) {
    struct Case {
        bool settings, quit;
    };
    for (const Case& c : {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}}) {
        Mirror m;
        auto panel = m.panel(c.settings, c.quit, false);
        test::settle(*panel, 580, 640);
        const bool footer = c.settings || c.quit;
        EXPECT_EQ(panel->findChild<QWidget*>("footer") != nullptr, footer);
        EXPECT_EQ(panel->findChild<QWidget*>("footerRule") != nullptr, footer);
        EXPECT_EQ(panel->findChild<QPushButton*>("settingsButton") != nullptr, c.settings);
        EXPECT_EQ(panel->findChild<QPushButton*>("quitButton") != nullptr, c.quit);
        if (c.settings != c.quit) {
            // A lone button is pushed to the trailing edge, inside the footer's 22 points.
            const QWidget* button = c.settings ? child(*panel, "settingsButton") : child(*panel, "quitButton");
            EXPECT_EQ(button->geometry().right() + 1, child(*panel, "footer")->width() - 22);
        }
    }
}

TEST(MirrorPanel, AFullDayShowsSevenFactsAndWrapsWithinItsPaddings) {
    Mirror m;
    m.model.setReflectionLine("Two long afternoons this week, and today ran long again before lunch.");
    m.model.setTodayDecisionsFact("spoke at 9:05 \u00b7 one fresh start");
    m.model.setHeldTodayFact("a ten minute hold at 15:20, yours to keep or delete");
    m.inspect.setOutsideFact("good light out right now");
    m.inspect.setBrowserFact("1 tab switch this hour, 45 min in the browser today");
    auto panel = m.panel(true, true, true);
    for (int width : {460, 1200}) {
        test::settle(*panel, width, 900);
        EXPECT_EQ(visibleRows(*panel, "facts"),
                  (std::vector<std::string>{"atScreenFact", "thisWeekFact", "rightNowFact", "outsideFact",
                                            "browserFact", "heldTodayFact", "timesSpokenFact"}));
        EXPECT_EQ(textOf(*child(*panel, "heldTodayFact"), "title"), "Held for you");
        EXPECT_EQ(child(*panel, "facts")->mapTo(panel.get(), QPoint(0, 0)).x(), 34);
        const QWidget* privacy = child(*panel, "privacy");
        EXPECT_LE(privacy->width(), 460) << width;
        EXPECT_EQ(test::clippedTexts(panel.get()), std::vector<std::string>{}) << width;
        EXPECT_EQ(privacy->mapTo(panel.get(), QPoint(0, 0)).x(), 34) << width;
    }
    const QLabel* reflection = child<QLabel>(*panel, "reflectionLine");
    EXPECT_TRUE(reflection->wordWrap());
    EXPECT_EQ(reflection->font().family(), Theme::serif(16).family());
    EXPECT_EQ(reflection->font().pixelSize(), 16);
}

TEST(MirrorPanel, TheStoneWearsTheModelsFaceAndBreathesOnlyWhileTheWindowLives) {
    Mirror m;
    auto panel = m.panel(true, true, true);
    test::settle(*panel, 580, 640);
    auto* stone = dynamic_cast<StoneBeing*>(child(*panel, "stone"));
    ASSERT_NE(stone, nullptr);
    EXPECT_EQ(stone->size(), QSize(66, 44));
    EXPECT_EQ(stone->state().shape.identity, StoneIdentity::fallback());
    EXPECT_EQ(stone->state().shape.face, StoneFace::calm);
    m.model.publishFace({90, true, m.now, 5, DisplayState::awake}, m.now, 90, true);
    EXPECT_EQ(stone->state().shape.face, StoneFace::strained);
    m.model.publishFace(FaceEvidence::neverSensed(), m.now, 0, false);
    m.motion.advance(1);
    EXPECT_FALSE(m.motion.driver.idle()) << "a calm stone breathes";
    panel.reset();
    EXPECT_TRUE(m.motion.driver.idle()) << "a closed window leaves nothing waiting or moving";
}

// Runs `seconds` of motion in twentieths of a second, letting the paints it asks for happen.
void breathe(Mirror& m, double seconds) {
    for (int step = 0; step < static_cast<int>(seconds * 20 + 0.5); ++step) {
        m.motion.advance(0.05);
        QCoreApplication::processEvents();
    }
}

TEST(MirrorPanel, ABreathRepaintsTheStoneAloneAndOnlyAsItsEdgeMovesByHalfAPixel) {
    Mirror m;
    auto panel = m.panel(true, true, true);
    test::settle(*panel, 580, 640);
    auto* stone = dynamic_cast<StoneBeing*>(child(*panel, "stone"));
    ASSERT_NE(stone, nullptr);
    test::PaintCounter onStone, onHeader, onContent;
    stone->installEventFilter(&onStone);
    child(*panel, "header")->installEventFilter(&onHeader);
    child(*panel, "mirrorContent")->installEventFilter(&onContent);
    double low = 2, high = 0;
    for (int frame = 0; frame < 600; ++frame) {
        breathe(m, 0.05);
        low = std::min(low, stone->state().breathScale);
        high = std::max(high, stone->state().breathScale);
    }
    // Thirty seconds hold nine to twelve halves of a breath; each swells or shrinks the stone,
    // 66 points wide, by two points: a paint or two on the way and one at its end.
    EXPECT_GT(high - low, 0.02);
    EXPECT_GE(onStone.paints, 9);
    EXPECT_LE(onStone.paints, 12 * 3);
    EXPECT_EQ(onHeader.paints, 0);
    EXPECT_EQ(onContent.paints, 0);
}

TEST(MirrorPanel, TheStoneRestsWhileItCannotBeSeenAndBreathesOnFromWhereItStood) {
    auto scrollTo = [](QWidget& panel, bool end) {
        QScrollBar* bar = child<QScrollArea>(panel, "scroll")->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 120) << "the stone can be scrolled out of view";
        bar->setValue(end ? bar->maximum() : 0);
    };
    const struct {
        const char* name;
        std::function<void(QWidget&)> putAway, bringBack;
    } cases[] = {
        {"minimised", [](QWidget& p) { p.showMinimized(); }, [](QWidget& p) { p.showNormal(); }},
        {"scrolled out of view", [&](QWidget& p) { scrollTo(p, true); }, [&](QWidget& p) { scrollTo(p, false); }},
        {"closed", [](QWidget& p) { p.hide(); }, [](QWidget& p) { p.show(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Mirror m;
        auto panel = m.panel(true, true, true);
        test::settle(*panel, 460, 390);
        auto* stone = dynamic_cast<StoneBeing*>(child(*panel, "stone"));
        ASSERT_NE(stone, nullptr);
        // A second into its first in-breath, two fifths of some six seconds.
        breathe(m, 1);
        ASSERT_TRUE(stone->seen());
        c.putAway(*panel);
        test::settle();
        EXPECT_FALSE(stone->seen());
        EXPECT_TRUE(m.motion.driver.idle()) << "nothing moves or waits, so nothing wakes the application";
        const double held = stone->state().breathScale;
        test::PaintCounter paints;
        stone->installEventFilter(&paints);
        breathe(m, 20);
        EXPECT_EQ(paints.paints, 0);
        EXPECT_EQ(stone->state().breathScale, held);

        c.bringBack(*panel);
        test::settle();
        EXPECT_TRUE(stone->seen());
        EXPECT_EQ(stone->state().breathScale, held) << "it goes on from where it stood";
        breathe(m, 0.5);
        EXPECT_NE(stone->state().breathScale, held);
        EXPECT_NEAR(stone->state().breathScale, held, 0.01);
        breathe(m, 3);
        EXPECT_GT(paints.paints, 0);
    }
}

}  // namespace
}  // namespace quillfen
