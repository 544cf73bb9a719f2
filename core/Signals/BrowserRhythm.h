#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "Support/Clock.h"

namespace quillfen {

enum class BrowserEvent { tabSwitch, windowFocus, windowBlur, idle, active };

std::string_view toString(BrowserEvent);
std::optional<BrowserEvent> browserEventFrom(std::string_view);

// The browser companion's journal of tab switches and focus changes. Only the time and
// kind of each event are kept; the journal is the companion's and is never written here.
class BrowserRhythm {
public:
    struct Sample {
        TimePoint ts;
        BrowserEvent event = BrowserEvent::tabSwitch;
        bool operator==(const Sample&) const = default;
    };

    // The journal grows without end, so only its newest part is read. Today and the last
    // hour are all that is asked of it, and this holds days of even a restless browser.
    static constexpr std::size_t readLimitBytes = 4 * 1024 * 1024;

    BrowserRhythm() = default;
    // Sorted by time; events of the same instant keep their given order.
    explicit BrowserRhythm(std::vector<Sample> samples);

    static const BrowserRhythm& empty();
    // ~/.ostrel/browser-rhythm.jsonl
    static std::filesystem::path canonicalURL();
    // Never fails: a missing, unreadable or non-UTF-8 journal reads as empty.
    static BrowserRhythm read(const std::filesystem::path& from);
    // Never fails: each line that is not a well-formed record is dropped alone.
    static BrowserRhythm parse(std::string_view text);

    const std::vector<Sample>& samples() const { return samples_; }
    bool isEmpty() const { return samples_.empty(); }

    // Tab switches from `now` minus `inLast` seconds up to `now`, both ends included.
    int tabSwitches(double inLast, TimePoint now) const;
    // Minutes of focused or active browser use in the local day up to `now`, each span
    // capped at `maxSessionSeconds`; spans are not carried over from the day before.
    int activeMinutesToday(TimePoint now, double maxSessionSeconds) const;

    bool operator==(const BrowserRhythm&) const = default;

private:
    std::vector<Sample> samples_;
};

}  // namespace quillfen
