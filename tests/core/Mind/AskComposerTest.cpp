#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Mind/AskComposer.h"
#include "support/LinePrinters.h"
#include "support/ScriptedRandom.h"

namespace quillfen {
namespace {

const std::string kObservation = "third long afternoon this week";

PromiseMove move(const char* id, MoveLabel label, std::string phrase) {
    return {*Uuid::parse(id), label, std::move(phrase)};
}

const PromiseMove kRiver =
    move("00000000-0000-4000-8000-00000000000A", MoveLabel::stepOutside, "walk to the river");
const PromiseMove kStretch =
    move("00000000-0000-4000-8000-00000000000B", MoveLabel::shortPractice, "stretch");
const PromiseMove kTea = move("00000000-0000-4000-8000-00000000000C", MoveLabel::customOther, "make tea");

Promise promiseOf(std::vector<PromiseMove> moves) {
    Promise promise;
    promise.dayPhrase = "a long afternoon";
    promise.moves = std::move(moves);
    return promise;
}

ComposedAsk composeWith(const std::optional<Promise>& promise, const std::optional<Uuid>& lastMoveId,
                        std::vector<std::uint64_t> script, const LineHistory& history = LineHistory::empty(),
                        const std::optional<std::string>& note = std::nullopt,
                        std::optional<StoneTemperament> temperament = std::nullopt) {
    return AskComposer::compose(promise, kObservation, note, history, lastMoveId, temperament,
                                ScriptedRandom(std::move(script)));
}

TEST(AskComposer, WithoutAMoveToOfferSpeaksTheStockStepOutside) {
    for (const std::optional<Promise>& promise :
         {std::optional<Promise>(), std::optional<Promise>(promiseOf({}))}) {
        for (std::uint64_t v : {0u, 1u}) {
            const ComposedAsk ask = composeWith(promise, kRiver.id, {v});
            const std::string id = v == 0 ? "condition-first-no-tail" : "presence-bare-pattern";
            EXPECT_EQ(ask, (ComposedAsk{
                               "Third long afternoon this week. step outside for five.", id,
                               v == 0 ? TemplateForm::conditionFirst : TemplateForm::presenceOffers,
                               std::nullopt, std::nullopt,
                               LineHistory{id, "Third long afternoon this week. step outside for five."}}));
        }
    }
}

TEST(AskComposer, WalksThroughThePromisedMovesAwayFromTheLastOne) {
    const Promise three = promiseOf({kRiver, kStretch, kTea});
    const Uuid stranger = *Uuid::parse("00000000-0000-4000-8000-0000000000FF");
    struct Case {
        std::optional<Uuid> last;
        PromiseMove offered;
    };
    for (const Case& c : std::vector<Case>{{kStretch.id, kTea},
                                           {kTea.id, kRiver},
                                           {kRiver.id, kStretch},
                                           {stranger, kRiver},
                                           {std::nullopt, kRiver}}) {
        const ComposedAsk ask = composeWith(three, c.last, {0});
        EXPECT_EQ(ask.usedMoveId, c.offered.id);
        EXPECT_EQ(ask.usedMoveLabel, c.offered.label);
        EXPECT_EQ(ask.templateId, "words-lead-plain");
        EXPECT_EQ(ask.line, "you said: " + c.offered.phrase + ". third long afternoon this week.");
    }

    const Promise single = promiseOf({kStretch});
    for (const std::optional<Uuid>& last : {std::optional<Uuid>(kStretch.id), std::optional<Uuid>()})
        EXPECT_EQ(composeWith(single, last, {2}).line,
                  "Third long afternoon this week, and you already have a plan: stretch.");
}

TEST(AskComposer, AMoveWithoutAPhraseStillNamesTheMoveButOnlyTheStockWordsSpeak) {
    const PromiseMove silent = move("00000000-0000-4000-8000-00000000000D", MoveLabel::breath, "");
    const ComposedAsk ask = composeWith(promiseOf({silent}), std::nullopt, {3});
    EXPECT_EQ(ask.templateId, "presence-bare-pattern");
    EXPECT_EQ(ask.line, "Third long afternoon this week. a few slow breaths outside.");
    EXPECT_EQ(ask.usedMoveId, silent.id);
    EXPECT_EQ(ask.usedMoveLabel, MoveLabel::breath);
}

TEST(AskComposer, PassesTheNoteTemperamentAndHistoryToTheTemplates) {
    const Promise promise = promiseOf({kTea});
    // Everything is eligible; with the last template set aside the fifth candidate is the
    // condition-first one with words.
    const ComposedAsk withNote =
        composeWith(promise, std::nullopt, {4}, {"words-lead-plain", std::nullopt}, "Tired!");
    EXPECT_EQ(withNote.templateId, "condition-first-with-words");
    EXPECT_EQ(withNote.form, TemplateForm::conditionFirst);
    EXPECT_EQ(withNote.line, "Third long afternoon this week. tired, so: make tea.");
    EXPECT_EQ(withNote.history, (LineHistory{"condition-first-with-words", withNote.line}));

    const ComposedAsk reserved =
        composeWith(promise, std::nullopt, {6}, LineHistory::empty(), "tired", StoneTemperament::reserved);
    EXPECT_EQ(reserved.templateId, "condition-first-no-tail");
    EXPECT_EQ(reserved.line, "Third long afternoon this week. the move you already know, if it still holds.");

    // The last line is avoided too: the first pick repeats it, so a second draw decides.
    ScriptedRandom random({0, 0});
    const ComposedAsk repeat = composeWith(promise, std::nullopt, {0});
    const ComposedAsk next = AskComposer::compose(
        promise, kObservation, std::nullopt, {std::nullopt, repeat.line}, std::nullopt, std::nullopt, random);
    EXPECT_EQ(random.draws(), 2u);
    EXPECT_EQ(next.templateId, "words-lead-short");
}

}  // namespace
}  // namespace quillfen
