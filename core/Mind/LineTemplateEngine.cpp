#include "Mind/LineTemplateEngine.h"

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"

#include "Support/EnumTable.h"
#include "Support/UnicodeText.h"

namespace quillfen {

namespace {

constexpr EnumName<TemplateForm> kForms[] = {
    {TemplateForm::yourWordsLead, "yourWordsLead"},
    {TemplateForm::conditionFirst, "conditionFirst"},
    {TemplateForm::presenceOffers, "presenceOffers"},
};

constexpr std::string_view kEndTrimmed = " .!\n\t";

std::string trimmedEnds(std::string_view text) {
    const auto first = text.find_first_not_of(kEndTrimmed);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kEndTrimmed);
    return std::string(text.substr(first, last - first + 1));
}

std::string singleTerminated(std::string_view text) {
    std::string core = trimmedEnds(text);
    if (!core.empty()) core += '.';
    return core;
}

// The text is repaired first: the first character comes back with any bad byte read as U+FFFD,
// and its length must count the same bytes as the rest that follows it.
std::string firstUpper(std::string_view text) {
    const std::string repaired = UnicodeText::repairedUtf8(text);
    const std::string first = UnicodeText::firstCharacter(repaired);
    return UnicodeText::uppercased(first) + repaired.substr(first.size());
}

std::string firstLower(std::string_view text) {
    const std::string repaired = UnicodeText::repairedUtf8(text);
    const std::string first = UnicodeText::firstCharacter(repaired);
    return UnicodeText::lowercased(first) + repaired.substr(first.size());
}

std::string observationUp(const LineSlots& s) {
    return firstUpper(s.patternObservation);
}
std::string observationDown(const LineSlots& s) {
    return firstLower(s.patternObservation);
}
std::string stock(const LineSlots& s) {
    return std::string(LineTemplatePool::stockMove(s.moveLabel, s.temperament));
}

// "you said" stays lower case wherever it stands, the start of a line included.
std::vector<LineTemplate> makeTemplates() {
    using F = TemplateForm;
    return {
        {"words-lead-plain", F::yourWordsLead, false, true,
         [](const LineSlots& s) {
             return "you said: " + s.userPromiseText + ". " + observationDown(s) + ".";
         }},
        {"words-lead-with-condition", F::yourWordsLead, true, true,
         [](const LineSlots& s) {
             return observationUp(s) + ". you said: " + s.userPromiseText + ", and " +
                    s.conditionNoteLowered();
         }},
        {"words-lead-short", F::yourWordsLead, false, true,
         [](const LineSlots& s) { return observationUp(s) + ". you said: " + s.userPromiseText + "."; }},
        {"words-lead-fourth-plus", F::yourWordsLead, false, true,
         [](const LineSlots& s) {
             return observationUp(s) + ", and you already have a plan: " + s.userPromiseText + ".";
         }},
        {"condition-first-plain", F::conditionFirst, true, false,
         [](const LineSlots& s) { return s.conditionNoteCapitalized() + " " + observationDown(s) + "."; }},
        {"condition-first-with-words", F::conditionFirst, true, true,
         [](const LineSlots& s) {
             return observationUp(s) + ". " + s.conditionNoteJoinable() + ", so: " + s.userPromiseText + ".";
         }},
        {"condition-first-no-tail", F::conditionFirst, false, false,
         [](const LineSlots& s) { return observationUp(s) + ". " + stock(s); }},
        {"condition-first-bare", F::conditionFirst, true, false,
         [](const LineSlots& s) { return observationUp(s) + ". " + s.conditionNoteLowered(); }},
        {"presence-bare-pattern", F::presenceOffers, false, false,
         [](const LineSlots& s) { return observationUp(s) + ". " + stock(s); }},
        {"presence-bare-words", F::presenceOffers, false, true,
         [](const LineSlots& s) { return observationUp(s) + ". " + firstUpper(s.userPromiseText) + "."; }},
        {"presence-condition-only", F::presenceOffers, true, false,
         [](const LineSlots& s) { return observationUp(s) + ". " + s.conditionNoteLowered(); }},
    };
}

bool isEligible(const LineTemplate& t, const LineSlots& slots) {
    // A note that is present but empty still counts as present.
    return (!t.requiresCondition || slots.conditionNote.has_value()) &&
           (!t.requiresPromiseText || !slots.userPromiseText.empty());
}

const LineTemplate& pick(const std::vector<const LineTemplate*>& among, AnyRNGBox& box) {
    return *among[box() % among.size()];
}

}  // namespace

