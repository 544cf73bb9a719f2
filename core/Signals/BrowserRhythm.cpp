#include "Signals/BrowserRhythm.h"

#include <algorithm>
#include <cmath>

#include "Support/EnumTable.h"
#include "Support/Iso8601.h"
#include "Support/JsonLines.h"
#include "Support/LocalCalendar.h"
#include "Support/Paths.h"

namespace quillfen {

namespace {

constexpr EnumName<BrowserEvent> kEvents[] = {
    {BrowserEvent::tabSwitch, "tab_switch"},   {BrowserEvent::windowFocus, "window_focus"},
    {BrowserEvent::windowBlur, "window_blur"}, {BrowserEvent::idle, "idle"},
    {BrowserEvent::active, "active"},
};

// A span never counts negative and never more than the cap (an absent cap, NaN, caps nothing).
double clampedLength(double seconds, double cap) {
    return std::max(0.0, std::fmin(cap, std::max(seconds, 0.0)));
}

}  // namespace

std::string_view toString(BrowserEvent e) {
    return enumName(e, kEvents);
}
std::optional<BrowserEvent> browserEventFrom(std::string_view raw) {
    return enumFromName(raw, kEvents);
}

BrowserRhythm::BrowserRhythm(std::vector<Sample> samples) : samples_(std::move(samples)) {
    std::stable_sort(samples_.begin(), samples_.end(),
                     [](const Sample& a, const Sample& b) { return a.ts < b.ts; });
}

const BrowserRhythm& BrowserRhythm::empty() {
    static const BrowserRhythm none;
    return none;
}

std::filesystem::path BrowserRhythm::canonicalURL() {
    return Paths::familyDirectory() / "browser-rhythm.jsonl";
}

BrowserRhythm BrowserRhythm::read(const std::filesystem::path& from) {
    auto text = JsonLines::readTail(from, readLimitBytes);
    if (!text) return empty();
    return parse(*text);
}

BrowserRhythm BrowserRhythm::parse(std::string_view text) {
    // A record needs a "ts" string in internet date-time form and one of the known events;
    // anything else about the line is ignored. Browsers write milliseconds, so fractions count.
    static constexpr std::string_view kKeys[] = {"ts", "event"};
    std::vector<Sample> samples;
    JsonLines::forEachObject(text, kKeys, [&](JsonLines::StringMembers record) {
        if (!record[0] || !record[1]) return;
        auto when = Iso8601::parseWithFraction(*record[0]);
        auto kind = browserEventFrom(*record[1]);
        if (when && kind) samples.push_back({*when, *kind});
    });
    return BrowserRhythm(std::move(samples));
}

int BrowserRhythm::tabSwitches(double inLast, TimePoint now) const {
    const TimePoint cutoff = addSeconds(now, -inLast);
    return static_cast<int>(std::count_if(samples_.begin(), samples_.end(), [&](const Sample& s) {
        return s.event == BrowserEvent::tabSwitch && s.ts >= cutoff && s.ts <= now;
    }));
}

int BrowserRhythm::activeMinutesToday(TimePoint now, double maxSessionSeconds) const {
    const TimePoint dayStart = LocalCalendar::startOfDay(now);
    const TimePoint end = std::min(LocalCalendar::startOfDayOffset(now, 1), now);
    if (end <= dayStart) return 0;

    std::optional<TimePoint> openedAt;
    double total = 0;
    for (const Sample& s : samples_) {
        if (s.ts < dayStart || s.ts > end) continue;
        switch (s.event) {
            case BrowserEvent::windowFocus:
            case BrowserEvent::active:
                if (!openedAt) openedAt = s.ts;
                break;
            case BrowserEvent::windowBlur:
            case BrowserEvent::idle:
                if (openedAt) {
                    total += clampedLength(secondsBetween(*openedAt, s.ts), maxSessionSeconds);
                    openedAt.reset();
                }
                break;
            case BrowserEvent::tabSwitch:
                break;
        }
    }
    if (openedAt) total += clampedLength(secondsBetween(*openedAt, end), maxSessionSeconds);
    return static_cast<int>(std::round(total / 60.0));
}

}  // namespace quillfen
