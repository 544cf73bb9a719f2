#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "Support/Clock.h"

namespace quillfen {

// Whether the app is still sensing and deciding, judged only from when its signal log and
// heartbeat were last written.
struct DeadmanSignal {
    enum class Kind { asleep, awake, notSensing };

    struct State {
        Kind kind = Kind::awake;
        std::optional<TimePoint> since;  // the heartbeat's last write, for asleep only

        static State asleep(TimePoint since) { return {Kind::asleep, since}; }
        static State awake() { return {Kind::awake, std::nullopt}; }
        static State notSensing() { return {Kind::notSensing, std::nullopt}; }
        bool operator==(const State&) const = default;
    };

    struct Options {
        double deciderStaleAfter = 86400;  // seconds, against the heartbeat's age
        double sensingStaleAfter = 600;    // seconds, against the signal log's age
        static Options defaults() { return {}; }
        bool operator==(const Options&) const = default;
    };

    State state;

    // An age equal to a limit is not stale; a time in the future counts as fresh. The signal
    // log's verdict wins over the heartbeat's.
    static DeadmanSignal read(std::optional<TimePoint> journalModified,
                              std::optional<TimePoint> signalModified, TimePoint now,
                              const Options& options = Options::defaults());

    // The mirror's line, in the local time zone; none while awake.
    std::optional<std::string> line() const;

    bool operator==(const DeadmanSignal&) const = default;
};

// The two files whose modification times tell the verdict. Neither is opened.
struct DeadmanFiles {
    std::filesystem::path journalURL;    // the heartbeat
    std::filesystem::path signalLogURL;  // the signal log

    // The heartbeat lives beside the signal log, as "heartbeat.json".
    static DeadmanFiles canonical(const std::filesystem::path& signalLogURL);

    DeadmanSignal current(TimePoint now,
                          const DeadmanSignal::Options& options = DeadmanSignal::Options::defaults()) const;

    bool operator==(const DeadmanFiles&) const = default;
};

}  // namespace quillfen
