#pragma once

#include <string>
#include <utility>
#include <variant>

namespace quillfen {

// A mind's answer: stay silent, or say one line. Each carries the mind's short reason, which may
// be empty. Equal when the case and every text match.
struct MindDecision {
    struct StaySilent {
        std::string why;
        bool operator==(const StaySilent&) const = default;
    };
    struct OneNudge {
        std::string line;
        std::string why;
        bool operator==(const OneNudge&) const = default;
    };

    std::variant<StaySilent, OneNudge> value;

    static MindDecision staySilent(std::string why) { return {StaySilent{std::move(why)}}; }
    static MindDecision oneNudge(std::string line, std::string why) {
        return {OneNudge{std::move(line), std::move(why)}};
    }

    // The line to say, or null for silence.
    const OneNudge* nudge() const { return std::get_if<OneNudge>(&value); }
    const std::string& why() const {
        return std::visit([](const auto& decision) -> const std::string& { return decision.why; }, value);
    }

    bool operator==(const MindDecision&) const = default;
};

}  // namespace quillfen
