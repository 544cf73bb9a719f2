#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "Log/LogStore.h"
#include "Support/Clock.h"

namespace quillfen {

// The nudges fired on the current local day, kept in nudge-budget.json so that a restart or a
// rebuild finds them again. Calls from several threads are serialised.
class NudgeBudget {
public:
    // Loads at once; a stored count of another day is reset and rewritten.
    NudgeBudget(std::shared_ptr<LogStore> store, Clock now);

    NudgeBudget(const NudgeBudget&) = delete;
    NudgeBudget& operator=(const NudgeBudget&) = delete;

    std::int64_t firedToday();
    void recordFire();

    // Year, month and day of the local date joined by "-" without zero padding: "2026-1-5".
    static std::string dayKeyOf(TimePoint t);

private:
    void rollDayIfNeeded();
    void persist();

    std::shared_ptr<LogStore> store_;
    Clock now_;
    std::mutex mutex_;
    std::string dayKey_;
    std::int64_t count_ = 0;
};

}  // namespace quillfen
