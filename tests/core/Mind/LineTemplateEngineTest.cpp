#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Mind/LineTemplateEngine.h"
#include "Support/UnicodeText.h"
#include "support/LinePrinters.h"
#include "support/ScriptedRandom.h"

namespace quillfen {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

LineSlots slotsWith(std::string promise, std::optional<std::string> note,
                    std::optional<StoneTemperament> temperament = std::nullopt) {
    return {.userPromiseText = std::move(promise),
            .moveLabel = MoveLabel::stepOutside,
            .patternObservation = "second long afternoon this week",
            .conditionNote = std::move(note),
            .temperament = temperament};
}

const LineTemplate& templateWithId(const std::string& id) {
    for (const LineTemplate& t : LineTemplatePool::all())
        if (t.id == id) return t;
    throw std::out_of_range(id);
}

TEST(LineTemplatePool, WordsEachTemplateFromItsSlots) {
    const LineSlots slots = slotsWith("walk to the river", "tired!!");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"words-lead-plain", "you said: walk to the river. second long afternoon this week."},
        {"words-lead-with-condition",
         "Second long afternoon this week. you said: walk to the river, and tired."},
        {"words-lead-short", "Second long afternoon this week. you said: walk to the river."},
        {"words-lead-fourth-plus",
         "Second long afternoon this week, and you already have a plan: walk to the river."},
        {"condition-first-plain", "Tired. second long afternoon this week."},
        {"condition-first-with-words", "Second long afternoon this week. tired, so: walk to the river."},
        {"condition-first-no-tail", "Second long afternoon this week. step outside for five."},
        {"condition-first-bare", "Second long afternoon this week. tired."},
        {"presence-bare-pattern", "Second long afternoon this week. step outside for five."},
        {"presence-bare-words", "Second long afternoon this week. Walk to the river."},
        {"presence-condition-only", "Second long afternoon this week. tired."},
    };
    ASSERT_EQ(LineTemplatePool::all().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const LineTemplate& t = LineTemplatePool::all()[i];
        EXPECT_EQ(t.id, expected[i].first);
        EXPECT_EQ(t.render(slots), expected[i].second) << t.id;
    }

    const LineSlots emptyNote = slotsWith("walk to the river", "");
    EXPECT_EQ(templateWithId("condition-first-plain").render(emptyNote), " second long afternoon this week.");
    EXPECT_EQ(templateWithId("condition-first-bare").render(emptyNote), "Second long afternoon this week. ");
}

TEST(LineTemplatePool, SpeaksTheStockMoveInTheStonesTemperament) {
    for (MoveLabel label : kAllMoveLabels) {
        EXPECT_EQ(LineTemplatePool::stockMove(label, std::nullopt),
                  LineTemplatePool::stockMove(label, StoneTemperament::steady));
        for (StoneTemperament temperament : kAllStoneTemperaments) {
            const std::string_view phrase = LineTemplatePool::stockMove(label, temperament);
            EXPECT_TRUE(UnicodeText::isLowercase(UnicodeText::firstCharacter(phrase))) << phrase;
            EXPECT_TRUE(phrase.ends_with(".") && !phrase.ends_with("..")) << phrase;
        }
    }
    LineSlots slots = slotsWith("", std::nullopt, StoneTemperament::observant);
    slots.moveLabel = MoveLabel::shortPractice;
    EXPECT_EQ(templateWithId("presence-bare-pattern").render(slots),
              "Second long afternoon this week. a Tavryn practice sits there, five minutes, if it fits.");
    slots.temperament = StoneTemperament::direct;
    slots.moveLabel = MoveLabel::breath;
    EXPECT_EQ(templateWithId("condition-first-no-tail").render(slots),
              "Second long afternoon this week. take a few slow breaths outside, now.");
}

