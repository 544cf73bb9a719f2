#include "Decision/NudgeBudget.h"

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"
#include "Support/JsonText.h"
#include "Support/LocalCalendar.h"

namespace quillfen {

NudgeBudget::NudgeBudget(std::shared_ptr<LogStore> store, Clock now)
    : store_(std::move(store)), now_(std::move(now)) {
    std::lock_guard lock(mutex_);
    bool loaded = false;
    if (auto bytes = store_->read()) {
        if (auto json = JsonText::decode(*bytes)) {
            try {
                dayKey_ = JsonFields::asString(JsonFields::field(*json, "dayKey"));
                count_ = JsonFields::asInt64(JsonFields::field(*json, "count"));
                loaded = true;
            } catch (const JsonFields::Invalid&) {
            }
        }
        if (!loaded) store_->markUndecodable();
    }
    if (!loaded) {
        dayKey_ = dayKeyOf(now_());
        count_ = 0;
    }
    rollDayIfNeeded();
}

std::int64_t NudgeBudget::firedToday() {
    std::lock_guard lock(mutex_);
    rollDayIfNeeded();
    return count_;
}

void NudgeBudget::recordFire() {
    std::lock_guard lock(mutex_);
    rollDayIfNeeded();
    ++count_;
    persist();
}

std::string NudgeBudget::dayKeyOf(TimePoint t) {
    std::tm local = LocalCalendar::localTime(t);
    return std::to_string(local.tm_year + 1900) + "-" + std::to_string(local.tm_mon + 1) + "-" +
           std::to_string(local.tm_mday);
}

void NudgeBudget::rollDayIfNeeded() {
    // Any other day rolls, also an earlier one after the clock or the zone moved back.
    std::string today = dayKeyOf(now_());
    if (today == dayKey_) return;
    dayKey_ = std::move(today);
    count_ = 0;
    persist();
}

void NudgeBudget::persist() {
    nlohmann::json json = {{"dayKey", dayKey_}, {"count", count_}};
    if (auto text = JsonText::encode(json)) (void)store_->write(*text);
}

}  // namespace quillfen