std::string_view toString(TemplateForm form) {
    return enumName(form, kForms);
}
std::optional<TemplateForm> templateFormFrom(std::string_view raw) {
    return enumFromName(raw, kForms);
}

void to_json(nlohmann::json& j, const TemplateForm& form) {
    j = std::string(toString(form));
}

void from_json(const nlohmann::json& j, TemplateForm& form) {
    JsonFields::readRawValue(j, form, templateFormFrom);
}

std::string LineSlots::conditionNoteCapitalized() const {
    return singleTerminated(firstUpper(conditionNote.value_or("")));
}

std::string LineSlots::conditionNoteLowered() const {
    return singleTerminated(firstLower(conditionNote.value_or("")));
}

std::string LineSlots::conditionNoteJoinable() const {
    return trimmedEnds(firstLower(conditionNote.value_or("")));
}

const std::vector<LineTemplate>& LineTemplatePool::all() {
    static const std::vector<LineTemplate> templates = makeTemplates();
    return templates;
}

std::string_view LineTemplatePool::stockMove(MoveLabel label, std::optional<StoneTemperament> temperament) {
    switch (temperament.value_or(StoneTemperament::steady)) {
        case StoneTemperament::steady:
            switch (label) {
                case MoveLabel::stepOutside:
                    return "step outside for five.";
                case MoveLabel::shortPractice:
                    return "a Tavryn practice, about five minutes.";
                case MoveLabel::breath:
                    return "a few slow breaths outside.";
                case MoveLabel::customOther:
                    return "the move you already know works.";
            }
            break;
        case StoneTemperament::direct:
            switch (label) {
                case MoveLabel::stepOutside:
                    return "go outside for five.";
                case MoveLabel::shortPractice:
                    return "do the Tavryn practice, five minutes.";
                case MoveLabel::breath:
                    return "take a few slow breaths outside, now.";
                case MoveLabel::customOther:
                    return "do the move you know works.";
            }
            break;
        case StoneTemperament::reserved:
            switch (label) {
                case MoveLabel::stepOutside:
                    return "step outside, if only for five.";
                case MoveLabel::shortPractice:
                    return "a Tavryn practice, five minutes, if you take it.";
                case MoveLabel::breath:
                    return "a few slow breaths outside, quietly.";
                case MoveLabel::customOther:
                    return "the move you already know, if it still holds.";
            }
            break;
        case StoneTemperament::observant:
            switch (label) {
                case MoveLabel::stepOutside:
                    return "outside is there for five minutes, if it fits.";
                case MoveLabel::shortPractice:
                    return "a Tavryn practice sits there, five minutes, if it fits.";
                case MoveLabel::breath:
                    return "a few slow breaths outside, worth noticing.";
                case MoveLabel::customOther:
                    return "the move you know, worth returning to.";
            }
            break;
    }
    return "step outside for five.";
}

LineTemplateEngine::Selection LineTemplateEngine::selectAndRender(const LineSlots& slots,
                                                                  const LineHistory& history,
                                                                  AnyRNGBox randomSource) {
    std::vector<const LineTemplate*> candidates;
    for (const LineTemplate& t : LineTemplatePool::all()) {
        if (isEligible(t, slots)) candidates.push_back(&t);
    }

    if (history.lastTemplateId) {
        std::vector<const LineTemplate*> fresh;
        for (const LineTemplate* t : candidates) {
            if (t->id != *history.lastTemplateId) fresh.push_back(t);
        }
        if (!fresh.empty()) candidates = std::move(fresh);
    }

    const LineTemplate* chosen = &pick(candidates, randomSource);
    std::string line = chosen->render(slots);

    if (history.lastRenderedLine && line == *history.lastRenderedLine && candidates.size() >= 2) {
        std::vector<const LineTemplate*> others;
        for (const LineTemplate* t : candidates) {
            if (t->id != chosen->id) others.push_back(t);
        }
        // Templates 7 and 9 word the same line, so a re-pick may still repeat it; one re-pick
        // is all there is.
        if (!others.empty()) {
            chosen = &pick(others, randomSource);
            line = chosen->render(slots);
        }
    }

    return {{chosen->id, chosen->form, line}, {chosen->id, line}};
}

}  // namespace quillfen
