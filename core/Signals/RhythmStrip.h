#pragma once

#include <cstdint>
#include <vector>

#include "Signals/SignalSample.h"
#include "Support/Clock.h"

namespace quillfen {

// One day's runs of continuous work, laid out on a strip across the day for the mirror.
// Clock times are read in the local calendar of the current time zone.
struct RhythmStrip {
    struct Run {
        double start = 0;  // position on the strip, 0 to 1
        double end = 0;
        double startHour = 0;  // clock time in hours with fractions: 14.5 is 14:30
        double endHour = 0;    // never below startHour
        std::int64_t minutes = 0;
        std::int64_t switchesPerHour = 0;  // mean of the samples' switches of the last hour
        bool late = false;                 // ends at or after the late hour
        bool operator==(const Run&) const = default;
    };

    struct Options {
        double dayStartHour = 6;
        double dayEndHour = 24;
        double breakGapSeconds = 300;  // a gap between samples, or an idle time, this long ends a run
        double lateHour = 21;
        double expectedSampleGapSeconds = 90;  // the length given to a run of one sample
        static Options defaults() { return {}; }
        bool operator==(const Options&) const = default;
    };

    std::vector<Run> runs;
    double dayStartHour = 6;
    double dayEndHour = 24;

    // The strip of the local day that holds `now`.
    static RhythmStrip today(const std::vector<SignalSample>& samples, TimePoint now,
                             const Options& options = Options::defaults());
    // The strip of whatever samples are given, in any order; samples outside the strip's
    // hours keep their minutes and sit at its ends.
    static RhythmStrip build(const std::vector<SignalSample>& samples,
                             const Options& options = Options::defaults());

    std::int64_t longestRunMinutes() const;
    // Runs above a fixed 60 switches an hour, whatever the face thresholds say.
    int strainedRunCount() const;
    std::int64_t activeMinutes() const;
    std::int64_t peakSwitchesPerHour() const;
    bool hasLateWork() const;

    bool operator==(const RhythmStrip&) const = default;
};

}  // namespace quillfen