TEST(LineSlots, ShapesTheConditionNoteForEachPlaceInALine) {
    struct Case {
        std::optional<std::string> note;
        std::string capitalized, lowered, joinable;
    };
    const std::vector<Case> cases = {
        {"tired!!", "Tired.", "tired.", "tired"},
        {" Tired", "Tired.", "Tired.", "Tired"},
        {"Slept badly.\n", "Slept badly.", "slept badly.", "slept badly"},
        {"after three calls. Still going!", "After three calls. Still going.",
         "after three calls. Still going.", "after three calls. Still going"},
        {"\u00C9puis\u00E9", "\u00C9puis\u00E9.", "\u00E9puis\u00E9.", "\u00E9puis\u00E9"},
        {"\u00DFleepy", "SSleepy.", "\u00DFleepy.", "\u00DFleepy"},
        {" . !. ", "", "", ""},
        {"", "", "", ""},
        {std::nullopt, "", "", ""},
        // A stray byte reads as U+FFFD and takes nothing after it along.
        {"\xff tired", "\uFFFD tired.", "\uFFFD tired.", "\uFFFD tired"},
        {"T\xffired", "T\uFFFDired.", "t\uFFFDired.", "t\uFFFDired"},
    };
    for (const Case& c : cases) {
        const LineSlots slots = slotsWith("", c.note);
        EXPECT_EQ(slots.conditionNoteCapitalized(), c.capitalized) << c.note.value_or("(absent)");
        EXPECT_EQ(slots.conditionNoteLowered(), c.lowered) << c.note.value_or("(absent)");
        EXPECT_EQ(slots.conditionNoteJoinable(), c.joinable) << c.note.value_or("(absent)");
    }
}

struct Pick {
    LineTemplateEngine::Selection selection;
    std::size_t draws;
};

Pick pickWith(const LineSlots& slots, const LineHistory& history, std::vector<std::uint64_t> script) {
    ScriptedRandom random(std::move(script));
    auto selection = LineTemplateEngine::selectAndRender(slots, history, random);
    return {selection, random.draws()};
}

LineHistory lastTemplate(std::string id) {
    return {std::move(id), std::nullopt};
}

