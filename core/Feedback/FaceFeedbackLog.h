#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Log/LogStore.h"
#include "Signals/FaceTier.h"
#include "Support/Clock.h"

namespace quillfen {

enum class FaceFeedbackLabel { yay, nay };

std::string_view toString(FaceFeedbackLabel);
std::optional<FaceFeedbackLabel> faceFeedbackLabelFrom(std::string_view);

// A person's verdict on a shown face, with what the system saw at that moment.
struct FaceFeedbackRecord {
    TimePoint at{};
    FaceTier shownTier = FaceTier::neutral;
    std::string reflection{};
    bool loopWasLive = false;
    FaceFeedbackLabel label = FaceFeedbackLabel::yay;
    std::int64_t switchesPerHour = 0;
    std::int64_t pullsFastWindow = 0;
    std::int64_t pullsSlowWindow = 0;
    std::int64_t continuousActiveMinutes = 0;
    std::int64_t hourOfDay = 0;
    bool onBattery = false;
    bool operator==(const FaceFeedbackRecord&) const = default;
};

// A capped array of verdicts in face-feedback.json, oldest first. Keeps nothing in memory:
// every call reads the file. Used from one thread.
class FaceFeedbackLog {
public:
    FaceFeedbackLog(std::shared_ptr<LogStore> store, std::int64_t maxRecords);

    // True when the new list was encoded and written. A file that could not be decoded is moved
    // aside before the new list replaces it.
    bool append(const FaceFeedbackRecord& record);
    // Empty when there is no file or it cannot be decoded.
    std::vector<FaceFeedbackRecord> all() const;
    std::size_t count() const;

private:
    std::shared_ptr<LogStore> store_;
    std::int64_t maxRecords_;
};

}  // namespace quillfen
