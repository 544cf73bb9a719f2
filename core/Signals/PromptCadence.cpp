#include "Signals/PromptCadence.h"

#include <algorithm>

#include "Support/Iso8601.h"
#include "Support/JsonLines.h"
#include "Support/LocalCalendar.h"
#include "Support/Paths.h"

namespace quillfen {

namespace {

int countBetween(const std::vector<TimePoint>& sorted, TimePoint from, TimePoint to, bool includeTo) {
    auto first = std::lower_bound(sorted.begin(), sorted.end(), from);
    auto last =
        includeTo ? std::upper_bound(first, sorted.end(), to) : std::lower_bound(first, sorted.end(), to);
    return static_cast<int>(std::max<std::ptrdiff_t>(0, last - first));
}

}  // namespace

PromptCadence::PromptCadence(std::vector<TimePoint> pulls) : pulls_(std::move(pulls)) {
    std::sort(pulls_.begin(), pulls_.end());
}

const PromptCadence& PromptCadence::empty() {
    static const PromptCadence none;
    return none;
}

std::filesystem::path PromptCadence::canonicalURL() {
    return Paths::familyDirectory() / "prompt-cadence.jsonl";
}

PromptCadence PromptCadence::read(const std::filesystem::path& from) {
    auto text = JsonLines::readTail(from, readLimitBytes);
    if (!text) return empty();
    return parse(*text);
}

PromptCadence PromptCadence::parse(std::string_view text) {
    static constexpr std::string_view kKeys[] = {"ts"};
    std::vector<TimePoint> pulls;
    JsonLines::forEachObject(text, kKeys, [&](JsonLines::StringMembers record) {
        if (!record[0]) return;
        if (auto pull = Iso8601::parseWithFraction(*record[0])) pulls.push_back(*pull);
    });
    return PromptCadence(std::move(pulls));
}

int PromptCadence::count(double inLast, TimePoint now) const {
    const TimePoint from = addSeconds(now, -inLast);
    if (from > now) return 0;
    return countBetween(pulls_, from, now, true);
}

int PromptCadence::countToday(TimePoint now) const {
    return countBetween(pulls_, LocalCalendar::startOfDay(now), LocalCalendar::startOfDayOffset(now, 1),
                        false);
}

}  // namespace quillfen
