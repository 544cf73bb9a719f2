#include "UI/OnboardingModel.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <regex>

#include "Log/FileLogStore.h"
#include "Promise/PromiseStore.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using Beat = OnboardingBeat;
using Entry = OnboardingModel::Entry;

// The controller's side: every permission prompt stays open until the test answers it.
struct FakeShell {
    explicit FakeShell(const std::filesystem::path& file) : promises(std::make_shared<FileLogStore>(file)) {}

    void wire(OnboardingModel& model) {
        model.requestNotifications = [this](auto done) { notifications = std::move(done); };
        model.requestCalendar = [this](auto answer) { calendar = std::move(answer); };
        model.requestWeather = [this](auto answer) { weather = std::move(answer); };
        model.save = [this](const Promise& p) { return ++saves, promises.save(p); };
        model.onDone = [this] { ++done; };
    }

    PromiseStore promises;
    OnboardingModel::Completion notifications;
    OnboardingModel::GrantAnswer calendar, weather;
    int saves = 0, done = 0;
};

class OnboardingModelTest : public ::testing::Test {
protected:
    OnboardingModelTest() { std::filesystem::create_directories(file.parent_path()); }

    std::unique_ptr<OnboardingModel> open(Beat beat, Entry entry, FakeShell& fake) {
        auto model = std::make_unique<OnboardingModel>(beat, entry, clock);
        fake.wire(*model);
        return model;
    }

    test::TestHome home;
    test::FixedClock clock{test::at("2026-01-05T14:03:00Z")};
    std::filesystem::path file = home.dataDirectory() / "promise.json";
    FakeShell shell{file};
};

TEST_F(OnboardingModelTest, AFirstRunWalksFromRecognitionToSettledAndKeepsTheNote) {
    auto model = open(Beat::recognition, Entry::firstRun, shell);
    for (int i = 0; i < 3; ++i)
        model->advance();
    ASSERT_EQ(model->beat(), Beat::optionalContext);
    EXPECT_EQ(model->beatTransition(), OnboardingModel::kStepTransition);
    model->allowCalendar();
    model->allowWeather();
    EXPECT_EQ(model->calendarGrant(), ContextGrantState::notAsked);  // still asking
    shell.weather(false);
    shell.calendar(true);
    EXPECT_EQ(model->calendarGrant(), ContextGrantState::allowed);
    EXPECT_EQ(model->weatherGrant(), ContextGrantState::declined);

    model->setReduceMotion(true);
    model->advance();
    model->advance();
    EXPECT_EQ(model->beatTransition(), std::chrono::milliseconds{0});
    model->allowNotifications();
    EXPECT_EQ(model->beat(), Beat::oneMoment);
    shell.notifications();
    ASSERT_EQ(model->beat(), Beat::promise);

    model->setDayChoiceIndex(5);
    model->setPickedMoveIds({"coffee", "corner", "no-such-preset"});
    EXPECT_FALSE(model->keepPromise());
    model->setDayChoiceIndex(0);
    model->setMoveCustom("  look up\nat the sky ");
    model->setMoveCustomOn(true);
    EXPECT_EQ(model->previewMove(), "walk to the corner and back");
    EXPECT_TRUE(model->keepPromise());
    EXPECT_FALSE(model->keepPromise());  // a second tap on the way out keeps nothing more
    EXPECT_EQ(model->beat(), Beat::settled);
    EXPECT_EQ(shell.saves, 1);

    std::string text = test::readFile(file);
    auto moves = nlohmann::json::parse(text)["moves"];
    std::vector<std::string> ids;
    for (const auto& move : moves) {
        ids.push_back(move["id"]);
        EXPECT_TRUE(std::regex_match(ids.back(), std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")));
    }
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(text, R"({"capturedAt":789314580.0,"dayPhrase":"a heavy afternoon","moves":[{"id":")" + ids[0] +
                        R"(","label":"step-outside","phrase":"walk to the corner and back"},{"id":")" + ids[1] +
                        R"(","label":"step-outside","phrase":"coffee outside, no phone"},{"id":")" + ids[2] +
                        R"(","label":"custom-other","phrase":"look up at the sky"}],"schemaVersion":1})");
}

