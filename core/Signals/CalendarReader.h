#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Signals/EventStore.h"
#include "Support/Clock.h"

namespace quillfen {

// Today's calendar in counts: how many meetings, how much busy time, how many follow each other
// closely, how soon the next one starts.
struct CalendarSignal {
    bool authorized = false;
    int meetingsToday = 0;
    int busyMinutesToday = 0;
    int backToBack = 0;
    std::optional<int> nextInMin;
    bool operator==(const CalendarSignal&) const = default;
};

namespace CalendarReader {

// The signal of the local calendar day that holds `now`. It does not look at the store's access
// itself and always reports `authorized`: callers read only with full access.
CalendarSignal read(const EventStore& store, TimePoint now);

// Asks for access, then calls `completion` once: with `read` for this `now` when granted, with
// an unauthorised, empty signal otherwise. The completion runs wherever the store answers.
void requestAndRead(std::shared_ptr<EventStore> store, TimePoint now,
                    std::function<void(const CalendarSignal&)> completion);

}  // namespace CalendarReader

}  // namespace quillfen
