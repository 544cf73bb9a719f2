#include "UI/OnboardingScreen.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>

#include "UI/StoneBeing.h"
#include "UI/TextBlock.h"
#include "UI/TextButton.h"
#include "UI/Theme.h"
#include "support/FixedClock.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"

namespace quillfen {
namespace {

using Beat = OnboardingBeat;
using Entry = OnboardingModel::Entry;

QString textOf(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
    if (const auto* block = dynamic_cast<const TextBlock*>(w)) return block->text();
    ADD_FAILURE() << "no text in " << w->objectName().toStdString();
    return {};
}

QColor textColourOf(const QWidget* w) {
    if (const auto* button = dynamic_cast<const TextButton*>(w)) return button->look().text;
    return w->palette().color(w->foregroundRole());
}

// A click as the window system delivers it: to the innermost widget under the point, from
// where it travels up until a widget takes it.
void clickAt(QWidget* root, QPoint at) {
    QWidget* target = root->childAt(at);
    if (target == nullptr) target = root;
    const QPointF local = target->mapFrom(root, at);
    const QPointF global = target->mapToGlobal(local);
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, local, global, Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
}

void typeInto(QWidget* widget, const QString& text) {
    QKeyEvent event(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &event);
}

void press(QWidget* widget, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// StoneBeing is no QObject type of its own, so Qt's typed search would match any widget.
std::vector<StoneBeing*> stonesIn(const QWidget* root) {
    std::vector<StoneBeing*> stones;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (auto* stone = dynamic_cast<StoneBeing*>(w)) stones.push_back(stone);
    }
    return stones;
}

StoneIdentity quartz() {
    return *StoneIdentity::make(1, "quartz-a119", StoneMaterial::quartz, StoneTemperament::observant, "a119", 1);
}

class OnboardingScreenTest : public ::testing::Test {
protected:
    OnboardingScreen& open(Beat beat, Entry entry = Entry::firstRun) {
        auto model = std::make_unique<OnboardingModel>(beat, entry, clock);
        model->requestNotifications = [this](auto done) { notifications = std::move(done); };
        model->applyBoundary = [this](InterruptBoundary b) { applied.push_back(b); };
        model->save = [this](const Promise& p) {
            saved.push_back(p);
            return writes;
        };
        model->onDone = [this] { ++done; };
        screen = std::make_unique<OnboardingScreen>(std::move(model), nullptr, motion.driver);
        screen->show();
        screen->activateWindow();
        EXPECT_TRUE(test::spinUntil([&] { return screen->isActiveWindow(); }));
        return *screen;
    }

