#pragma once

#include <optional>
#include <string>
#include <utility>

#include "Mind/LineHistory.h"
#include "Mind/LineTemplateEngine.h"
#include "Mind/MoveLabel.h"
#include "Promise/Promise.h"
#include "Stone/StoneIdentity.h"
#include "Support/RandomSource.h"
#include "Support/Uuid.h"

namespace quillfen {

// One ask line and what the caller keeps for the next ask.
struct ComposedAsk {
    std::string line;
    std::string templateId;
    TemplateForm form = TemplateForm::yourWordsLead;
    // The promised move offered; absent when the promise had none to offer.
    std::optional<Uuid> usedMoveId;
    std::optional<MoveLabel> usedMoveLabel;
    LineHistory history;
    bool operator==(const ComposedAsk&) const = default;
};

namespace AskComposer {

// Offers the promise's next move (not the one offered last time) in the line templates' words.
// Without a promise, or with one that has no moves, the line offers the stock step outside.
// The line is neither trimmed nor capitalised here.
ComposedAsk compose(const std::optional<Promise>& promise, const std::string& patternObservation,
                    const std::optional<std::string>& conditionNote, const LineHistory& history,
                    const std::optional<Uuid>& lastMoveId, std::optional<StoneTemperament> temperament,
                    AnyRNGBox randomSource);

// The random source is taken by value: a generator of the caller's is never advanced.
template <std::uniform_random_bit_generator Generator>
ComposedAsk compose(const std::optional<Promise>& promise, const std::string& patternObservation,
                    const std::optional<std::string>& conditionNote, const LineHistory& history,
                    const std::optional<Uuid>& lastMoveId, std::optional<StoneTemperament> temperament,
                    Generator randomSource) {
    return compose(promise, patternObservation, conditionNote, history, lastMoveId, temperament,
                   AnyRNGBox(std::move(randomSource)));
}

}  // namespace AskComposer

}  // namespace quillfen
