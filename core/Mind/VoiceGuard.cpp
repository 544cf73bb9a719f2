#include "Mind/VoiceGuard.h"

#include <algorithm>
#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"

#include "Support/EnumTable.h"
#include "Support/Regex.h"
#include "Support/Text.h"
#include "Support/UnicodeText.h"

namespace quillfen {

namespace {

constexpr EnumName<VoiceRule> kRules[] = {
    {VoiceRule::nonEmpty, "nonEmpty"},
    {VoiceRule::noQuestion, "noQuestion"},
    {VoiceRule::noEmDash, "noEmDash"},
    {VoiceRule::sentenceCase, "sentenceCase"},
    {VoiceRule::atMostTwoSentences, "atMostTwoSentences"},
    {VoiceRule::notTooLong, "notTooLong"},
    {VoiceRule::tavrynSpelling, "tavrynSpelling"},
    {VoiceRule::noColdTemplateSlop, "noColdTemplateSlop"},
    {VoiceRule::numberMismatchesSummary, "numberMismatchesSummary"},
    {VoiceRule::leadingCapital, "leadingCapital"},
};

constexpr std::string_view kEmDash = "\u2014";
constexpr std::size_t kMaxCharacters = 180;
constexpr std::size_t kMaxSentenceMarks = 2;

// Only spaces and line feeds part words: a tab or a non-breaking space joins its neighbours into
// one word, so "A\u00a0I" shouts where "A I" does not.
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ' || text[i] == '\n') {
            if (i > start) out.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

// A word of two or more letters, all of them capitals. Digits and marks are not letters, so
// "A1" passes and "U.S." shouts.
bool shouts(std::string_view word) {
    std::size_t letters = 0;
    for (const std::string& c : UnicodeText::characters(word)) {
        if (!UnicodeText::isLetter(c)) continue;
        if (!UnicodeText::isUppercase(c)) return false;
        ++letters;
    }
    return letters >= 2;
}

bool hasShoutedWord(std::string_view text) {
    const std::vector<std::string_view> all = words(text);
    return std::any_of(all.begin(), all.end(), shouts);
}

std::size_t sentenceMarks(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return c == '.' || c == '!' || c == '?'; }));
}

// One correct spelling anywhere excuses every other spelling in the line.
bool misspellsBrand(const std::string& text) {
    return UnicodeText::caseFolded(text).find("tavryn") != std::string::npos &&
           text.find("Tavryn") == std::string::npos;
}

// Each run of digits is tried once, from its first digit, and never given back: tried from
// every digit of a long run, the search took time growing with the square of the run.
const Regex& coldTemplate() {
    static const Regex pattern(R"((?i)(?<!\d)\d++\s*+(?:tabs?\b|hours?\s+in\b)|tabs?\s++deep\b)");
    return pattern;
}

}  // namespace

std::string_view toString(VoiceRule rule) {
    return enumName(rule, kRules);
}
std::optional<VoiceRule> voiceRuleFrom(std::string_view raw) {
    return enumFromName(raw, kRules);
}

void to_json(nlohmann::json& j, const VoiceRule& rule) {
    j = std::string(toString(rule));
}

void from_json(const nlohmann::json& j, VoiceRule& rule) {
    JsonFields::readRawValue(j, rule, voiceRuleFrom);
}

namespace VoiceGuard {

VoiceCheck check(std::string_view line) {
    const std::string text = Text::trimmed(line);
    if (text.empty()) return {false, {VoiceRule::nonEmpty}};

    std::vector<VoiceRule> failures;
    if (text.find('?') != std::string::npos) failures.push_back(VoiceRule::noQuestion);
    if (text.find(kEmDash) != std::string::npos) failures.push_back(VoiceRule::noEmDash);
    if (hasShoutedWord(text)) failures.push_back(VoiceRule::sentenceCase);
    // Every mark counts, so "..." is three; the one-character ellipsis is none.
    if (sentenceMarks(text) > kMaxSentenceMarks) failures.push_back(VoiceRule::atMostTwoSentences);
    if (UnicodeText::characterCount(text) > kMaxCharacters) failures.push_back(VoiceRule::notTooLong);
    if (misspellsBrand(text)) failures.push_back(VoiceRule::tavrynSpelling);
    if (coldTemplate().foundIn(text)) failures.push_back(VoiceRule::noColdTemplateSlop);
    return {failures.empty(), std::move(failures)};
}

std::vector<VoiceRule> leadingCapital(std::string_view line) {
    const std::string first = UnicodeText::firstCharacter(Text::trimmed(line));
    if (UnicodeText::isLetter(first) && UnicodeText::isLowercase(first)) return {VoiceRule::leadingCapital};
    return {};
}

}  // namespace VoiceGuard

}  // namespace quillfen