    template <typename T = QWidget>
    T* find(const char* name) {
        auto* found = screen->currentStepPage()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void tap(const char* name) { find<QAbstractButton>(name)->click(); }
    OnboardingModel& model() { return screen->model(); }

    test::FixedClock clock{test::at("2026-01-05T14:03:00Z")};
    test::SteppedMotion motion;
    std::unique_ptr<OnboardingScreen> screen;
    OnboardingModel::Completion notifications;
    std::vector<InterruptBoundary> applied;
    std::vector<Promise> saved;
    bool writes = true;
    int done = 0;
};

TEST_F(OnboardingScreenTest, EveryStepIsFramedByItsCopyAndItsActions) {
    for (Entry entry : {Entry::firstRun, Entry::changeNote}) {
        for (Beat beat : kAllOnboardingBeats) {
            SCOPED_TRACE(OnboardingBeats::rawValue(beat) + 10 * static_cast<int>(entry));
            open(beat, entry);
            const bool firstRun = entry == Entry::firstRun;
            EXPECT_EQ(screen->findChild<QWidget*>("topline")->isVisible(), firstRun);
            EXPECT_EQ(screen->findChild<QWidget*>("stepMarks")->accessibleName(),
                      QString("step %1 of 7").arg(std::min(OnboardingBeats::rawValue(beat), 6) + 1));
            EXPECT_EQ(find("stepBody")->layout()->contentsMargins().top(), firstRun ? 18 : 44);
            EXPECT_EQ(textOf(find("eyebrow")), QString::fromUtf8(OnboardingBeats::eyebrow(beat)));
            const auto headline = OnboardingBeats::headline(beat);
            // The one-moment and promise steps open on their own content.
            EXPECT_EQ(screen->currentStepPage()->findChild<QWidget*>("headline") != nullptr, !headline.empty());
            EXPECT_EQ(screen->currentStepPage()->findChild<QWidget*>("lead") != nullptr,
                      !OnboardingBeats::lead(beat).empty());
            if (!headline.empty()) {
                EXPECT_EQ(textOf(find("headline")), QString::fromUtf8(headline));
            }

            EXPECT_EQ(textOf(find("primaryButton")), QString::fromUtf8(OnboardingBeats::primaryAction(beat)));
            auto* secondary = screen->currentStepPage()->findChild<TextButton*>("secondaryButton");
            ASSERT_EQ(secondary != nullptr, OnboardingBeats::secondaryAction(beat).has_value());
            if (secondary) {
                EXPECT_EQ(textOf(secondary), QString::fromUtf8(*OnboardingBeats::secondaryAction(beat)));
            }
            auto* back = screen->currentStepPage()->findChild<TextButton*>("backButton");
            EXPECT_EQ(back != nullptr, firstRun && beat != Beat::recognition);
            if (back) {
                EXPECT_EQ(textOf(back), "Back");
            }
        }
    }
}

TEST_F(OnboardingScreenTest, ButtonsMoveTheFlowAsTheirStepSays) {
    struct Case {
        Beat beat;
        Entry entry;
        const char* button;
        Beat after;
        int done;
    };
    const Case cases[] = {
        {Beat::recognition, Entry::firstRun, "primaryButton", Beat::reading, 0},
        {Beat::reading, Entry::firstRun, "backButton", Beat::recognition, 0},
        {Beat::optionalContext, Entry::firstRun, "primaryButton", Beat::boundary, 0},
        {Beat::optionalContext, Entry::firstRun, "secondaryButton", Beat::boundary, 0},
        {Beat::oneMoment, Entry::firstRun, "secondaryButton", Beat::promise, 0},
        {Beat::promise, Entry::firstRun, "secondaryButton", Beat::settled, 0},
        {Beat::promise, Entry::changeNote, "secondaryButton", Beat::promise, 1},
        {Beat::settled, Entry::firstRun, "backButton", Beat::promise, 0},
        {Beat::settled, Entry::firstRun, "primaryButton", Beat::settled, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.button) + " on step " + std::to_string(OnboardingBeats::rawValue(c.beat)));
        done = 0;
        open(c.beat, c.entry);
        model().setCalendarGrant(ContextGrantState::declined);
        tap(c.button);
        EXPECT_EQ(model().beat(), c.after);
        EXPECT_EQ(textOf(find("primaryButton")), QString::fromUtf8(OnboardingBeats::primaryAction(c.after)));
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(model().calendarGrant(), ContextGrantState::declined);
        EXPECT_TRUE(saved.empty());
        EXPECT_FALSE(notifications);
    }

