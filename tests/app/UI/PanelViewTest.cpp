#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>

#include "UI/AskExpand.h"
#include "UI/GroundingView.h"
#include "UI/PanelView.h"
#include "UI/ParagraphLabel.h"
#include "UI/PlainTextButton.h"
#include "UI/StoneBeing.h"
#include "UI/Theme.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"

namespace quillfen {
namespace {

NudgeCopy ask(std::string one, std::string two = {}, std::optional<MoveLabel> move = MoveLabel::stepOutside) {
    NudgeCopy n;
    n.notificationTitle = "not shown";
    n.panelMeta = "not shown either";
    n.panelLineOne = std::move(one);
    n.panelLineTwo = std::move(two);
    n.primaryButton = "Step outside";
    n.dismissButton = "Not now";
    n.moveLabel = move;
    return n;
}

struct Panel {
    test::SteppedMotion motion;
    PanelModel model;
    std::unique_ptr<PanelView> view;

    explicit Panel(std::optional<PanelMirror> mirror = std::nullopt) {
        view = std::make_unique<PanelView>(model, std::move(mirror), WindowPresence{}, nullptr, motion.driver);
        view->show();
        settle();
    }
    void settle() {
        QApplication::processEvents();
        // What the panel let go of goes when the event loop next turns.
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        view->resize(view->sizeHint());
        QApplication::processEvents();
    }
    void to(double t) {
        motion.advance(t - motion.seconds);
        settle();
    }
    template <typename T = QWidget>
    T* find(const char* name) const {
        return view->findChild<T*>(name);
    }
    // Every text on screen, top to bottom and left to right, as "name: text".
    std::vector<std::string> shown() const {
        std::vector<std::pair<QPoint, std::string>> found;
        for (QWidget* w : view->findChildren<QWidget*>()) {
            if (!w->isVisible()) continue;
            QString text;
            if (auto* label = qobject_cast<ParagraphLabel*>(w)) text = label->text();
            else if (auto* button = qobject_cast<PlainTextButton*>(w)) text = button->text();
            else continue;
            QPoint at = w->mapTo(view.get(), QPoint(0, 0));
            found.emplace_back(QPoint(at.x(), at.y()), (w->objectName() + ": " + text).toStdString());
        }
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
            return a.first.y() != b.first.y() ? a.first.y() < b.first.y() : a.first.x() < b.first.x();
        });
        std::vector<std::string> texts;
        for (auto& [at, text] : found) texts.push_back(text);
        return texts;
    }
};

const std::vector<std::string> kFooter = {"quietButton: Rarely", "balancedButton: Balanced", "offButton: Off",
                                          "settingsButton: Settings", "quitButton: Quit"};
const std::vector<std::string> kObservingFooter = {"settingsButton: Settings", "quitButton: Quit"};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(PanelView, ShowsWhatEachConditionCallsFor) {
    struct Case {
        const char* name;
        bool observeOnly;
        std::optional<NudgeCopy> nudge;
        bool grounding;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {"calm", false, std::nullopt, false,
         std::vector<std::string>{"headline: Nothing worth saying today.",
                                  "subline: I’ll speak up when a day earns it.", "inspectButton: What I’m seeing",
                                  "previewButton: Show me a nudge", "changeNoteButton: Change my note"} +
             kFooter},
        {"calm, observe-only", true, std::nullopt, false,
         std::vector<std::string>{"headline: This morning so far.", "subline: Two agents ran; no breathers.",
                                  "inspectButton: What I’m seeing"} +
             kObservingFooter},
        {"nudge in two beats", false, ask("Two hours straight.", "Your agent can carry on alone."), false,
         std::vector<std::string>{"panelLineOne: Two hours straight.", "panelLineTwo: Your agent can carry on alone.",
                                  "primaryButton: Step outside", "dismissButton: Not now"} +
             kFooter},
        {"nudge in one beat, observe-only", true, ask("Third long afternoon this week. Step outside for five."),
         false,
         std::vector<std::string>{"panelLineOne: Third long afternoon this week. Step outside for five.",
                                  "primaryButton: Step outside", "dismissButton: Not now"} +
             kObservingFooter},
        {"grounding", false, ask("Third long afternoon.", "", MoveLabel::breath), true,
         std::vector<std::string>{"count: 5", "sense: things you can see", "leaveButton: Enough for now"} + kFooter},
    };
    for (bool staticRender : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (staticRender ? ", static render" : ", revealed"));
            Panel p;
            p.model.setObserveOnly(c.observeOnly);
            p.model.setObserveHeadline("This morning so far.");
            p.model.setObserveStatusLine("Two agents ran; no breathers.");
            p.model.setStaticRender(staticRender);
            p.model.setNudge(c.nudge);
            p.model.setAskVariant(7);
            if (c.nudge) p.model.setAskPhase(AskPhase::expanding);
            if (c.grounding) p.model.setActiveIntervention(InPanelInterventionKind::grounding543);
            p.settle();
            EXPECT_EQ(p.shown(), c.shown);
            if (c.nudge) {
                EXPECT_EQ(p.find<AskExpand>("askExpand") != nullptr, !staticRender);
                if (!staticRender) {
                    EXPECT_EQ(p.find<AskExpand>("askExpand")->visibleOpacity(), 0) << "the reveal starts unseen";
                    p.to(12);
                    EXPECT_EQ(p.find<AskExpand>("askExpand")->visibleOpacity(), 1);
                }
            }
        }
    }
}

