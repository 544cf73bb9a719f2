#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Log/LogStore.h"
#include "Signals/SignalSample.h"
#include "Support/Clock.h"

namespace quillfen {

// The rolling record of every sample, kept for a number of days and rewritten whole to
// signal-log.json after every append. Safe to use from several threads.
class SignalLog {
public:
    // Loads, drops samples past the retention and rewrites the file.
    SignalLog(std::shared_ptr<LogStore> store, int retentionDays, Clock now);

    SignalLog(const SignalLog&) = delete;
    SignalLog& operator=(const SignalLog&) = delete;

    // Returns once the file has been rewritten (or the write has failed, which is dropped).
    void append(const SignalSample& sample);

    // All kept samples in the order they were appended.
    std::vector<SignalSample> all() const;
    // Samples stamped at or after now − seconds.
    std::vector<SignalSample> samplesInLast(double seconds) const;
    // Samples whose local hour lies in [fromHour, toHour); the interval does not wrap past midnight.
    std::vector<SignalSample> samplesBetweenHours(double fromHour, double toHour) const;
    // Distinct local calendar days, in the time zone current at the call, among the samples of
    // the last `seconds` that show a stretch of at least `minMinutes`.
    int daysWithLongStretch(int minMinutes, double seconds) const;

private:
    // A sample with its JSON text, encoded once when it arrives so that a rewrite only joins
    // texts; no text when the sample cannot be encoded.
    struct Entry {
        SignalSample sample;
        std::optional<std::string> json;
    };

    void prune();
    void persist();

    std::shared_ptr<LogStore> store_;
    double retention_;
    Clock now_;

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::size_t unencodable_ = 0;
    // The file on disk did not decode; it is moved aside before it is first overwritten.
    bool unreadableOnDisk_ = false;
};

}  // namespace quillfen