    // Allowing notifications waits for the answer, whatever it is.
    open(Beat::oneMoment);
    tap("primaryButton");
    EXPECT_EQ(model().beat(), Beat::oneMoment);
    ASSERT_TRUE(notifications);
    notifications();
    EXPECT_EQ(model().beat(), Beat::promise);
}

TEST_F(OnboardingScreenTest, TheFirstStepsShowTheStoneTheReadingAndTheSources) {
    open(Beat::recognition);
    EXPECT_EQ(textOf(find("identityLine")), "pebble \u00B7 seed 1c7e");
    EXPECT_EQ(find<StoneBeing>("stone")->state().shape.width, 150);
    model().setIdentity(quartz());
    EXPECT_EQ(textOf(find("identityLine")), "quartz \u00B7 seed a119");
    EXPECT_EQ(find<StoneBeing>("stone")->state().shape.identity, quartz());

    model().setBeat(Beat::reading);
    struct Reading {
        std::optional<WorkReading> reading;
        QString headline;
        bool dot;
        std::optional<QString> detail;
    };
    const Reading readings[] = {
        {std::nullopt, "Reading this computer\u2019s local traces", false, std::nullopt},
        {WorkReading::today(45, 50, 2), "A work session is active", true, "50 minutes \u00B7 2 projects"},
        {WorkReading{"Quiet", std::nullopt, false}, "Quiet", false, std::nullopt},
    };
    for (const Reading& r : readings) {
        model().setReading(r.reading);
        EXPECT_EQ(textOf(find("readingHeadline")), r.headline);
        EXPECT_EQ(find("readingDot")->isVisible(), r.dot);
        EXPECT_EQ(find("readingDetail")->isVisible(), r.detail.has_value());
        if (r.detail) {
            EXPECT_EQ(textOf(find("readingDetail")), *r.detail);
        }
    }
    // Sees, Never, Leaves, each below a hairline, and one more under the last.
    QStringList order;
    QLayout* body = find("stepBody")->layout();
    for (int i = 0; i < body->count(); ++i) {
        if (QWidget* w = body->itemAt(i)->widget(); w && w->objectName() != "eyebrow" && w->objectName() != "headline" &&
                                                       w->objectName() != "lead") {
            order << w->objectName();
        }
    }
    EXPECT_EQ(order.join(' ').toStdString(), "divider seesRow divider neverRow divider leavesRow divider");

    model().setBeat(Beat::workSources);
    EXPECT_TRUE(find("stepBody")->findChildren<QWidget*>("sourceRow").isEmpty());
    EXPECT_TRUE(find("sourcesNote")->isVisible());
    model().setSources(WorkSourceRegistry::sources([](std::string_view path) { return path == ".codex/sessions"; }));
    const auto rows = find("stepBody")->findChildren<QWidget*>("sourceRow");
    ASSERT_EQ(rows.size(), 3);
    const std::pair<QString, QColor> words[] = {
        {"not here yet", Theme::ink3()}, {"found", Theme::moss()}, {"needs the browser extension", Theme::ink3()}};
    for (int i = 0; i < 3; ++i) {
        auto* word = rows[i]->findChild<QLabel*>("presenceWord");
        EXPECT_EQ(textOf(word), words[i].first);
        EXPECT_EQ(textColourOf(word), words[i].second);
        // The word keeps to the top of its row, level with the name, however the row grows.
        EXPECT_EQ(word->geometry().top(), rows[i]->findChild<QLabel*>("sourceName")->geometry().top());
    }
}

TEST_F(OnboardingScreenTest, AGrantRowOffersToAskOnlyUntilItHasAnAnswer) {
    open(Beat::optionalContext);
    model().requestCalendar = [](auto answer) { answer(false); };
    model().setWeatherGrant(ContextGrantState::allowed);
    auto* calendar = find("calendarRow");
    auto* weather = find("weatherRow");
    EXPECT_TRUE(calendar->findChild<QWidget*>("allowButton")->isVisible());
    EXPECT_FALSE(weather->findChild<QWidget*>("allowButton")->isVisible());
    EXPECT_EQ(textOf(weather->findChild<QLabel*>("grantWord")), "Allowed");
    EXPECT_EQ(textColourOf(weather->findChild<QLabel*>("grantWord")), Theme::moss());

    calendar->findChild<QAbstractButton*>("allowButton")->click();
    EXPECT_EQ(model().beat(), Beat::optionalContext);
    EXPECT_FALSE(calendar->findChild<QWidget*>("allowButton")->isVisible());
    EXPECT_EQ(textOf(calendar->findChild<QLabel*>("grantWord")), "Not allowed");
    EXPECT_EQ(textColourOf(calendar->findChild<QLabel*>("grantWord")), Theme::ink3());
}

TEST_F(OnboardingScreenTest, AClickAnywhereOnABoundaryRowChoosesItAndAppliesItAtOnce) {
    open(Beat::boundary);
    const auto rows = find("stepBody")->findChildren<RowButton*>("boundaryRow");
    ASSERT_EQ(rows.size(), 3);
    auto checked = [&] {
        std::vector<bool> marks;
        for (auto* row : rows) marks.push_back(row->isChecked());
        return marks;
    };
    EXPECT_EQ(checked(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(textOf(rows[0]->findChild<QLabel*>("rowTitle")), "Only when it\u2019s unmistakable");

    QWidget* page = screen->currentStepPage();
    // The empty space to the right of the first row's texts.
    clickAt(page, rows[0]->mapTo(page, QPoint(rows[0]->width() - 4, rows[0]->height() / 2)));
    EXPECT_EQ(model().boundary(), InterruptBoundary::unmistakable);
    EXPECT_EQ(checked(), (std::vector<bool>{true, false, false}));
    // On the third row's note.
    auto* note = rows[2]->findChild<QLabel*>("rowNote");
    clickAt(page, note->mapTo(page, note->rect().center()));
    clickAt(page, note->mapTo(page, note->rect().center()));
    EXPECT_EQ(checked(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(applied, (std::vector<InterruptBoundary>{InterruptBoundary::unmistakable,
                                                       InterruptBoundary::onlyWhenAsked,
                                                       InterruptBoundary::onlyWhenAsked}));

    model().setBeat(Beat::oneMoment);
    EXPECT_EQ(textOf(find("exampleLine")), "\u201CHere is the shape of today. Nothing needed from you.\u201D");
    EXPECT_EQ(textOf(find("becauseLine")), "Because you allowed: never, until I ask.");
    EXPECT_TRUE(find("notificationPreview")->isVisible());
}

TEST_F(OnboardingScreenTest, ChipsWriteTheSentenceAndEnableTheNote) {
    open(Beat::promise);
    auto* sentence = find<TextBlock>("sentence");
    auto* primary = find<TextButton>("primaryButton");
    const auto dayChips = find("dayChips")->findChildren<TextButton*>("dayChip");
    const auto moveChips = find("moveChips")->findChildren<TextButton*>("moveChip");
    ASSERT_EQ(dayChips.size(), 3);
    ASSERT_EQ(moveChips.size(), 5);
    EXPECT_TRUE(stonesIn(screen->currentStepPage()).empty()) << "no stone in a first run";

    struct Step {
        const char* name;
        std::function<void()> act;
        QString sentence;
        bool enabled;
    };
    const Step steps[] = {
        {"fresh", [] {}, "When I\u2019ve had the day, I\u2019ll \u2026.", false},
        {"a day", [&] { dayChips[0]->click(); }, "When I\u2019ve had a heavy afternoon, I\u2019ll \u2026.", false},
        {"two moves, picked out of order",
         [&] {
             moveChips[1]->click();
             moveChips[0]->click();
         },
         "When I\u2019ve had a heavy afternoon, I\u2019ll walk to the corner and back.", true},
        {"own day, nothing typed", [&] { tap("dayOwnChip"); },
         "When I\u2019ve had the day, I\u2019ll walk to the corner and back.", false},
        {"own day typed", [&] { typeInto(find("dayCustom"), "  a long week "); },
         "When I\u2019ve had a long week, I\u2019ll walk to the corner and back.", true},
        {"moves taken away",
         [&] {
             moveChips[0]->click();
             moveChips[1]->click();
         },
         "When I\u2019ve had a long week, I\u2019ll \u2026.", false},
        {"own move on with text", [&] { tap("moveOwnChip"), typeInto(find("moveCustom"), "look up"); },
         "When I\u2019ve had a long week, I\u2019ll look up.", true},
        {"own move off again", [&] { tap("moveOwnChip"); }, "When I\u2019ve had a long week, I\u2019ll \u2026.", false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        EXPECT_EQ(sentence->text(), step.sentence);
        const auto& runs = sentence->runs();
        ASSERT_EQ(runs.size(), 5u);
        EXPECT_TRUE(runs[1].underline && runs[3].underline);
        EXPECT_EQ(runs[1].colour, runs[1].text == "the day" ? Theme::ink3() : Theme::ink());
        EXPECT_EQ(primary->isEnabled(), step.enabled);
        EXPECT_EQ(primary->look().text, step.enabled ? Theme::ink() : Theme::ink3());
        EXPECT_EQ(primary->look().underline.has_value(), step.enabled);
    }
    EXPECT_TRUE(dayChips[0]->look() == dayChips[1]->look()) << "a preset is off while the own day is chosen";
    EXPECT_EQ(find<TextButton>("dayOwnChip")->look().fill, Theme::field());

    tap("moveOwnChip");
    writes = false;
    tap("primaryButton");
    EXPECT_EQ(model().beat(), Beat::promise);
    EXPECT_TRUE(find("keepFailedNote")->isVisible()) << "a note that was not written is not kept";
    writes = true;
    tap("primaryButton");
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved.back().dayPhrase, "a long week");
    EXPECT_EQ(saved.back().moves.at(0).phrase, "look up");
    EXPECT_EQ(model().beat(), Beat::settled);
}

TEST_F(OnboardingScreenTest, AVeryLongNoteScrollsAboveAnActionRowThatStaysInTheWindow) {
    open(Beat::promise, Entry::changeNote);
    model().setDayChoiceIndex(1);
    tap("moveOwnChip");
    QString note;
    for (int i = 0; i < 80; ++i) note += "and then a little further ";
    typeInto(find("moveCustom"), note + QString(300, 'x'));
    QApplication::processEvents();

    const QRect window = screen->rect();
    for (const char* name : {"primaryButton", "secondaryButton"}) {
        auto* button = find(name);
        EXPECT_TRUE(button->isVisible());
        EXPECT_TRUE(window.contains(QRect(button->mapTo(screen.get(), QPoint(0, 0)), button->size()))) << name;
    }
    auto* scroll = find<QScrollArea>("stepContent");
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
    EXPECT_LE(find("sentence")->width(), scroll->viewport()->width()) << "a long word wraps, never widens";
    // The field being typed into is scrolled into view.
    auto* field = find("moveCustom");
    EXPECT_TRUE(scroll->viewport()->rect().contains(
        QRect(field->mapTo(scroll->viewport(), QPoint(0, 0)), field->size())));
}

TEST_F(OnboardingScreenTest, TheStonesStandWhereTheirStepsPutThem) {
    struct Stone {
        qreal width;
        bool fades;
        bool operator==(const Stone&) const = default;
    };
    struct Case {
        Beat beat;
        Entry entry;
        std::vector<Stone> stones;
    };
    const Case cases[] = {
        {Beat::recognition, Entry::firstRun, {{150, true}}},
        {Beat::oneMoment, Entry::firstRun, {{110, true}}},
        {Beat::promise, Entry::firstRun, {}},
        {Beat::promise, Entry::changeNote, {{58, true}}},
        {Beat::settled, Entry::firstRun, {{13, false}, {58, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(OnboardingBeats::rawValue(c.beat));
        open(c.beat, c.entry);
        model().setIdentity(quartz());
        std::vector<Stone> shown;
        for (auto* stone : stonesIn(screen->currentStepPage())) {
            shown.push_back({stone->state().shape.width, stone->state().fadesWhileBreathing});
            EXPECT_EQ(stone->state().shape.face, StoneFace::calm);
            EXPECT_EQ(stone->state().shape.identity, quartz());
        }
        EXPECT_EQ(shown, c.stones);
    }
    EXPECT_EQ(textOf(find("settledNote")), "It starts with your computer. You can turn that off in settings.");
}

TEST_F(OnboardingScreenTest, AStepChangeFadesOverAboutHalfASecondUnlessMotionIsReduced) {
    open(Beat::recognition);
    tap("primaryButton");
    ASSERT_TRUE(screen->fadingStepOpacity());
    EXPECT_DOUBLE_EQ(*screen->fadingStepOpacity(), 1);
    motion.advance(0.21);
    ASSERT_TRUE(screen->fadingStepOpacity());
    EXPECT_NEAR(*screen->fadingStepOpacity(), 0.5, 1e-6);
    motion.advance(0.22);
    EXPECT_FALSE(screen->fadingStepOpacity());

    screen->setReduceMotion(true);
    tap("primaryButton");
    EXPECT_EQ(model().beat(), Beat::workSources);
    EXPECT_FALSE(screen->fadingStepOpacity());
    for (auto* stone : stonesIn(screen.get())) EXPECT_TRUE(stone->state().reduceMotion);
}

TEST_F(OnboardingScreenTest, TheKeyboardReachesEveryControlAndEscapeHidesTheWindow) {
    open(Beat::boundary);
    const auto rows = find("stepBody")->findChildren<RowButton*>("boundaryRow");
    ASSERT_EQ(rows.size(), 3);
    const std::vector<QWidget*> order = {rows[0], rows[1], rows[2], find("primaryButton"), find("backButton")};
    screen->setFocus();
    std::vector<QWidget*> visited;
    for (std::size_t i = 0; i < order.size(); ++i) {
        press(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(visited, order);

    rows[2]->setFocus(Qt::TabFocusReason);
    press(rows[2], Qt::Key_Return);
    EXPECT_EQ(model().boundary(), InterruptBoundary::onlyWhenAsked);

    // Enter on the way on lands on the next step's way on.
    find("primaryButton")->setFocus(Qt::TabFocusReason);
    press(QApplication::focusWidget(), Qt::Key_Enter);
    EXPECT_EQ(model().beat(), Beat::oneMoment);
    EXPECT_EQ(QApplication::focusWidget(), find("primaryButton"));

    press(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(screen->isVisible());
    EXPECT_EQ(done, 0) << "closing is not finishing";
}

}  // namespace
}  // namespace quillfen
