#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Mind/MoveLabel.h"
#include "Support/Clock.h"
#include "Support/Uuid.h"

namespace quillfen {

// One small move the user promised to make, in their own words.
struct PromiseMove {
    Uuid id{};
    MoveLabel label = MoveLabel::stepOutside;
    // Completes "When I've had ..., I'll ...".
    std::string phrase{};
    bool operator==(const PromiseMove&) const = default;
};

// The user's own plan for a heavy day.
struct Promise {
    static constexpr int currentSchemaVersion = 1;

    int schemaVersion = currentSchemaVersion;
    std::string dayPhrase{};
    std::vector<PromiseMove> moves{};
    TimePoint capturedAt{};

    // "When I've had <day>, I'll <first move>." with plain apostrophes.
    std::string sentence() const;

    // The first move, or, when the given id is one of two or more moves, the move after it
    // (wrapping round), so that successive asks walk through the moves in order.
    std::optional<PromiseMove> moveForThisMoment(const std::optional<Uuid>& avoidingMoveId) const;

    bool operator==(const Promise&) const = default;
};

// The document of promise.json: dates as seconds since 2001, move ids in upper case.
nlohmann::json promiseToJson(const Promise&);
// Needs all four members of the promise and all three of each move; others are ignored.
std::optional<Promise> promiseFromJson(const nlohmann::json&);

}  // namespace quillfen