TEST(LineTemplateEngine, PicksAmongTheEligibleTemplatesByTheDrawnValue) {
    struct Case {
        std::string name;
        LineSlots slots;
        std::vector<std::string> candidates;
    };
    const std::vector<Case> cases = {
        {"nothing but the observation",
         slotsWith("", std::nullopt),
         {"condition-first-no-tail", "presence-bare-pattern"}},
        {"promise text",
         slotsWith("walk to the river", std::nullopt),
         {"words-lead-plain", "words-lead-short", "words-lead-fourth-plus", "condition-first-no-tail",
          "presence-bare-pattern", "presence-bare-words"}},
        {"condition note",
         slotsWith("", "tired"),
         {"condition-first-plain", "condition-first-no-tail", "condition-first-bare", "presence-bare-pattern",
          "presence-condition-only"}},
        {"an empty note counts as a note",
         slotsWith("", ""),
         {"condition-first-plain", "condition-first-no-tail", "condition-first-bare", "presence-bare-pattern",
          "presence-condition-only"}},
        {"everything", slotsWith("walk", "tired"), {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> candidates = c.candidates;
        if (candidates.empty())
            for (const LineTemplate& t : LineTemplatePool::all())
                candidates.push_back(t.id);
        const std::uint64_t n = candidates.size();
        for (std::uint64_t v : {std::uint64_t{0}, std::uint64_t{1}, n - 1, n, n + 2, kMax}) {
            const Pick pick = pickWith(c.slots, LineHistory::empty(), {v});
            const std::string& expected = candidates[v % n];
            EXPECT_EQ(pick.selection.render.templateId, expected) << c.name << ", value " << v;
            EXPECT_EQ(pick.selection.render.form, templateWithId(expected).form);
            EXPECT_EQ(pick.selection.render.line, templateWithId(expected).render(c.slots));
            EXPECT_EQ(pick.selection.history, (LineHistory{expected, pick.selection.render.line}));
            EXPECT_EQ(pick.draws, 1u);
        }
    }
}

TEST(LineTemplateEngine, NeverRepeatsTheLastTemplateWhileAnotherIsEligible) {
    const LineSlots bare = slotsWith("", std::nullopt);
    for (std::uint64_t v : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{7}, kMax}) {
        EXPECT_EQ(pickWith(bare, lastTemplate("condition-first-no-tail"), {v}).selection.render.templateId,
                  "presence-bare-pattern");
        EXPECT_EQ(pickWith(bare, lastTemplate("presence-bare-pattern"), {v}).selection.render.templateId,
                  "condition-first-no-tail");
    }

    const LineSlots promised = slotsWith("walk to the river", std::nullopt);
    EXPECT_EQ(pickWith(promised, LineHistory::empty(), {0}).selection.render.templateId, "words-lead-plain");
    EXPECT_EQ(pickWith(promised, lastTemplate("words-lead-plain"), {0}).selection.render.templateId,
              "words-lead-short");
    // A last template that is not a candidate, or no such template at all, takes nothing away.
    for (const char* stranger : {"condition-first-plain", "retired-template"})
        EXPECT_EQ(pickWith(promised, lastTemplate(stranger), {5}).selection.render.templateId,
                  "presence-bare-words");
}

TEST(LineTemplateEngine, DrawsOnceMoreWhenTheFirstPickRepeatsTheLastLine) {
    const LineSlots promised = slotsWith("walk to the river", std::nullopt);
    const std::string plainLine = templateWithId("words-lead-plain").render(promised);

    const Pick repick = pickWith(promised, {std::nullopt, plainLine}, {0, 3});
    EXPECT_EQ(repick.draws, 2u);
    EXPECT_EQ(repick.selection.render.templateId, "presence-bare-pattern");
    EXPECT_EQ(repick.selection.history.lastTemplateId, "presence-bare-pattern");

    const Pick differentLine = pickWith(promised, {std::nullopt, plainLine}, {1});
    EXPECT_EQ(differentLine.draws, 1u);
    EXPECT_EQ(differentLine.selection.render.templateId, "words-lead-short");

    // Templates 7 and 9 word the same line: the one re-pick may land on the twin and repeat it.
    const LineSlots bare = slotsWith("", std::nullopt);
    const std::string stockLine = "Second long afternoon this week. step outside for five.";
    const Pick twin = pickWith(bare, {std::nullopt, stockLine}, {0, 0});
    EXPECT_EQ(twin.draws, 2u);
    EXPECT_EQ(twin.selection.render,
              (LineRender{"presence-bare-pattern", TemplateForm::presenceOffers, stockLine}));

    // With one candidate left after the last template is set aside, there is nothing to re-pick.
    const Pick alone = pickWith(bare, {"condition-first-no-tail", stockLine}, {4});
    EXPECT_EQ(alone.draws, 1u);
    EXPECT_EQ(alone.selection.render.line, stockLine);
}

TEST(LineTemplateEngine, LeavesTheCallersGeneratorWhereItWas) {
    const LineSlots slots = slotsWith("walk to the river", "tired");
    std::mt19937_64 generator(2026);
    std::mt19937_64 twin = generator;
    const auto first = LineTemplateEngine::selectAndRender(slots, LineHistory::empty(), generator);
    EXPECT_EQ(generator, twin);
    EXPECT_EQ(LineTemplateEngine::selectAndRender(slots, LineHistory::empty(), generator), first);

    // Narrower generators and the system source serve too.
    const auto narrow = LineTemplateEngine::selectAndRender(slots, LineHistory::empty(), std::minstd_rand(7));
    EXPECT_FALSE(narrow.render.line.empty());
    for (int i = 0; i < 20; ++i) {
        const auto fresh = LineTemplateEngine::selectAndRender(slots, first.history, SystemRandom());
        EXPECT_NE(fresh.render.templateId, first.render.templateId);
    }
}

TEST(LineHistory, WritesOnlyThePresentKeysAndReadsMissingOnesAsAbsent) {
    EXPECT_EQ(nlohmann::json(LineHistory::empty()).dump(), "{}");
    const LineHistory full{"words-lead-plain", "you said: walk. it\u2019s late."};
    EXPECT_EQ(nlohmann::json(full).get<LineHistory>(), full);
    EXPECT_EQ(nlohmann::json(LineHistory{std::nullopt, "x"}).dump(), R"({"lastRenderedLine":"x"})");

    EXPECT_EQ(lineHistoryFromJson(nlohmann::json::parse(R"({"lastTemplateId":"words-lead-short"})")),
              (LineHistory{"words-lead-short", std::nullopt}));
    EXPECT_EQ(lineHistoryFromJson(nlohmann::json::parse(R"({"other":1,"lastRenderedLine":null})")),
              LineHistory::empty());
    for (const char* text : {R"([])", R"("words-lead-plain")", R"({"lastTemplateId":7})",
                             R"({"lastRenderedLine":{"text":"x"}})"}) {
        EXPECT_EQ(lineHistoryFromJson(nlohmann::json::parse(text)), std::nullopt) << text;
        EXPECT_THROW(nlohmann::json::parse(text).get<LineHistory>(), nlohmann::json::exception) << text;
    }
}

}  // namespace
}  // namespace quillfen
