#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <vector>

#include "Support/Clock.h"

namespace quillfen {

// The user's prompts to the coding agent (their pulls), as the prompt hook journals them:
// one record with a "ts" a line. Only the times are read; the journal is never written here.
class PromptCadence {
public:
    // The journal grows without end, so only its newest part is read. Today and the last
    // half hour are all that is asked of it, and this holds weeks of prompts.
    static constexpr std::size_t readLimitBytes = 1024 * 1024;

    PromptCadence() = default;
    explicit PromptCadence(std::vector<TimePoint> pulls);

    static const PromptCadence& empty();
    // ~/.ostrel/prompt-cadence.jsonl
    static std::filesystem::path canonicalURL();
    // Never fails: a missing, unreadable or non-UTF-8 journal reads as empty.
    static PromptCadence read(const std::filesystem::path& from);
    // Never fails: each line that is not a well-formed record is dropped alone.
    static PromptCadence parse(std::string_view text);

    const std::vector<TimePoint>& pulls() const { return pulls_; }

    // Pulls from `now` minus `inLast` seconds up to `now`, both ends included.
    int count(double inLast, TimePoint now) const;
    // Pulls in the local day that holds `now`, later ones of that day included.
    int countToday(TimePoint now) const;

    bool operator==(const PromptCadence&) const = default;

private:
    std::vector<TimePoint> pulls_;
};

}  // namespace quillfen
