#pragma once

#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Mind/LineHistory.h"
#include "Mind/MoveLabel.h"
#include "Stone/StoneIdentity.h"
#include "Support/RandomSource.h"

namespace quillfen {

// The shape of a line, carried for the caller's information; no pick depends on it.
enum class TemplateForm { yourWordsLead, conditionFirst, presenceOffers };

inline constexpr TemplateForm kAllTemplateForms[] = {
    TemplateForm::yourWordsLead, TemplateForm::conditionFirst, TemplateForm::presenceOffers};

std::string_view toString(TemplateForm);
std::optional<TemplateForm> templateFormFrom(std::string_view);
void to_json(nlohmann::json&, const TemplateForm&);
void from_json(const nlohmann::json&, TemplateForm&);

// The ingredients of one ask line.
struct LineSlots {
    // The phrase of the promised move, as the user keeps it; empty when there is none.
    std::string userPromiseText;
    MoveLabel moveLabel = MoveLabel::stepOutside;
    // Lower case, without a final full stop: "second long afternoon this week".
    std::string patternObservation;
    std::optional<std::string> conditionNote;
    // Absent words the stock moves as a steady stone would.
    std::optional<StoneTemperament> temperament;

    // The note with its first character upper- or lower-cased and ending in exactly one full
    // stop (empty when nothing but spaces, stops and exclamation marks remain).
    std::string conditionNoteCapitalized() const;
    std::string conditionNoteLowered() const;
    // Lower-cased first character, trimmed at both ends, no stop added: for the middle of a line.
    std::string conditionNoteJoinable() const;

    bool operator==(const LineSlots&) const = default;
};

struct LineTemplate {
    std::string id;
    TemplateForm form = TemplateForm::yourWordsLead;
    bool requiresCondition = false;
    bool requiresPromiseText = false;
    std::string (*render)(const LineSlots&) = nullptr;
};

struct LineRender {
    std::string templateId;
    TemplateForm form = TemplateForm::yourWordsLead;
    std::string line;
    bool operator==(const LineRender&) const = default;
};

namespace LineTemplatePool {

// The eleven templates, in the order the engine considers them.
const std::vector<LineTemplate>& all();

// The stock phrase for a move in the stone's voice; lower case, ending in a full stop.
std::string_view stockMove(MoveLabel label, std::optional<StoneTemperament> temperament);

}  // namespace LineTemplatePool

namespace LineTemplateEngine {

struct Selection {
    LineRender render;
    // The history to pass to the next call.
    LineHistory history;
    bool operator==(const Selection&) const = default;
};

// Picks one eligible template at random, away from the last template and, with a second draw,
// away from the last line, and renders it. One draw, or two when the first pick repeats the
// last line.
Selection selectAndRender(const LineSlots& lineSlots, const LineHistory& history, AnyRNGBox randomSource);

// The random source is taken by value: a generator of the caller's is never advanced.
template <std::uniform_random_bit_generator Generator>
Selection selectAndRender(const LineSlots& lineSlots, const LineHistory& history, Generator randomSource) {
    return selectAndRender(lineSlots, history, AnyRNGBox(std::move(randomSource)));
}

}  // namespace LineTemplateEngine

}  // namespace quillfen
