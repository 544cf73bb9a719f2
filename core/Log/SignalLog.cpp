#include "Log/SignalLog.h"

#include <algorithm>
#include <set>
#include <utility>

#include <nlohmann/json.hpp>

#include "Support/JsonText.h"
#include "Support/LocalCalendar.h"

namespace quillfen {

namespace {

std::optional<std::vector<SignalSample>> decodeSamples(std::string_view bytes) {
    auto json = JsonText::decode(bytes);
    if (!json || !json->is_array()) return std::nullopt;
    std::vector<SignalSample> samples;
    samples.reserve(json->size());
    for (const auto& item : *json) {
        auto sample = sampleFromJson(item);
        if (!sample) return std::nullopt;
        samples.push_back(*sample);
    }
    return samples;
}

// now − seconds, kept inside the clock's range.
TimePoint secondsBefore(TimePoint now, double seconds) {
    return addSeconds(now, -std::clamp(seconds, -1e11, 1e11));
}

}  // namespace

SignalLog::SignalLog(std::shared_ptr<LogStore> store, int retentionDays, Clock now)
    : store_(std::move(store)), retention_(retentionDays * 24.0 * 60.0 * 60.0), now_(std::move(now)) {
    std::lock_guard lock(mutex_);
    if (auto bytes = store_->read()) {
        if (auto samples = decodeSamples(*bytes)) {
            entries_.reserve(samples->size() + 1);
            for (auto& sample : *samples) {
                auto json = JsonText::encode(sampleToJson(sample));
                if (!json) ++unencodable_;
                entries_.push_back({std::move(sample), std::move(json)});
            }
        } else {
            unreadableOnDisk_ = true;
        }
    }
    prune();
    persist();
}

void SignalLog::append(const SignalSample& sample) {
    std::lock_guard lock(mutex_);
    auto json = JsonText::encode(sampleToJson(sample));
    if (!json) ++unencodable_;
    entries_.push_back({sample, std::move(json)});
    prune();
    persist();
}

std::vector<SignalSample> SignalLog::all() const {
    std::lock_guard lock(mutex_);
    std::vector<SignalSample> out;
    out.reserve(entries_.size());
    for (const auto& entry : entries_)
        out.push_back(entry.sample);
    return out;
}

std::vector<SignalSample> SignalLog::samplesInLast(double seconds) const {
    TimePoint cutoff = secondsBefore(now_(), seconds);
    std::lock_guard lock(mutex_);
    std::vector<SignalSample> out;
    for (const auto& entry : entries_) {
        if (entry.sample.timestamp >= cutoff) out.push_back(entry.sample);
    }
    return out;
}

std::vector<SignalSample> SignalLog::samplesBetweenHours(double fromHour, double toHour) const {
    std::lock_guard lock(mutex_);
    std::vector<SignalSample> out;
    for (const auto& entry : entries_) {
        if (fromHour <= entry.sample.localHour && entry.sample.localHour < toHour)
            out.push_back(entry.sample);
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

void SignalLog::prune() {
    TimePoint cutoff = secondsBefore(now_(), retention_);
    auto stale = std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
        if (entry.sample.timestamp >= cutoff) return false;
        if (!entry.json) --unencodable_;
        return true;
    });
    entries_.erase(stale, entries_.end());
}

void SignalLog::persist() {
    // A sample that cannot be encoded holds back every rewrite until it ages out: writing the
    // rest would drop it from the file while it is still in memory.
    if (unencodable_ > 0) return;
    if (unreadableOnDisk_) {
        if (store_->moveAside()) return;
        unreadableOnDisk_ = false;
    }
    std::size_t size = 2;
    for (const auto& entry : entries_)
        size += entry.json->size() + 1;
    std::string text;
    text.reserve(size);
    text.push_back('[');
    for (const auto& entry : entries_) {
        if (text.size() > 1) text.push_back(',');
        text += *entry.json;
    }
    text.push_back(']');
    (void)store_->write(text);
}

}  // namespace quillfen
