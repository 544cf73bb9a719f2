#include "Promise/Promise.h"

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"

namespace quillfen {

std::string Promise::sentence() const {
    std::string move = moves.empty() ? std::string() : moves.front().phrase;
    return "When I've had " + dayPhrase + ", I'll " + move + ".";
}

std::optional<PromiseMove> Promise::moveForThisMoment(const std::optional<Uuid>& avoidingMoveId) const {
    if (moves.empty()) return std::nullopt;
    if (avoidingMoveId && moves.size() >= 2) {
        for (std::size_t i = 0; i < moves.size(); ++i) {
            if (moves[i].id == *avoidingMoveId) return moves[(i + 1) % moves.size()];
        }
    }
    return moves.front();
}

nlohmann::json promiseToJson(const Promise& promise) {
    nlohmann::json moves = nlohmann::json::array();
    for (const auto& move : promise.moves) {
        moves.push_back({
            {"id", move.id.toString()},
            {"label", std::string(toString(move.label))},
            {"phrase", move.phrase},
        });
    }
    return {
        {"schemaVersion", promise.schemaVersion},
        {"dayPhrase", promise.dayPhrase},
        {"moves", std::move(moves)},
        {"capturedAt", ReferenceDate::secondsSince2001(promise.capturedAt)},
    };
}

std::optional<Promise> promiseFromJson(const nlohmann::json& j) {
    using namespace JsonFields;
    try {
        Promise promise;
        promise.schemaVersion = asInt(field(j, "schemaVersion"));
        promise.dayPhrase = asString(field(j, "dayPhrase"));
        const auto& moves = field(j, "moves");
        if (!moves.is_array()) return std::nullopt;
        for (const auto& m : moves) {
            auto id = Uuid::parse(asString(field(m, "id")));
            if (!id) return std::nullopt;
            promise.moves.push_back(
                {*id, asEnum(field(m, "label"), moveLabelFrom), asString(field(m, "phrase"))});
        }
        promise.capturedAt = asReferenceDate(field(j, "capturedAt"));
        return promise;
    } catch (const Invalid&) {
        return std::nullopt;
    }
}

}  // namespace quillfen
