#pragma once

#include <optional>
#include <string>
#include <utility>

namespace quillfen {

// The facts of one sky answer; any of them may be missing.
struct SkyTail {
    std::optional<std::string> skyCondition;
    std::optional<double> temperatureC;
    std::optional<std::string> airQualityCategory;
    // Never empty when present: the name of tonight's primary sky event.
    std::optional<std::string> rareEventName;
    std::optional<bool> isDaylight;
    bool operator==(const SkyTail&) const = default;
};

// What the sky service made of the outside: worth it, worth it with a rare event tonight,
// or unknown (no usable answer, or the outside is bad).
class SkyVerdict {
public:
    enum class Kind { worthIt, rare, unknown };

    static SkyVerdict worthIt(SkyTail tail) { return {Kind::worthIt, std::move(tail)}; }
    static SkyVerdict rare(SkyTail tail) { return {Kind::rare, std::move(tail)}; }
    static SkyVerdict unknown() { return {Kind::unknown, std::nullopt}; }

    Kind kind() const { return kind_; }
    // Present for `worthIt` and `rare`, absent for `unknown`.
    const std::optional<SkyTail>& tail() const { return tail_; }

    bool operator==(const SkyVerdict&) const = default;

private:
    SkyVerdict(Kind kind, std::optional<SkyTail> tail) : kind_(kind), tail_(std::move(tail)) {}

    Kind kind_;
    std::optional<SkyTail> tail_;
};

}  // namespace quillfen