TEST(PanelView, SetsEachTextInItsOwnSizeWeightAndColour) {
    struct Look {
        const char* name;
        double pixels;
        QFont::Weight weight;
        QColor colour;
    };
    const Look looks[] = {
        {"headline", 19, QFont::Normal, Theme::ink()},         {"subline", 13, QFont::Normal, Theme::ink3()},
        {"inspectButton", 14, QFont::Medium, Theme::ink()},    {"previewButton", 14, QFont::Normal, Theme::ink3()},
        {"changeNoteButton", 14, QFont::Normal, Theme::ink3()}, {"panelLineOne", 20, QFont::Normal, Theme::ink()},
        {"panelLineTwo", 17, QFont::Normal, Theme::ink()},     {"primaryButton", 15, QFont::Medium, Theme::ink()},
        {"dismissButton", 13, QFont::Normal, Theme::ink3()},     {"quietButton", 12.5, QFont::Normal, Theme::ink3()},
        {"balancedButton", 12.5, QFont::Medium, Theme::ink()},   {"offButton", 12.5, QFont::Normal, Theme::ink3()},
        {"settingsButton", 12.5, QFont::Normal, Theme::ink3()},  {"quitButton", 12.5, QFont::Normal, Theme::ink3()},
    };
    Panel calm;
    Panel nudge;
    nudge.model.setNudge(ask("One.", "Two."));
    nudge.settle();
    for (const Look& l : looks) {
        SCOPED_TRACE(l.name);
        QWidget* w = calm.find(l.name) ? calm.find(l.name) : nudge.find(l.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(Theme::pixelSize(w->font()), l.pixels);
        EXPECT_EQ(w->font().weight(), l.weight);
        QColor colour = qobject_cast<ParagraphLabel*>(w) ? qobject_cast<ParagraphLabel*>(w)->colour()
                                                         : qobject_cast<PlainTextButton*>(w)->colour();
        EXPECT_EQ(colour, l.colour);
    }
    EXPECT_TRUE(nudge.find<PlainTextButton>("primaryButton")->underlined());
    EXPECT_EQ(nudge.find<ParagraphLabel>("headline")->lineSpacing(), 4);
}

TEST(PanelView, AFrequencyPressStoresTheChoiceBeforeTellingTheShell) {
    Panel p;
    std::vector<std::pair<NudgeFrequency, NudgeFrequency>> heard;  // (argument, model's value then)
    p.model.onFrequencyChange = [&](NudgeFrequency f) { heard.emplace_back(f, p.model.frequency()); };
    p.find<PlainTextButton>("offButton")->click();
    p.find<PlainTextButton>("quietButton")->click();
    EXPECT_EQ(heard, (std::vector<std::pair<NudgeFrequency, NudgeFrequency>>{
                         {NudgeFrequency::off, NudgeFrequency::off}, {NudgeFrequency::quiet, NudgeFrequency::quiet}}));
    EXPECT_EQ(p.find<PlainTextButton>("quietButton")->colour(), Theme::ink());
    EXPECT_EQ(p.find<PlainTextButton>("offButton")->font().weight(), QFont::Normal);
}

TEST(PanelView, AnAskAlreadyAnsweredTakesNoSecondAnswerWhileItSinks) {
    Panel p;
    std::vector<std::string> calls;
    p.model.onPrimary = [&] { calls.push_back("primary"); };
    p.model.onDismiss = [&] {
        calls.push_back("dismiss");
        p.model.setAskPhase(AskPhase::dismissing);
    };
    p.model.setNudge(ask("Two hours straight."));
    p.model.setAskPhase(AskPhase::expanding);
    p.to(12);
    p.find<PlainTextButton>("dismissButton")->click();
    p.to(12.5);
    p.find<PlainTextButton>("primaryButton")->click();
    p.find<PlainTextButton>("dismissButton")->click();
    EXPECT_EQ(calls, std::vector<std::string>{"dismiss"});
}

// The shell's side of closing an ask, as far as the panel sees it.
void wireLikeTheShell(PanelModel& model, int& settles) {
    model.onDismiss = [&model] { model.setAskPhase(AskPhase::dismissing); };
    model.onAskSettled = [&model, &settles] {
        ++settles;
        model.setNudge(std::nullopt);
        model.setAskPhase(AskPhase::hidden);
        model.setActiveIntervention(std::nullopt);
    };
    model.onPrimary = [&model] {
        if (model.primaryStep() == PrimaryStep::startExercise)
            model.setActiveIntervention(InPanelInterventionKind::grounding543);
    };
    model.onInterventionDone = [&model] {
        model.setActiveIntervention(std::nullopt);
        model.setAskPhase(AskPhase::dismissing);
    };
}

TEST(PanelView, ANewAskArrivingWhileTheLastSinksIsNeitherResetNorCleared) {
    for (bool reduce : {false, true}) {
        SCOPED_TRACE(reduce ? "reduce motion" : "motion");
        Panel p;
        p.view->setReduceMotion(reduce);
        int settles = 0;
        wireLikeTheShell(p.model, settles);
        p.model.setNudge(ask("First."));
        p.model.setAskPhase(AskPhase::expanding);
        p.to(12);
        p.find<PlainTextButton>("dismissButton")->click();
        p.to(12.4);
        EXPECT_EQ(settles, reduce ? 1 : 0);
        p.model.setNudge(ask("Second."));
        p.model.setAskVariant(2);
        p.model.setAskPhase(AskPhase::expanding);
        p.to(14);
        EXPECT_EQ(settles, reduce ? 1 : 0);
        ASSERT_TRUE(p.model.nudge());
        EXPECT_EQ(p.model.nudge()->panelLineOne, "Second.");
        EXPECT_EQ(p.find<ParagraphLabel>("panelLineOne")->text(), "Second.");
        p.to(30);
        EXPECT_EQ(p.find<AskExpand>("askExpand")->visibleOpacity(), 1);
    }
}

TEST(PanelView, APanelReleasedWhileAnAskSinksStillLetsItSettle) {
    Panel p;
    int settles = 0;
    wireLikeTheShell(p.model, settles);
    p.model.setNudge(ask("Two hours straight."));
    p.model.setAskPhase(AskPhase::expanding);
    p.to(12);
    p.find<PlainTextButton>("dismissButton")->click();
    p.to(12.3);
    p.view.reset();
    QApplication::processEvents();
    EXPECT_EQ(settles, 1);
    EXPECT_FALSE(p.model.nudge());
    p.motion.advance(5);
    EXPECT_EQ(settles, 1);
}

TEST(PanelView, TheBreathMoveRunsTheExerciseInTheAsksPlaceUntilItIsLeft) {
    Panel p;
    int settles = 0;
    wireLikeTheShell(p.model, settles);
    p.model.setNudge(ask("Third long afternoon.", "", MoveLabel::breath));
    p.model.setAskPhase(AskPhase::expanding);
    p.to(12);
    p.find<PlainTextButton>("primaryButton")->click();
    p.settle();
    EXPECT_EQ(p.model.askPhase(), AskPhase::expanding);
    ASSERT_TRUE(p.find("grounding") && p.find("grounding")->isVisible());
    p.find<PlainTextButton>("leaveButton")->click();
    p.settle();
    EXPECT_EQ(p.model.askPhase(), AskPhase::dismissing);
    EXPECT_EQ(p.find<ParagraphLabel>("panelLineOne")->text(), "Third long afternoon.")
        << "the ask's lines return while it sinks";
    p.to(12 + 1.1);
    EXPECT_EQ(settles, 1);
    EXPECT_TRUE(p.find("calmBody")->isVisible());
    EXPECT_EQ(p.find("nudgeBody"), nullptr);
}

TEST(PanelView, LinesWrapAndGrowTheBodyAndTheRuleFollowsTheLastLine) {
    Panel p;
    p.model.setStaticRender(true);
    p.model.setNudge(ask("Short."));
    p.settle();
    auto below = [&](const char* upper, const char* lower) {
        QWidget* a = p.find(upper);
        QWidget* b = p.find(lower);
        return b->mapTo(p.view.get(), QPoint(0, 0)).y() - (a->mapTo(p.view.get(), QPoint(0, 0)).y() + a->height());
    };
    EXPECT_EQ(below("panelLineOne", "emberRule"), 20);
    EXPECT_EQ(p.find("body")->height(), 250);
    const int oneLine = p.find("panelLineOne")->height();

    std::string longLine;
    for (int i = 0; i < 12; ++i) longLine += "Two hours straight, and the light is going soft. ";
    p.model.setNudge(ask(longLine, "And one more line to follow it."));
    p.settle();
    EXPECT_GT(p.find("panelLineOne")->height(), 8 * oneLine);
    EXPECT_EQ(below("panelLineTwo", "emberRule"), 20);
    EXPECT_GT(p.find("body")->height(), 250);
    EXPECT_EQ(p.view->width(), 300);
}

StoneFace stoneFace(const Panel& p, const char* body) {
    auto* stone = dynamic_cast<StoneBeing*>(p.find(body)->findChild<QWidget*>("stone"));
    return stone->state().shape.face;
}

TEST(PanelView, TheStoneWearsTheMirrorsFaceAtRestAndLooksUpWhileAnAskIsUp) {
    Panel bare;
    EXPECT_EQ(bare.find("mirrorStrip"), nullptr);
    EXPECT_EQ(stoneFace(bare, "calmBody"), StoneFace::calm);

    StoneFace mirrorFace = StoneFace::strained;
    PanelMirror mirror;
    mirror.face = [&] { return mirrorFace; };
    mirror.makeStrip = [](QWidget* parent) {
        // A strip of 26 with its hours under it.
        auto* strip = new QWidget(parent);
        strip->setFixedHeight(26 + 6 + 12);
        return strip;
    };
    Panel p(mirror);
    ASSERT_NE(p.find("mirrorStrip"), nullptr);
    EXPECT_TRUE(p.find("mirrorStrip")->isVisible());
    EXPECT_EQ(p.find("mirrorStrip")->height(), 26 + 6 + 12) << "the hours under the bars are not cut off";
    EXPECT_EQ(stoneFace(p, "calmBody"), StoneFace::strained);

    auto identity = StoneIdentity::make(1, "flint-0a9f", StoneMaterial::flint, StoneTemperament::direct, "0a9f", 1);
    p.model.setIdentity(*identity);
    p.model.setNudge(ask("Two hours straight."));
    p.settle();
    EXPECT_EQ(stoneFace(p, "nudgeBody"), StoneFace::calm) << "no ask up yet";
    p.model.setAskPhase(AskPhase::expanding);
    EXPECT_EQ(stoneFace(p, "nudgeBody"), StoneFace::open);
    p.model.setAskPhase(AskPhase::dismissing);
    EXPECT_EQ(stoneFace(p, "nudgeBody"), StoneFace::open);
    auto* stone = dynamic_cast<StoneBeing*>(p.find("nudgeBody")->findChild<QWidget*>("stone"));
    EXPECT_EQ(stone->state().shape.identity, *identity);
    EXPECT_EQ(stone->state().shape.width, 64);
}

}  // namespace
}  // namespace quillfen
