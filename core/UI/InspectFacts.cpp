#include "UI/InspectFacts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "Mind/VoiceGuard.h"
#include "Reflection/Reflection.h"
#include "Reflection/RhythmScore.h"
#include "Support/LocalCalendar.h"
#include "Support/Text.h"
#include "Support/UnicodeText.h"

namespace quillfen::InspectFacts {

namespace {

constexpr double kHour = 3600;
constexpr double kBrowserSessionCap = 1800;

// Whole seconds, truncated; a value that is not a number counts as 0 and one past the range
// stops at its end.
std::int64_t wholeSeconds(double seconds) {
    if (!std::isfinite(seconds)) return seconds > 0 ? std::numeric_limits<std::int64_t>::max() : 0;
    if (seconds >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (seconds <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(seconds);
}

// A fire this recent is still named in the live status line.
constexpr double kRecentFireSeconds = 2700;

}  // namespace

std::string timesWord(int n) {
    if (n == 1) return "once";
    if (n == 2) return "twice";
    return std::to_string(n) + " times";
}

std::string spanPhrase(std::int64_t minutes) {
    if (minutes <= 59) return std::to_string(minutes) + " min";
    const std::int64_t hours = minutes / 60;
    const std::int64_t rest = minutes % 60;
    if (rest == 0) return std::to_string(hours) + "h";
    return std::to_string(hours) + "h " + std::to_string(rest) + "m";
}

std::string clockLabel(double fractionalHour) {
    // An hour of day lies in 0 ..< 24; one outside it stops at the day's ends.
    const double seconds = std::isfinite(fractionalHour) ? std::round(fractionalHour * kHour) : 0;
    const auto total = static_cast<long>(std::clamp(seconds, 0.0, 24 * kHour - 1));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 3600, total % 3600 / 60);
    return text;
}

std::string clockLabel(TimePoint moment) {
    const std::tm local = LocalCalendar::localTime(moment);
    return clockLabel(local.tm_hour + local.tm_min / 60.0 + local.tm_sec / kHour);
}

std::string atScreenFact(std::optional<double> firstActiveHour, std::int64_t longestRunMinutes) {
    const std::string stretch = "longest stretch " + spanPhrase(longestRunMinutes);
    if (!firstActiveHour) return stretch;
    return "since " + clockLabel(*firstActiveHour) + ", " + stretch;
}

std::string weekPhrase(int longAfternoons, int scatteredAfternoons) {
    std::string phrase;
    if (longAfternoons >= 1) {
        phrase = Reflection::spelled(longAfternoons) + " heavy afternoon" + (longAfternoons == 1 ? "" : "s");
    }
    if (scatteredAfternoons >= 1) {
        if (!phrase.empty()) phrase += ", ";
        phrase += Reflection::spelled(scatteredAfternoons) + " scattered";
    }
    return phrase.empty() ? "calm so far" : phrase;
}

std::string spokenPhrase(int nudges) {
    if (nudges == 0) return "not yet this week";
    return timesWord(nudges) + " this week";
}

std::string timesSpokenFact(int siblingFiresThisWeek, int nudgesThisWeek) {
    if (siblingFiresThisWeek < 1) return spokenPhrase(nudgesThisWeek);
    return timesWord(siblingFiresThisWeek) + " this week, inside replies";
}

std::string rightNowFact(AttentionState attention, bool onBattery) {
    std::string word;
    switch (attention) {
        case AttentionState::focused:
            word = "focused";
            break;
        case AttentionState::fragmented:
            word = "scattered";
            break;
        case AttentionState::idle:
            word = "settled";
            break;
    }
    return word + (onBattery ? ", on battery" : ", plugged in");
}

std::string patternObservation(const AgentSummary& summary) {
    const int longs = summary.summary.longAfternoonsThisWeek;
    if (longs < 2 && summary.summary.fragmentedAfternoonsThisWeek >= 2) return "another scattered afternoon this week";
    std::string word;
    switch (longs) {
        case 2:
            word = "second";
            break;
        case 3:
            word = "third";
            break;
        case 4:
            word = "fourth";
            break;
        default:
            word = longs < 2 ? "another" : std::to_string(longs) + "th";
    }
    return word + " long afternoon this week";
}

std::string faceLabel(FaceTier tier, std::optional<FaceReading::Rest> rest) {
    std::string label(toString(tier));
    if (rest) label += " (resting: " + std::string(FaceReading::toString(*rest)) + ")";
    return label;
}

std::string observeStatusLine(const AgentSummary& summary, bool loopLive, int pullsLastHalfHour,
                              const std::optional<BreatherJournal::FiresToday>& firesToday, TimePoint now) {
    if (!loopLive) {
        if (!firesToday) return Reflection::observeStatus(summary);
        return "Quieter now. I spoke " + timesWord(firesToday->count) + " today inside a reply, last at " +
               clockLabel(firesToday->last) + ".";
    }
    std::string line = std::to_string(pullsLastHalfHour) + " pulls in the last half hour.";
    if (firesToday && secondsBetween(firesToday->last, now) < kRecentFireSeconds)
        line += " I left a small line in the reply at " + clockLabel(firesToday->last) + ".";
    return line;
}

std::optional<std::string> browserFact(const BrowserRhythm& rhythm, TimePoint now) {
    if (rhythm.isEmpty()) return std::nullopt;
    const int switches = rhythm.tabSwitches(kHour, now);
    const int minutes = rhythm.activeMinutesToday(now, kBrowserSessionCap);
    return std::to_string(switches) + " tab switch" + (switches == 1 ? "" : "es") + " this hour, " +
           spanPhrase(minutes) + " in the browser today";
}

std::string agoLabel(double seconds) {
    const std::int64_t n = std::max<std::int64_t>(wholeSeconds(seconds), 0);
    if (n < 60) return std::to_string(n) + "s ago";
    if (n >= 3600) return std::to_string(n / 3600) + "h ago";
    return std::to_string(n / 60) + "m ago";
}

Liveness Liveness::of(const HeartbeatLiveness::Freshness& freshness) {
    using Kind = HeartbeatLiveness::Freshness::Kind;
    switch (freshness.kind) {
        case Kind::fresh:
            return {false, agoLabel(freshness.secondsAgo)};
        case Kind::stale:
            return {true, agoLabel(freshness.secondsAgo)};
        case Kind::neverHeard:
            break;
    }
    return {true, std::string(kNoValue)};
}

bool inFlow(AttentionState attention, std::int64_t longestRunMinutes) {
    return attention == AttentionState::focused && longestRunMinutes >= 25;
}

std::string restraintNote(bool micInUse, bool inFlow) {
    if (micInUse) return "you\u2019re on a call";
    if (inFlow) return "you\u2019re in a focus stretch";
    return "";
}

std::vector<SensingNote> sensingNotes(const SensingGaps& gaps) {
    std::vector<SensingNote> notes;
    if (gaps.idleUnknown) {
        notes.push_back(
            {"Idle time is unknown on this desktop: I can\u2019t see when you step away, so a stretch at "
             "the screen ends only when the computer sleeps, the screen locks or the screens go off."});
    }
    if (gaps.nativeSwitchesUnseen && !gaps.extensionToTurnOn.empty()) {
        // GNOME finds an extension installed since the login only at the next one, and turns on
        // only one it has found.
        notes.push_back(
            {"Switches between native windows are not seen here until you turn on my GNOME Shell "
             "extension. Log out and in once after installing me, so that GNOME finds it, then run "
             "this in a terminal:",
             "gnome-extensions enable " + gaps.extensionToTurnOn});
    } else if (gaps.nativeSwitchesUnseen) {
        notes.push_back(
            {"Switches between native windows are not seen here: this desktop doesn\u2019t say which "
             "window is in front, so I count only the switches between X11 windows, and your switches "
             "an hour read low."});
    }
    if (gaps.noTray) {
        notes.push_back(
            {"No tray shows me on this desktop, so when you close this window I carry on out of sight. "
             "To come back, choose Quillfen in your applications menu; right-click it there for "
             "Settings and Quit."});
    }
    return notes;
}

int loadLevel(Load load) {
    switch (load) {
        case Load::low:
            return 0;
        case Load::medium:
            return 1;
        case Load::high:
            return 2;
    }
    return 0;
}

double rhythmScore(const AgentSummary& summary, bool calendarAuthorized, int backToBack, int busyMinutes) {
    std::optional<RhythmScore::CalendarDensity> density;
    if (calendarAuthorized) density = RhythmScore::CalendarDensity{backToBack, busyMinutes};
    return RhythmScore::of(summary, density);
}

std::string DecisionHistory::entryText(bool firing, const std::string& reason) {
    return firing ? "would nudge" : "silent \u00b7 " + reason;
}

bool DecisionHistory::record(bool firing, const std::string& reason, TimePoint now) {
    std::string text = entryText(firing, reason);
    if (text == lastText_) return false;
    const std::tm local = LocalCalendar::localTime(now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    lines_.insert(lines_.begin(), std::string(stamp) + "  " + text);
    if (lines_.size() > kLimit) lines_.resize(kLimit);
    lastText_ = std::move(text);
    return true;
}

void CloudFields::markUnavailable() {
    status = kUnavailable;
}

void CloudFields::markAsking() {
    status = kAsking;
    line.reset();
    source.clear();
    reasoning.clear();
}

void CloudFields::answer(const BridgeTrace& trace) {
    status = trace.mindError ? "fell back (" + *trace.mindError + ")" : "she reasoned over it live";
    reasoning = trace.mindReasoning.value_or("");
    if (trace.mindLine) {
        line = trace.mindLine;
        source = "would render: " + (trace.source ? std::string(toString(*trace.source)) : std::string(kNoValue));
        if (!trace.voiceFailures.empty()) {
            source += " \u00b7 guard rejected: ";
            for (std::size_t i = 0; i < trace.voiceFailures.size(); ++i) {
                if (i > 0) source += ", ";
                source += toString(trace.voiceFailures[i]);
            }
        }
    } else if (trace.fired) {
        line = trace.renderedLine.value_or("");
        source = std::string("rendered: ") + (trace.source == LineSource::mind ? "mind" : "local");
    } else {
        line = std::string(kChoseSilence);
        source.clear();
    }
}

FactorLine FactorLine::of(std::string_view entry) {
    const std::string text = UnicodeText::repairedUtf8(entry);
    std::string mark = UnicodeText::firstCharacter(text);
    const std::string_view rest = std::string_view(text).substr(mark.size());
    const std::string_view body =
        Text::trimmedWhere(rest, [](char32_t c) { return c == U' ' || c == U'\t'; });
    return {std::move(mark), std::string(body)};
}

}  // namespace quillfen::InspectFacts
