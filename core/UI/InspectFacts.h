#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Contract/AgentSummary.h"
#include "Log/HeartbeatLiveness.h"
#include "Mind/MindBridge.h"
#include "Signals/BreatherJournal.h"
#include "Signals/BrowserRhythm.h"
#include "Signals/FaceTier.h"
#include "Signals/SignalSample.h"
#include "Support/Clock.h"

// The words the inspect and mirror windows show about what is seen, worded here once so that
// every surface and the controller agree. Clock times are read in the local time zone.
namespace quillfen::InspectFacts {

// A fact that has no value yet.
inline constexpr std::string_view kNoValue = "\u2014";

// 45 min, 2h, 2h 5m.
std::string spanPhrase(std::int64_t minutes);

// A fractional hour of day as H:mm. The minutes come from the hour rounded to the second: the
// hour 9 + 6/60 is stored a hair under 9.1, and reading its fraction directly gives 9:05.
std::string clockLabel(double fractionalHour);
// A moment as H:mm in the local time zone, by the same rule.
std::string clockLabel(TimePoint moment);

// "since 9:30, longest stretch 2h 5m", or without a first hour "longest stretch 2h 5m".
std::string atScreenFact(std::optional<double> firstActiveHour, std::int64_t longestRunMinutes);

// "calm so far", "one heavy afternoon", "two heavy afternoons, one scattered", "three scattered".
std::string weekPhrase(int longAfternoons, int scatteredAfternoons);

// "once", "twice", "3 times".
std::string timesWord(int n);

// The system's own nudges: "not yet this week", "once this week", "twice this week", "5 times this week".
std::string spokenPhrase(int nudges);

// The sibling agent's fires when it spoke this week ("twice this week, inside replies"),
// otherwise the system's own nudges.
std::string timesSpokenFact(int siblingFiresThisWeek, int nudgesThisWeek);

// "focused", "scattered" or "settled", then ", on battery" or ", plugged in".
std::string rightNowFact(AttentionState attention, bool onBattery);

// "3 tab switches this hour, 45 min in the browser today"; none when the journal is empty.
std::optional<std::string> browserFact(const BrowserRhythm& rhythm, TimePoint now);

// What the ask names as the week's pattern: "second long afternoon this week", or "another ..."
// while there is no pattern of long afternoons yet.
std::string patternObservation(const AgentSummary& summary);

// The face as the journal names it: the tier's word, and the rest reason while the face rests
// ("calm (resting: steppedAway)").
std::string faceLabel(FaceTier tier, std::optional<FaceReading::Rest> rest);

// The observe-only panel's status line, with the breather's fires of today. While a prompt loop
// is live it counts the pulls of the last half hour and names a fire of the last 45 minutes;
// otherwise it tells of today's fires, or with none says the week back.
std::string observeStatusLine(const AgentSummary& summary, bool loopLive, int pullsLastHalfHour,
                              const std::optional<BreatherJournal::FiresToday>& firesToday, TimePoint now);

// The age of the last tick: 59s ago, 1m ago, 1h ago (truncated). A tick stamped after now reads
// as 0s ago.
std::string agoLabel(double seconds);

struct Liveness {
    bool heartbeatStale = false;
    std::string lastTickAgoLabel{kNoValue};
    static Liveness of(const HeartbeatLiveness::Freshness& freshness);
    bool operator==(const Liveness&) const = default;
};

// Focused attention held for a run of at least 25 minutes.
bool inFlow(AttentionState attention, std::int64_t longestRunMinutes);

// Why it would hold back right now: a call first, then a focus stretch; empty otherwise.
std::string restraintNote(bool micInUse, bool inFlow);

// What the desktop cannot tell or show, each gap said as one short line where the person looks.
struct SensingGaps {
    // No idle source answers: a stretch then ends only by sleep, the lock or the screens going off.
    bool idleUnknown = false;
    // Switches between native windows are not seen: only those between X11 windows are counted.
    bool nativeSwitchesUnseen = false;
    // On GNOME, the application's own shell extension that would show them, to be turned on.
    std::string extensionToTurnOn{};
    // No tray shows the stone: a closed window leaves nothing of the application on the screen.
    bool noTray = false;
    bool operator==(const SensingGaps&) const = default;
};

// One gap's line, and the command that mends it, if any: shown apart, so that it is selected and
// copied whole rather than broken across lines.
struct SensingNote {
    std::string line;
    std::string command{};
    bool operator==(const SensingNote&) const = default;
};

// One note for each gap, in a fixed order; none when the desktop tells and shows everything.
std::vector<SensingNote> sensingNotes(const SensingGaps& gaps);

// 0, 1, 2 for low, medium, high.
int loadLevel(Load load);

// The week's strain score, with the calendar's heavy-day bump only when the calendar could be
// read: without access its zero counts say nothing about the day.
double rhythmScore(const AgentSummary& summary, bool calendarAuthorized, int backToBack, int busyMinutes);

// The last few would-be decisions, newest first, one line per change of mind.
class DecisionHistory {
public:
    static constexpr std::size_t kLimit = 8;

    // "would nudge", or "silent · " and the reason.
    static std::string entryText(bool firing, const std::string& reason);

    // Adds "HH:mm:ss  text" at the front when the text differs from the last one recorded;
    // says whether it did.
    bool record(bool firing, const std::string& reason, TimePoint now);

    const std::vector<std::string>& lines() const { return lines_; }

private:
    std::string lastText_;
    std::vector<std::string> lines_;
};

// What the last ask of the cloud persona shows. Each step changes only its own fields.
struct CloudFields {
    static constexpr std::string_view kUnavailable = "cloud is off (no Claude on this machine, or disabled)";
    static constexpr std::string_view kAsking = "Ilvane is reading your whole week\u2026 (up to ~60s)";
    static constexpr std::string_view kChoseSilence = "(Ilvane chose silence)";

    std::string status;
    std::string reasoning;
    std::optional<std::string> line;
    std::string source;

    // No persona to ask: only the status says so; the last answer stays readable.
    void markUnavailable();
    void markAsking();
    void answer(const BridgeTrace& trace);

    bool operator==(const CloudFields&) const = default;
};

// A reason line split into its mark (the first character) and its body (the rest, without the
// spaces and tabs at its ends).
struct FactorLine {
    std::string mark;
    std::string body;
    static FactorLine of(std::string_view entry);
    bool operator==(const FactorLine&) const = default;
};

}  // namespace quillfen::InspectFacts
