#include "Reflection/Reflection.h"

#include <cctype>

#include "Mind/LocalLine.h"
#include "Support/Text.h"
#include "Support/UnicodeText.h"

namespace quillfen::Reflection {

namespace {

// Only digits, a minus sign or lower-case ASCII words come here.
std::string capitalised(std::string text) {
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

std::string plural(std::int64_t n) {
    return n == 1 ? "" : "s";
}

bool stretchBand(ScreenBand band) {
    return band == ScreenBand::twoToThree || band == ScreenBand::overThree;
}

}  // namespace

std::string spelled(std::int64_t n) {
    switch (n) {
        case 0:
            return "no";
        case 1:
            return "one";
        case 2:
            return "two";
        case 3:
            return "three";
        case 4:
            return "four";
        default:
            return std::to_string(n);
    }
}

std::string todayLine(const std::optional<AgentSummary>& summary) {
    if (!summary) return "Quiet so far. I'm just watching.";
    const AgentSummary::Week& week = summary->summary;
    const AgentSummary::Today& today = week.today;
    const int n = week.longAfternoonsThisWeek;

    if (today.wentLong && n >= 2) return capitalised(LocalLine::ordinal(n)) + " long afternoon this week.";
    if (today.wentLong) return "A long afternoon today.";
    if (today.continuousScreenBand == ScreenBand::under1h || today.attentionState == AttentionState::idle) {
        switch (today.partOfDay) {
            case PartOfDay::night:
                return "Late, and quiet.";
            case PartOfDay::morning:
                return "A quiet morning so far.";
            case PartOfDay::afternoon:
                return "A light day so far.";
            case PartOfDay::evening:
                return "A quiet evening, from what I can see.";
        }
    }
    if (n >= 1 && stretchBand(today.continuousScreenBand)) {
        return "Another long afternoon building, " + spelled(n) + " already behind you this week.";
    }
    if (today.continuousScreenBand == ScreenBand::overThree)
        return "A long unbroken stretch at the screen today.";
    if (today.continuousScreenBand == ScreenBand::twoToThree) return "A steady stretch today.";
    if (n >= 2) return capitalised(spelled(n)) + " long afternoons this week.";
    if (n == 1) return "One long afternoon this week so far.";
    if (week.fragmentedAfternoonsThisWeek >= 2) return "A scattered week so far.";
    return "Quiet so far. I'm just watching.";
}

std::string observeHeadline(const AgentSummary& summary) {
    const AgentSummary::Week& week = summary.summary;
    if (week.longAfternoonsThisWeek < 2 && week.fragmentedAfternoonsThisWeek < 2) {
        switch (week.today.partOfDay) {
            case PartOfDay::night:
                return "Late, and still here.";
            case PartOfDay::morning:
                return "This morning so far.";
            case PartOfDay::afternoon:
                return "This afternoon so far.";
            case PartOfDay::evening:
                return "This evening so far.";
        }
    }
    return "This week's rhythm.";
}

std::string observeStatus(const AgentSummary& summary) {
    const AgentSummary::Week& week = summary.summary;
    const AgentSummary::Today& today = week.today;
    const int n = week.longAfternoonsThisWeek;

    if (today.wentLong && n >= 2) {
        return capitalised(LocalLine::ordinal(n)) + " long afternoon this week. I'm only watching.";
    }
    if (n >= 2) return capitalised(spelled(n)) + " long afternoons this week. I'm only watching.";
    if (n == 1) return "One long afternoon this week. Nothing you need to do.";
    if (week.fragmentedAfternoonsThisWeek >= 2) return "A scattered few days. I'm just keeping count.";
    if (today.continuousScreenBand == ScreenBand::overThree)
        return "A long stretch at the screen today. Just noting it.";
    if (today.continuousScreenBand == ScreenBand::twoToThree)
        return "A steady stretch today. Nothing to manage.";
    if (today.continuousScreenBand == ScreenBand::oneToTwo && today.attentionState != AttentionState::idle) {
        return "A quiet stretch. I'm just here.";
    }
    return "A light day so far. I'm watching quietly.";
}

std::string murmur(const AgentSummary& summary) {
    const AgentSummary::Week& week = summary.summary;
    const AgentSummary::Today& today = week.today;
    const int n = week.longAfternoonsThisWeek;

    if (week.nudgesAlreadyThisWeek > 0) {
        return capitalised(spelled(n)) + " long afternoon" + plural(n) + " this week, and I said so once.";
    }
    if (today.wentLong && n >= 2) return capitalised(LocalLine::ordinal(n)) + " long afternoon this week.";
    if (today.wentLong) return "A long afternoon today.";
    if (n >= 1 && stretchBand(today.continuousScreenBand)) {
        return "A long stretch today, and " + spelled(n) + " long afternoon" + plural(n) +
               " already this week.";
    }
    if (today.continuousScreenBand == ScreenBand::overThree) return "A long unbroken stretch today.";
    if (today.continuousScreenBand == ScreenBand::twoToThree) return "A steady stretch at the screen today.";
    if (n >= 2) return capitalised(spelled(n)) + " long afternoons this week.";
    if (week.fragmentedAfternoonsThisWeek >= 2) return "A scattered week so far.";
    return "";
}

std::string choose(const std::optional<std::string>& generated, const std::string& derived) {
    if (generated) {
        std::string line = Text::trimmed(*generated);
        if (!line.empty() && isMirrorClean(line)) return line;
    }
    return derived;
}

bool isMirrorClean(std::string_view line) {
    static constexpr std::string_view kAdvice[] = {"step outside", "step out",   "take a break",
                                                   "get outside",  "go outside", "should",
                                                   "you might",    "you could",  "try to"};
    // Full Unicode lower-casing without the user's locale: a Kelvin sign for K must not slip an
    // advising phrase past the check, nor a Turkish locale turn "I" into a dotless i.
    const std::string lower = UnicodeText::lowercased(line);
    if (lower.find('?') != std::string::npos) return false;
    for (std::string_view phrase : kAdvice) {
        if (lower.find(phrase) != std::string::npos) return false;
    }
    return true;
}

}  // namespace quillfen::Reflection
