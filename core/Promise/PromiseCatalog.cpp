#include "Promise/PromiseCatalog.h"

#include <algorithm>

#include "Support/Text.h"

namespace quillfen::PromiseCatalog {

std::string normalize(std::string_view phrase) {
    std::string text = Text::trimmed(phrase);
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::variant<Promise, DraftError> buildPromise(std::string_view dayPhrase,
                                               const std::vector<PromiseMove>& moves, TimePoint now) {
    std::string day = normalize(dayPhrase);
    if (day.empty()) return DraftError::noDay;
    Promise promise;
    promise.dayPhrase = std::move(day);
    for (const auto& move : moves) {
        std::string phrase = normalize(move.phrase);
        if (phrase.empty()) continue;
        promise.moves.push_back({move.id, move.label, std::move(phrase)});
    }
    if (promise.moves.empty()) return DraftError::noMove;
    promise.capturedAt = now;
    return promise;
}

}  // namespace quillfen::PromiseCatalog
