#include "Signals/RhythmStrip.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <iterator>

#include "Support/LocalCalendar.h"

namespace quillfen {

namespace {

constexpr int kStrainedOverSwitchesPerHour = 60;

struct OpenRun {
    const SignalSample* first;
    const SignalSample* last;
    __int128 switchesSum;  // a corrupt log may hold switch counts near the 64-bit limit
    std::int64_t count;
};

// Whole seconds since local midnight; the sample's fraction of a second is not counted.
std::int64_t clockSeconds(TimePoint t) {
    std::tm tm = LocalCalendar::localTime(t);
    return tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
}

double stripPosition(double hour, double dayStartHour, double span) {
    double position = (hour - dayStartHour) / span;
    if (std::isnan(position) || position < 0) return 0;
    return std::min(position, 1.0);
}

RhythmStrip::Run makeRun(const OpenRun& open, const RhythmStrip::Options& options, double span) {
    // Lengths are kept in seconds and turned into hours only for display: differences of
    // fractional hours lose a hair, and truncating 2.9999… minutes shortens an exact run.
    const std::int64_t startSeconds = clockSeconds(open.first->timestamp);
    double endSeconds = open.first->timestamp == open.last->timestamp
                            ? static_cast<double>(startSeconds) + options.expectedSampleGapSeconds
                            : static_cast<double>(clockSeconds(open.last->timestamp));
    // A run that crosses midnight, or a clock set back, would end before it starts.
    if (!(endSeconds >= static_cast<double>(startSeconds))) endSeconds = static_cast<double>(startSeconds);

    RhythmStrip::Run run;
    run.startHour = static_cast<double>(startSeconds) / 3600.0;
    run.endHour = endSeconds / 3600.0;
    const double lengthMinutes = (endSeconds - static_cast<double>(startSeconds)) / 60.0;
    run.minutes = std::isfinite(lengthMinutes) ? static_cast<std::int64_t>(std::min(lengthMinutes, 1e15)) : 0;
    run.switchesPerHour = static_cast<std::int64_t>(open.switchesSum / open.count);
    run.start = stripPosition(run.startHour, options.dayStartHour, span);
    run.end = stripPosition(run.endHour, options.dayStartHour, span);
    run.late = run.endHour >= options.lateHour;
    return run;
}

}  // namespace

RhythmStrip RhythmStrip::today(const std::vector<SignalSample>& samples, TimePoint now,
                               const Options& options) {
    const TimePoint start = LocalCalendar::startOfDay(now);
    const TimePoint end = LocalCalendar::startOfDayOffset(now, 1);
    std::vector<SignalSample> ofToday;
    std::copy_if(samples.begin(), samples.end(), std::back_inserter(ofToday),
                 [&](const SignalSample& s) { return s.timestamp >= start && s.timestamp < end; });
    return build(ofToday, options);
}

RhythmStrip RhythmStrip::build(const std::vector<SignalSample>& samples, const Options& options) {
    std::vector<const SignalSample*> ordered;
    ordered.reserve(samples.size());
    for (const auto& s : samples)
        ordered.push_back(&s);
    std::stable_sort(ordered.begin(), ordered.end(), [](const SignalSample* a, const SignalSample* b) {
        return a->timestamp < b->timestamp;
    });

    std::vector<OpenRun> open;
    for (const SignalSample* s : ordered) {
        if (!open.empty() && s->secondsSinceLastInput < options.breakGapSeconds &&
            secondsBetween(open.back().last->timestamp, s->timestamp) < options.breakGapSeconds) {
            OpenRun& run = open.back();
            run.last = s;
            run.switchesSum += s->appSwitchesLastHour;
            run.count += 1;
        } else {
            open.push_back({s, s, s->appSwitchesLastHour, 1});
        }
    }

    RhythmStrip strip;
    strip.dayStartHour = options.dayStartHour;
    strip.dayEndHour = options.dayEndHour;
    const double span = std::max(options.dayEndHour - options.dayStartHour, 0.0001);
    for (const OpenRun& run : open)
        strip.runs.push_back(makeRun(run, options, span));
    return strip;
}

std::int64_t RhythmStrip::longestRunMinutes() const {
    std::int64_t longest = 0;
    for (const Run& r : runs)
        longest = std::max(longest, r.minutes);
    return longest;
}

int RhythmStrip::strainedRunCount() const {
    return static_cast<int>(std::count_if(runs.begin(), runs.end(), [](const Run& r) {
        return r.switchesPerHour > kStrainedOverSwitchesPerHour;
    }));
}

std::int64_t RhythmStrip::activeMinutes() const {
    std::int64_t total = 0;
    for (const Run& r : runs)
        total += r.minutes;
    return total;
}

std::int64_t RhythmStrip::peakSwitchesPerHour() const {
    std::int64_t peak = 0;
    for (const Run& r : runs)
        peak = std::max(peak, r.switchesPerHour);
    return peak;
}

bool RhythmStrip::hasLateWork() const {
    return std::any_of(runs.begin(), runs.end(), [](const Run& r) { return r.late; });
}

}  // namespace quillfen
