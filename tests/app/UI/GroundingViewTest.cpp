#include <gtest/gtest.h>

#include <QImage>

#include "UI/GroundingView.h"
#include "UI/ParagraphLabel.h"
#include "UI/PlainTextButton.h"
#include "UI/Render.h"
#include "UI/Theme.h"
#include "support/QtTestSupport.h"
#include "support/SteppedMotion.h"

namespace quillfen {
namespace {

struct Exercise {
    test::SteppedMotion motion;
    int done = 0;
    GroundingView view{[this] { ++done; }, nullptr, motion.driver};
    explicit Exercise(bool reduce = false) {
        view.setReduceMotion(reduce);
        view.resize(248, 220);
        view.show();
    }
    void to(double t) { motion.advance(t - motion.seconds); }
    QString text(const char* name) { return view.findChild<ParagraphLabel*>(name)->text(); }
    QString button() { return view.findChild<PlainTextButton*>("leaveButton")->text(); }
};

TEST(GroundingView, FiveStepsThenTheClosingLineOnTheirOwnClock) {
    struct Case {
        bool reduce;
        double stepEvery;
        double closingAt;
    };
    for (const Case& c : {Case{false, 9.0, 45.0}, Case{true, 8.4, 42.0}}) {
        SCOPED_TRACE(c.reduce ? "reduce motion" : "motion");
        Exercise e(c.reduce);
        EXPECT_EQ(e.text("count"), "5");
        EXPECT_EQ(e.text("sense"), "things you can see");
        EXPECT_EQ(e.button(), "Enough for now");
        if (c.reduce) EXPECT_EQ(e.view.lineOpacity(), 1);
        else EXPECT_EQ(e.view.lineOpacity(), 0);
        // From the first frame the lines are drawn at the step's opacity.
        for (const char* name : {"count", "sense", "closing"})
            EXPECT_EQ(e.view.findChild<ParagraphLabel*>(name)->opacity(), e.view.lineOpacity()) << name;
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(i);
            e.to(i * c.stepEvery + 0.001);
            EXPECT_EQ(e.view.index(), i);
            EXPECT_EQ(e.text("count").toStdString(), GroundingView::steps()[static_cast<std::size_t>(i)].count);
            e.to(i * c.stepEvery + 1.401);
            EXPECT_EQ(e.view.lineOpacity(), 1);
            e.to(i * c.stepEvery + 8.399);
            EXPECT_EQ(e.view.lineOpacity(), 1) << "held until 8.4 s after the step began";
            if (!c.reduce) {
                e.to(i * c.stepEvery + 8.7);
                EXPECT_GT(e.view.lineOpacity(), 0);
                EXPECT_LT(e.view.lineOpacity(), 1);
            }
        }
        e.to(c.closingAt - 0.01);
        EXPECT_FALSE(e.view.finished());
        e.to(c.closingAt + 0.5);
        EXPECT_TRUE(e.view.finished());
        EXPECT_EQ(e.text("sense"), "thing you can taste");
        EXPECT_EQ(e.text("closing"), "That’s the reset.");
        EXPECT_GT(e.view.lineOpacity(), 0) << "the closing line fades in over a second, reduce motion or not";
        EXPECT_LT(e.view.lineOpacity(), 1);
        e.to(c.closingAt + 1.001);
        EXPECT_EQ(e.view.lineOpacity(), 1);
        EXPECT_EQ(e.button(), "Done");
        EXPECT_FALSE(e.view.findChild<QWidget*>("dots")->isVisible());
        EXPECT_TRUE(e.motion.driver.idle()) << "the closing line waits for the user";
        EXPECT_EQ(e.done, 0);
        e.view.findChild<PlainTextButton*>("leaveButton")->click();
        EXPECT_EQ(e.done, 1);
    }
}

TEST(GroundingView, LeavingEarlyEndsTheRunAtOnce) {
    Exercise e;
    e.to(3);
    auto* leave = e.view.findChild<PlainTextButton*>("leaveButton");
    leave->click();
    leave->click();
    EXPECT_EQ(e.done, 1);
    e.to(60);
    EXPECT_EQ(e.view.index(), 0);
    EXPECT_FALSE(e.view.finished());
}

TEST(GroundingView, AwayFromTheScreenNothingFallsDueAndBackItBeginsTheStepItReached) {
    Exercise e;
    e.to(9.5);
    ASSERT_EQ(e.view.index(), 1);
    e.view.hide();
    EXPECT_FALSE(e.view.alive());
    e.to(12);
    e.view.show();
    EXPECT_TRUE(e.view.alive());
    EXPECT_EQ(e.view.lineOpacity(), 0);
    // The step scheduled before it left (due at 17.4 s) would cut this one short.
    e.to(12 + 8.39);
    EXPECT_EQ(e.view.index(), 1);
    EXPECT_EQ(e.view.lineOpacity(), 1);
    e.to(12 + 9.01);
    EXPECT_EQ(e.view.index(), 2);
}

TEST(GroundingView, DotsMarkTheCurrentAndPastStepsInInkThree) {
    Exercise e;
    e.to(2 * 9.0 + 1);
    ASSERT_EQ(e.view.index(), 2);
    auto* dots = e.view.findChild<QWidget*>("dots");
    QImage image = dots->grab().toImage();
    const qreal scale = image.devicePixelRatio();
    for (int id = 0; id < 5; ++id) {
        SCOPED_TRACE(id);
        QColor centre = image.pixelColor(QPoint(static_cast<int>((id * 11 + 2.5) * scale), static_cast<int>(2.5 * scale)));
        EXPECT_EQ(centre.rgb(), (id <= 2 ? Theme::ink3() : Theme::line()).rgb());
    }
}

}  // namespace
}  // namespace quillfen
