#include "RenderHooks.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <filesystem>

#include "support/ChildProcess.h"
#include "support/QtTestSupport.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using Hook = RenderHooks::Hook;

TEST(RenderHooks, TheFirstVariableOfTheTableWinsAndTheDemoPanelNeedsTheDemoNudge) {
    struct Case {
        Environment environment;
        std::optional<RenderHooks::Request> expected;
    };
    const Case cases[] = {
        {{}, std::nullopt},
        {{{"TAVRYN_RENDER_SEEING_PNG", "/b"}, {"TAVRYN_RENDER_CALM_PNG", "/a"}}, RenderHooks::Request{Hook::calm, "/a"}},
        {{{"TAVRYN_RENDER_SURFACES_PNG", ""}, {"TAVRYN_RENDER_LIVING_PNG", "/l"}}, RenderHooks::Request{Hook::living, "/l"}},
        {{{"TAVRYN_RENDER_PNG", "/p"}}, std::nullopt},
        {{{"TAVRYN_RENDER_PNG", "/p"}, {"TAVRYN_DEMO_NUDGE", ""}}, RenderHooks::Request{Hook::demoPanel, "/p"}},
        {{{"TAVRYN_RENDER_PNG", "/p"}, {"TAVRYN_DEMO_NUDGE", ""}, {"TAVRYN_RENDER_GLYPHS_PNG", "/g"}},
         RenderHooks::Request{Hook::glyphs, "/g"}},
        {{{"TAVRYN_RENDERX", "/x"}, {"TAVRYN_RENDER_PROMISE_BEAT", "settled"}}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(RenderHooks::requested(c.environment), c.expected);
}

TEST(RenderHooks, TheOnboardingStepIsNamedExactlyAndAnythingElseIsToldAndLeavesTheDefault) {
    using Entry = OnboardingModel::Entry;
    struct Case {
        Environment environment;
        OnboardingBeat beat;
        Entry entry;
        std::size_t problems;
    };
    const Case cases[] = {
        {{}, OnboardingBeat::promise, Entry::firstRun, 0},
        {{{"TAVRYN_RENDER_PROMISE_ALLOW", ""}}, OnboardingBeat::oneMoment, Entry::firstRun, 0},
        {{{"TAVRYN_RENDER_PROMISE_ALLOW", ""}, {"TAVRYN_RENDER_PROMISE_BEAT", "settled"}}, OnboardingBeat::settled,
         Entry::firstRun, 0},
        {{{"TAVRYN_RENDER_PROMISE_BEAT", "workSources"}}, OnboardingBeat::workSources, Entry::firstRun, 0},
        {{{"TAVRYN_RENDER_PROMISE_BEAT", "Settled"}}, OnboardingBeat::promise, Entry::firstRun, 1},
        {{{"TAVRYN_RENDER_PROMISE_ALLOW", ""}, {"TAVRYN_RENDER_PROMISE_BEAT", ""}}, OnboardingBeat::oneMoment,
         Entry::firstRun, 1},
        {{{"TAVRYN_RENDER_PROMISE_ENTRY", "changeNote"}}, OnboardingBeat::promise, Entry::changeNote, 0},
        {{{"TAVRYN_RENDER_PROMISE_ENTRY", ""}}, OnboardingBeat::promise, Entry::firstRun, 0},
        {{{"TAVRYN_RENDER_PROMISE_ENTRY", "changenote"}}, OnboardingBeat::promise, Entry::firstRun, 1},
    };
    for (const auto& c : cases) {
        const auto choice = RenderHooks::promiseChoice(c.environment);
        EXPECT_EQ(choice.beat, c.beat);
        EXPECT_EQ(choice.entry, c.entry);
        EXPECT_EQ(choice.problems.size(), c.problems);
    }
}

#ifdef QUILLFEN_BINARY

// The real application, run as a developer runs it: no display, no reachable bus, a fresh home.
class RenderRun : public ::testing::Test {
protected:
    struct Ended {
        std::optional<int> status;
        // What the run wrote to the descriptor asked for.
        std::string said;
    };

    Ended run(std::map<std::string, std::string> variables, int descriptor = STDERR_FILENO) {
        variables.insert({{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (home.path() / "no-bus").string()},
                          {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (home.path() / "no-bus").string()},
                          {"XDG_RUNTIME_DIR", home.path().string()}});
        test::ChildProcess app({QUILLFEN_BINARY}, variables, descriptor);
        Ended ended;
        ended.said = app.readRest(std::chrono::seconds(20));
        ended.status = app.waitForExit(test::kPatience);
        return ended;
    }

    fs::path picture(const char* name) const { return home.path() / name; }

    test::TestHome home;
    test::ScopedEnv noDisplay{"DISPLAY", std::nullopt};
    test::ScopedEnv noWayland{"WAYLAND_DISPLAY", std::nullopt};
};

bool exitedWithZero(const std::optional<int>& status) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

QSize pixelSize(const fs::path& file) {
    QImageReader reader(QString::fromStdString(file.string()), "png");
    return reader.size();
}

TEST_F(RenderRun, EveryHookWritesItsPictureAtItsScaleAndEndsWithStatusZero) {
    struct Case {
        std::map<std::string, std::string> variables;
        int scale;
        // The fixed side lengths in pixels (0 where the content decides), and the least the
        // picture can measure.
        QSize fixed;
        QSize least;
    };
    const std::string file = picture("surface.png").string();
    const Case cases[] = {
        {{{"TAVRYN_RENDER_CALM_PNG", file}}, 2, {600, 0}, {600, 500}},
        {{{"TAVRYN_RENDER_SEEING_PNG", file}}, 2, {1000, 0}, {1000, 800}},
        {{{"TAVRYN_RENDER_PROMISE_PNG", file}}, 2, {1000, 1440}, {1000, 1440}},
        {{{"TAVRYN_RENDER_GLYPHS_PNG", file}}, 3, {0, 0}, {(30 + 3 * 44 + 2 * 40 + 30) * 3, (30 + 44 + 12 + 30) * 3}},
        {{{"TAVRYN_RENDER_LIVING_PNG", file}}, 2, {0, 0}, {(30 + 2 * 230 + 20 + 30) * 2, (30 + 3 * 150 + 2 * 20 + 30) * 2}},
        {{{"TAVRYN_RENDER_SURFACES_PNG", file}}, 2, {0, 0}, {(30 + 480 + 28 + 3 * 320 + 30) * 2, 1000}},
        {{{"TAVRYN_RENDER_PNG", file}, {"TAVRYN_DEMO_NUDGE", ""}}, 2, {600, 0}, {600, 500}},
    };
    for (const auto& c : cases) {
        // An old picture in its place is replaced.
        test::writeFile(file, "old");
        const auto ended = run(c.variables);
        const std::string name = c.variables.rbegin()->first;
        EXPECT_TRUE(exitedWithZero(ended.status)) << name;
        const QSize size = pixelSize(file);
        if (c.fixed.width() > 0) {
            EXPECT_EQ(size.width(), c.fixed.width()) << name;
        }
        if (c.fixed.height() > 0) {
            EXPECT_EQ(size.height(), c.fixed.height()) << name;
        }
        EXPECT_GE(size.width(), c.least.width()) << name;
        EXPECT_GE(size.height(), c.least.height()) << name;
        EXPECT_EQ(size.width() % c.scale, 0) << name;
        EXPECT_EQ(size.height() % c.scale, 0) << name;
    }
}

TEST_F(RenderRun, OnlyTheFirstPictureIsDrawnAndTheWindowSelfTestNeverReports) {
    const auto ended = run({{"TAVRYN_RENDER_CALM_PNG", picture("calm.png").string()},
                            {"TAVRYN_RENDER_SEEING_PNG", picture("seeing.png").string()},
                            {"TAVRYN_QA_WINDOW_CYCLE", ""}},
                           STDOUT_FILENO);
    EXPECT_TRUE(exitedWithZero(ended.status));
    EXPECT_TRUE(fs::exists(picture("calm.png")));
    EXPECT_FALSE(fs::exists(picture("seeing.png")));
    EXPECT_EQ(ended.said, "");
}

TEST_F(RenderRun, APictureThatCannotBeWrittenIsToldAndTheRunStillEndsWithStatusZero) {
    const auto missing = picture("no-such-folder/calm.png");
    const auto ended = run({{"TAVRYN_RENDER_CALM_PNG", missing.string()}});
    EXPECT_TRUE(exitedWithZero(ended.status));
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_NE(ended.said.find(missing.string()), std::string::npos) << ended.said;
}

TEST_F(RenderRun, TheStepIsChosenByItsExactName) {
    const auto draw = [&](std::map<std::string, std::string> variables, const char* name) {
        variables["TAVRYN_RENDER_PROMISE_PNG"] = picture(name).string();
        const auto ended = run(variables);
        EXPECT_TRUE(exitedWithZero(ended.status)) << name;
        return std::pair{QImage(QString::fromStdString(picture(name).string())), ended.said};
    };
    const auto [byDefault, quiet] = draw({}, "default.png");
    const auto [settled, settledSaid] = draw({{"TAVRYN_RENDER_PROMISE_BEAT", "settled"}}, "settled.png");
    const auto [capital, told] = draw({{"TAVRYN_RENDER_PROMISE_BEAT", "Settled"}}, "capital.png");
    EXPECT_FALSE(byDefault.isNull());
    EXPECT_NE(settled, byDefault);
    EXPECT_EQ(capital, byDefault);
    EXPECT_EQ(settledSaid.find("TAVRYN_RENDER_PROMISE_BEAT"), std::string::npos);
    EXPECT_NE(told.find("\"Settled\" names no step"), std::string::npos) << told;
}

TEST_F(RenderRun, ThePanelPictureWithoutTheDemoNudgeDrawsNothingAndTheRunGoesOn) {
    test::ChildProcess app({QUILLFEN_BINARY}, {{"TAVRYN_RENDER_PNG", picture("panel.png").string()},
                                                {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"},
                                                {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent"}});
    EXPECT_FALSE(app.waitForExit(std::chrono::milliseconds(1500)).has_value());
    EXPECT_FALSE(fs::exists(picture("panel.png")));
    ASSERT_TRUE(test::waitUntil([&] { return app.catches(SIGTERM); }));
    kill(app.pid(), SIGTERM);
    EXPECT_TRUE(exitedWithZero(app.waitForExit(test::kPatience)));
}

#endif

}  // namespace
}  // namespace quillfen
