#include "Log/SignalLog.h"

#include <algorithm>
#include <set>
#include <utility>

#include "Log/SignalLogText.h"
#include "Support/LocalCalendar.h"

namespace quillfen {

namespace {

// now − seconds, kept inside the clock's range.
TimePoint secondsBefore(TimePoint now, double seconds) {
    return addSeconds(now, -std::clamp(seconds, -1e11, 1e11));
}

}  // namespace

SignalLog::SignalLog(std::shared_ptr<LogStore> store, int retentionDays, Clock now)
    : store_(std::move(store)), retention_(retentionDays * 24.0 * 60.0 * 60.0), now_(std::move(now)) {
    std::lock_guard lock(mutex_);
    std::optional<std::vector<SignalSample>> samples;
    // The file's text is let go as soon as it is read: only the samples stay.
    if (auto bytes = store_->read()) {
        samples = SignalLogText::decode(*bytes);
        unreadableOnDisk_ = !samples;
    }
    held_ = std::make_shared<Held>();
    if (samples) held_->samples = std::move(*samples);
    const auto& kept = held_->samples;
    unencodable_ = static_cast<std::size_t>(
        std::count_if(kept.begin(), kept.end(), [](const auto& s) { return !SignalLogText::encodable(s); }));
    for (const SignalSample& sample : kept)
        texts_.push(sample);
    prune(secondsBefore(now_(), retention_));
    persist();
}

void SignalLog::append(const SignalSample& sample) {
    std::lock_guard lock(mutex_);
    // A reader still holds the samples as they are: it keeps them, the log goes on with a copy.
    if (held_->readers.load(std::memory_order_acquire) > 0) {
        auto copy = std::make_shared<Held>();
        copy->samples.reserve(held_->samples.size() + 1);
        copy->samples.assign(held_->samples.begin(), held_->samples.end());
        held_ = std::move(copy);
    }
    // Pruning before the sample goes in keeps a full log within the room it has.
    const TimePoint cutoff = secondsBefore(now_(), retention_);
    prune(cutoff);
    if (sample.timestamp >= cutoff) {
        held_->samples.push_back(sample);
        texts_.push(sample);
        if (!SignalLogText::encodable(sample)) ++unencodable_;
    }
    persist();
}

std::vector<SignalSample> SignalLog::all() const {
    return *snapshot();
}

SignalLog::Samples SignalLog::snapshot() const {
    std::lock_guard lock(mutex_);
    held_->readers.fetch_add(1, std::memory_order_relaxed);
    return Samples(&held_->samples, [held = held_](const std::vector<SignalSample>*) {
        held->readers.fetch_sub(1, std::memory_order_release);
    });
}

std::vector<SignalSample> SignalLog::samplesInLast(double seconds) const {
    TimePoint cutoff = secondsBefore(now_(), seconds);
    const Samples samples = snapshot();
    std::vector<SignalSample> out;
    for (const auto& sample : *samples) {
        if (sample.timestamp >= cutoff) out.push_back(sample);
    }
    return out;
}

std::vector<SignalSample> SignalLog::samplesBetweenHours(double fromHour, double toHour) const {
    const Samples samples = snapshot();
    std::vector<SignalSample> out;
    for (const auto& sample : *samples) {
        if (fromHour <= sample.localHour && sample.localHour < toHour) out.push_back(sample);
    }
    return out;
}

int SignalLog::daysWithLongStretch(int minMinutes, double seconds) const {
    auto recent = samplesInLast(seconds);
    std::set<std::pair<int, int>> days;
    for (const auto& sample : recent) {
        if (sample.continuousActiveSeconds < minMinutes * 60.0) continue;
        std::tm local = LocalCalendar::localTime(sample.timestamp);
        days.emplace(local.tm_year, local.tm_yday);
    }
    return static_cast<int>(days.size());
}

void SignalLog::prune(TimePoint cutoff) {
    std::vector<SignalSample>& samples = held_->samples;
    const auto stale = [cutoff](const SignalSample& sample) { return sample.timestamp < cutoff; };
    const auto kept = std::find_if_not(samples.begin(), samples.end(), stale);
    const bool onlyOldest = std::none_of(kept, samples.end(), stale);
    const auto end = onlyOldest ? kept : std::stable_partition(samples.begin(), samples.end(), stale);
    unencodable_ -= static_cast<std::size_t>(
        std::count_if(samples.begin(), end, [](const auto& sample) { return !SignalLogText::encodable(sample); }));
    // Samples arrive in time order, so the stale ones are the oldest few; a clock set back can
    // leave others among them.
    const auto dropped = static_cast<std::size_t>(end - samples.begin());
    samples.erase(samples.begin(), end);
    if (onlyOldest) {
        texts_.dropFront(dropped);
    } else {
        texts_.clear();
        for (const SignalSample& sample : samples)
            texts_.push(sample);
    }
}

void SignalLog::persist() {
    // A sample that cannot be encoded holds back every rewrite until it ages out: writing the
    // rest would drop it from the file while it is still in memory.
    if (unencodable_ > 0) return;
    if (unreadableOnDisk_) {
        if (store_->moveAside()) return;
        unreadableOnDisk_ = false;
    }
    (void)store_->writePieces([this](const auto& sink) { return texts_.encode(held_->samples, sink); });
}

}  // namespace quillfen
