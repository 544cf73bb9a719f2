#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace quillfen {

// The rules a mind's line can break. The voice guard raises all but two: the factual guard
// raises numberMismatchesSummary, and leadingCapital is asked for reflections only.
enum class VoiceRule {
    nonEmpty,
    noQuestion,
    noEmDash,
    sentenceCase,
    atMostTwoSentences,
    notTooLong,
    tavrynSpelling,
    noColdTemplateSlop,
    numberMismatchesSummary,
    leadingCapital,
};

inline constexpr VoiceRule kAllVoiceRules[] = {
    VoiceRule::nonEmpty,       VoiceRule::noQuestion,         VoiceRule::noEmDash,
    VoiceRule::sentenceCase,   VoiceRule::atMostTwoSentences, VoiceRule::notTooLong,
    VoiceRule::tavrynSpelling, VoiceRule::noColdTemplateSlop, VoiceRule::numberMismatchesSummary,
    VoiceRule::leadingCapital,
};

std::string_view toString(VoiceRule);
std::optional<VoiceRule> voiceRuleFrom(std::string_view);

// Written as its raw value; any other text fails to read (throws nlohmann::json::exception).
void to_json(nlohmann::json&, const VoiceRule&);
void from_json(const nlohmann::json&, VoiceRule&);

struct VoiceCheck {
    bool passed = true;
    // In the order the rules are tested, each at most once; empty exactly when passed.
    std::vector<VoiceRule> failures;
    bool operator==(const VoiceCheck&) const = default;
};

// Whether a line sounds like us. Reports the rules a line breaks and never edits it; every input
// gets an answer. White space and line breaks at either end are ignored.
namespace VoiceGuard {

VoiceCheck check(std::string_view line);
// Empty, or just leadingCapital when the line starts with a lower-case letter.
std::vector<VoiceRule> leadingCapital(std::string_view line);

}  // namespace VoiceGuard

}  // namespace quillfen
