#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Log/LogStore.h"
#include "Log/SignalLogText.h"
#include "Signals/SignalSample.h"
#include "Support/Clock.h"

namespace quillfen {

// The rolling record of every sample, kept for a number of days and rewritten whole to
// signal-log.json after every append. Safe to use from several threads.
class SignalLog {
public:
    // The kept samples at one moment. Readers share it rather than copy it; the log copies it only
    // when it must change while a reader still holds it.
    using Samples = std::shared_ptr<const std::vector<SignalSample>>;

    // Loads, drops samples past the retention and rewrites the file.
    SignalLog(std::shared_ptr<LogStore> store, int retentionDays, Clock now);

    SignalLog(const SignalLog&) = delete;
    SignalLog& operator=(const SignalLog&) = delete;

    // Returns once the file has been rewritten (or the write has failed, which is dropped).
    void append(const SignalSample& sample);

    // All kept samples in the order they were appended.
    std::vector<SignalSample> all() const;
    // The same without a copy: what the log holds now, unchanged by later appends.
    Samples snapshot() const;
    // Samples stamped at or after now − seconds.
    std::vector<SignalSample> samplesInLast(double seconds) const;
    // Samples whose local hour lies in [fromHour, toHour); the interval does not wrap past midnight.
    std::vector<SignalSample> samplesBetweenHours(double fromHour, double toHour) const;
    // Distinct local calendar days, in the time zone current at the call, among the samples of
    // the last `seconds` that show a stretch of at least `minMinutes`.
    int daysWithLongStretch(int minMinutes, double seconds) const;

private:
    void prune(TimePoint cutoff);
    void persist();

    std::shared_ptr<LogStore> store_;
    double retention_;
    Clock now_;

    // The samples with a count of the snapshots handed out of them. The count, not the
    // shared pointer's own use count, tells an append whether it may change them in place: a
    // reader lets go of its snapshot with a release that the append's acquire pairs with, so its
    // last reads are done before the samples change.
    struct Held {
        std::vector<SignalSample> samples;
        std::atomic<long> readers{0};
    };

    mutable std::mutex mutex_;
    std::shared_ptr<Held> held_;
    // The texts of their numbers, one for one, so that a rewrite need not work them out again.
    SignalLogText::NumberTexts texts_;
    // Samples that cannot be written (a number that is not finite).
    std::size_t unencodable_ = 0;
    // The file on disk did not decode; it is moved aside before it is first overwritten.
    bool unreadableOnDisk_ = false;
};

}  // namespace quillfen
