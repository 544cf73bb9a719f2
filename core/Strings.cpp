#include "Strings.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "Support/Text.h"

namespace quillfen::Strings {

namespace {

constexpr std::string_view kDismiss = "Not now";
constexpr std::string_view kPlainInvitation = "Step outside for five.";
constexpr std::string_view kRareInvitation = "Worth stepping outside for five.";
constexpr std::string_view kCodexLead = "Codex can keep going without you. ";
// Fixed here, not the mapper's threshold: the wording changes at a dozen switches whatever
// the configuration says.
constexpr std::int64_t kJumpingSwitches = 12;

struct ObservedFact {
    std::string title;
    std::string lineOne;
    std::string meta;
};

// Halves away from zero. Values that no 64-bit integer holds have no wording.
std::optional<std::int64_t> roundedWhole(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double r = std::round(value);
    if (r < -9.2e18 || r > 9.2e18) return std::nullopt;
    return static_cast<std::int64_t>(r);
}

std::string capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string humanHours(double hours) {
    switch (const std::int64_t n = roundedWhole(hours).value_or(0)) {
        case 0:
        case 1:
            return "an hour or so";
        case 2:
            return "two hours";
        case 3:
            return "three hours";
        case 4:
            return "four hours";
        default:
            return std::to_string(n) + " hours";
    }
}

ObservedFact observedFact(const NudgeCandidate& candidate) {
    const double hours = static_cast<double>(candidate.continuousActiveMinutes) / 60.0;
    if (candidate.useWordyVariant) {
        const std::string stretch = hours < 1.0 ? "a solid stretch" : "the better part of an hour";
        const std::string line =
            "You’ve been at the screen " + stretch + " now, with a lot of jumping around.";
        return {line, line, "A short reset usually helps when it’s been a stretch like this. Five minutes."};
    }
    const std::string h = capitalised(humanHours(hours));
    const std::string line = h + " at the screen, no real break.";
    const std::string meta =
        candidate.appSwitchesLastHour >= kJumpingSwitches
            ? h + " in, and a lot of jumping between things. Five minutes outside is a real reset."
            : h + " in, no real break. Five minutes outside is a real reset.";
    return {line, line, meta};
}

std::string articleized(const std::string& name) {
    const std::string lower = Text::lowercasedAscii(name);
    if (contains(lower, "perseid") || contains(lower, "meteor") || contains(lower, "shower"))
        return "a meteor shower";
    return "the " + name;
}

std::optional<std::string> skyTailPhrase(const SkyVerdict& sky) {
    if (!sky.tail()) return std::nullopt;
    const SkyTail& tail = *sky.tail();
    if (tail.rareEventName) return "There’s " + articleized(*tail.rareEventName) + " out tonight.";

    std::optional<std::string> lead;
    if (tail.skyCondition) {
        const std::string condition = Text::lowercasedAscii(*tail.skyCondition);
        if (contains(condition, "clear") || contains(condition, "golden") || contains(condition, "sun")) {
            lead = "It’s clear out";
        } else if (contains(condition, "cloud")) {
            lead = "It’s gray and soft out";
        }
    }
    if (auto t = tail.temperatureC ? roundedWhole(*tail.temperatureC) : std::nullopt) {
        const std::string degrees = std::to_string(*t) + "°";
        lead = lead ? *lead + ", around " + degrees : "It’s around " + degrees + " out";
    }
    if (!lead) return std::nullopt;
    return *lead + ".";
}

std::string invitationPhrase(std::optional<StoneTemperament> temperament, bool isRare) {
    switch (temperament.value_or(StoneTemperament::steady)) {
        case StoneTemperament::steady:
            return std::string(isRare ? kRareInvitation : kPlainInvitation);
        case StoneTemperament::direct:
            return isRare ? "Go catch it." : "Go outside for five.";
        case StoneTemperament::reserved:
            return isRare ? "Worth going out for it, if only once." : "Outside, for five, if you take it.";
        case StoneTemperament::observant:
            return isRare ? "Worth a look outside while it lasts."
                          : "Five minutes outside is there, if it fits.";
    }
    return std::string(kPlainInvitation);
}

std::string primaryButtonLabel(std::optional<StoneTemperament> temperament, bool isRare) {
    switch (temperament.value_or(StoneTemperament::steady)) {
        case StoneTemperament::steady:
            return isRare ? "Go catch it" : "Step outside";
        case StoneTemperament::direct:
            return isRare ? "Go now" : "Go outside";
        case StoneTemperament::reserved:
            return isRare ? "Go, if you want it" : "Step outside";
        case StoneTemperament::observant:
            return isRare ? "Worth catching" : "Step outside";
    }
    return "Step outside";
}

}  // namespace

NudgeCopy nudge(const NudgeCandidate& candidate, const SkyVerdict& sky,
                std::optional<StoneTemperament> temperament) {
    const ObservedFact fact = observedFact(candidate);
    const std::optional<std::string> tail = skyTailPhrase(sky);
    // Only the rare case counts: a worth-it answer that happens to name an event is not rare.
    const bool isRare = sky.kind() == SkyVerdict::Kind::rare;
    const std::string invitation =
        temperament ? invitationPhrase(temperament, isRare) : std::string(kPlainInvitation);

    NudgeCopy copy;
    copy.notificationTitle = fact.title;
    if (!tail) {
        copy.notificationBody = invitation;
    } else if (!temperament && isRare) {
        copy.notificationBody = *tail + " " + std::string(kRareInvitation);
    } else {
        copy.notificationBody = *tail + " " + invitation;
    }
    copy.panelLineOne = fact.lineOne;
    copy.panelLineTwo = tail.value_or(invitation);
    copy.panelMeta = fact.meta;
    copy.primaryButton = primaryButtonLabel(temperament, isRare);
    copy.dismissButton = kDismiss;
    return copy;
}

NudgeCopy codexNudge(const NudgeCandidate& candidate, const SkyVerdict& sky,
                     std::optional<StoneTemperament> temperament) {
    NudgeCopy copy = nudge(candidate, sky, temperament);
    copy.notificationBody.insert(0, kCodexLead);
    copy.panelLineTwo.insert(0, kCodexLead);
    return copy;
}

NudgeCopy fromAgentLine(std::string_view line, std::optional<MoveLabel> moveLabel) {
    const std::string t = Text::trimmed(line);
    NudgeCopy copy;
    copy.notificationTitle = t;
    copy.panelLineOne = t;
    copy.primaryButton = "Step outside";
    copy.dismissButton = kDismiss;
    copy.moveLabel = moveLabel;
    return copy;
}

NudgeCopy demoNudge() {
    return {
        .notificationTitle = "Three hours at the screen, no real break.",
        .notificationBody = "It’s clear out, around 14°. Step outside for five.",
        .panelLineOne = "Three hours at the screen, no real break.",
        .panelLineTwo = "It’s clear out, around 14°.",
        .panelMeta = "Three hours in, no real break. Five minutes outside resets it.",
        .primaryButton = "Step outside",
        .dismissButton = std::string(kDismiss),
        .moveLabel = MoveLabel::stepOutside,
    };
}

}  // namespace quillfen::Strings
