#include "Mind/FactualGuard.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string>

#include "Support/Regex.h"
#include "Support/UnicodeText.h"

namespace quillfen::FactualGuard {

namespace {

struct CountWord {
    std::int64_t value;
    std::string_view ordinal;
    std::string_view number;
};

// Words above ten are not read: "eleven afternoons" claims nothing.
constexpr std::array<CountWord, 10> kWords = {{
    {1, "first", "one"},
    {2, "second", "two"},
    {3, "third", "three"},
    {4, "fourth", "four"},
    {5, "fifth", "five"},
    {6, "sixth", "six"},
    {7, "seventh", "seven"},
    {8, "eighth", "eight"},
    {9, "ninth", "nine"},
    {10, "tenth", "ten"},
}};

constexpr std::int64_t kAlwaysAllowed[] = {2, 4};

constexpr std::string_view kAfternoonsOrTimes = R"(\b\s+(?:\w+\s+)?(?:afternoons?|times?)\b)";
constexpr std::string_view kKindOfDays = R"(\b\s+(?:long|fragmented|scattered)\s+days?\b)";

struct WordPattern {
    std::int64_t value;
    Regex pattern;
};

std::vector<WordPattern> wordPatterns(std::string_view CountWord::*column, std::string_view tail) {
    std::vector<WordPattern> out;
    for (const CountWord& word : kWords)
        out.push_back(
            {word.value, Regex(std::string(R"(\b)") + std::string(word.*column) + std::string(tail))});
    return out;
}

// Compiled once: the guard runs on every line the mind proposes, from any thread.
struct Patterns {
    std::vector<WordPattern> ordinalWords = wordPatterns(&CountWord::ordinal, R"(\b)");
    Regex numericOrdinal{R"(\b(\d+)(?:st|nd|rd|th)\b)"};
    Regex digitsBeforeAfternoons{R"(\b(\d+)\s+(?:\w+\s+)?(?:afternoons?|times?)\b)"};
    Regex digitsBeforeDays{R"(\b(\d+)\s+(?:long|fragmented|scattered)\s+days?\b)"};
    std::vector<WordPattern> wordsBeforeAfternoons = wordPatterns(&CountWord::number, kAfternoonsOrTimes);
    std::vector<WordPattern> wordsBeforeDays = wordPatterns(&CountWord::number, kKindOfDays);
};

const Patterns& patterns() {
    static const Patterns compiled;
    return compiled;
}

// "\d" admits every decimal digit of Unicode; only ASCII digits that fit 64 bits are read.
std::optional<std::int64_t> decimal(std::string_view digits) {
    std::int64_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

void addWordValues(const std::vector<WordPattern>& table, std::string_view text,
                   std::vector<std::int64_t>& out) {
    for (const WordPattern& word : table) {
        if (word.pattern.foundIn(text)) out.push_back(word.value);
    }
}

void addDigitMatches(const Regex& pattern, std::string_view text, std::vector<std::int64_t>& out) {
    for (const std::string& digits : pattern.groupOfEachMatch(text, 1)) {
        if (auto value = decimal(digits)) out.push_back(*value);
    }
}

}  // namespace

std::vector<std::int64_t> claimedCounts(std::string_view text) {
    const Patterns& p = patterns();
    std::vector<std::int64_t> counts;
    addWordValues(p.ordinalWords, text, counts);
    addDigitMatches(p.numericOrdinal, text, counts);
    addDigitMatches(p.digitsBeforeAfternoons, text, counts);
    addDigitMatches(p.digitsBeforeDays, text, counts);
    addWordValues(p.wordsBeforeAfternoons, text, counts);
    addWordValues(p.wordsBeforeDays, text, counts);
    return counts;
}

std::vector<VoiceRule> check(std::string_view line, const AgentSummary& summary) {
    const std::int64_t weekCounts[] = {summary.summary.longAfternoonsThisWeek,
                                       summary.summary.fragmentedAfternoonsThisWeek};
    const auto allowed = [&](std::int64_t count) {
        return std::find(std::begin(kAlwaysAllowed), std::end(kAlwaysAllowed), count) !=
                   std::end(kAlwaysAllowed) ||
               std::find(std::begin(weekCounts), std::end(weekCounts), count) != std::end(weekCounts);
    };
    const std::vector<std::int64_t> claimed = claimedCounts(UnicodeText::lowercased(line));
    if (std::all_of(claimed.begin(), claimed.end(), allowed)) return {};
    return {VoiceRule::numberMismatchesSummary};
}

}  // namespace quillfen::FactualGuard