TEST_F(OnboardingModelTest, AChangeOfNoteClosesAfterLaterOrAKeptNoteWithoutLeavingThePromiseStep) {
    auto model = open(Beat::promise, Entry::changeNote, shell);
    model->setDayIsCustom(true);
    model->setDayCustom(" a long\nweek ");
    model->setPickedMoveIds({"hear"});
    model->finishPromise();
    EXPECT_EQ(shell.done, 1);
    EXPECT_FALSE(std::filesystem::exists(file));

    EXPECT_TRUE(model->keepPromise());
    EXPECT_EQ(shell.done, 2);
    EXPECT_EQ(model->beat(), Beat::promise);
    EXPECT_EQ(PromiseStore(std::make_shared<FileLogStore>(file)).current()->dayPhrase, "a long week");
}

TEST_F(OnboardingModelTest, AnOpenModelIsShownAgainOnlyForTheEntryItWasOpenedFor) {
    auto firstRun = open(Beat::settled, Entry::firstRun, shell);
    auto changeNote = open(Beat::promise, Entry::changeNote, shell);
    EXPECT_FALSE(OnboardingModel::reusable(nullptr, Entry::firstRun));
    EXPECT_FALSE(OnboardingModel::reusable(firstRun.get(), Entry::changeNote));
    EXPECT_FALSE(OnboardingModel::reusable(changeNote.get(), Entry::firstRun));
    EXPECT_TRUE(OnboardingModel::reusable(changeNote.get(), Entry::changeNote));
}

TEST_F(OnboardingModelTest, ALateNotificationAnswerMovesOnOnlyFromTheStepThatAsked) {
    auto model = open(Beat::oneMoment, Entry::firstRun, shell);
    model->allowNotifications();
    model->advance();  // "Keep it inside the app" while the prompt is open
    shell.notifications();
    EXPECT_EQ(model->beat(), Beat::promise);

    model->setBeat(Beat::oneMoment);
    model->allowNotifications();
    model->back();
    shell.notifications();
    EXPECT_EQ(model->beat(), Beat::boundary);
}

TEST_F(OnboardingModelTest, AnswersThatArriveAfterTheModelIsGoneDoNothing) {
    auto model = open(Beat::oneMoment, Entry::firstRun, shell);
    model->allowCalendar();
    model->allowWeather();
    model->allowNotifications();
    model.reset();
    shell.calendar(true);
    shell.weather(true);
    shell.notifications();
}

TEST_F(OnboardingModelTest, ANoteThatCannotBeWrittenIsNotReportedAsKept) {
    test::writeFile(home.path() / "blocked", "");  // a file where the folder should be
    FakeShell blocked(home.path() / "blocked" / "promise.json");
    for (auto entry : {Entry::firstRun, Entry::changeNote}) {
        auto model = open(Beat::promise, entry, blocked);
        model->setDayChoiceIndex(2);
        model->setPickedMoveIds({"block"});
        EXPECT_FALSE(model->keepPromise());
        EXPECT_TRUE(model->keepFailed());
        EXPECT_EQ(model->beat(), Beat::promise);
    }
    EXPECT_EQ(blocked.done, 0);
}

TEST_F(OnboardingModelTest, TellsItsViewsOncePerRealChange) {
    auto model = open(Beat::recognition, Entry::firstRun, shell);
    int told = 0;
    QObject::connect(model.get(), &OnboardingModel::changed, [&] { ++told; });
    const std::function<void()> changes[] = {
        [&] { model->setBeat(Beat::reading); },
        [&] { model->setReading(WorkReading::today(5, 0, 1)); },
        [&] { model->setSources(WorkSourceRegistry::sources([](std::string_view) { return true; })); },
        [&] { model->setWeatherGrant(ContextGrantState::declined); },
        [&] { model->setBoundary(InterruptBoundary::onlyWhenAsked); },
        [&] { model->setDayCustom("x"); },
        [&] { model->setPickedMoveIds({"hear"}); },
        [&] { model->setMoveCustomOn(true); },
    };
    for (const auto& change : changes) {
        int before = told;
        change();
        change();
        EXPECT_EQ(told, before + 1);
    }
}

}  // namespace
}  // namespace quillfen
