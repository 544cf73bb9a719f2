#include "Signals/DeadmanSignal.h"

#include <sys/stat.h>

#include <ctime>

#include "Support/LocalCalendar.h"

namespace quillfen {

namespace {

// "MMM d" as the en_US_POSIX locale writes it, already in lower case.
constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};

std::optional<TimePoint> modificationTime(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return TimePoint{} +
           std::chrono::duration_cast<TimePoint::duration>(std::chrono::seconds(info.st_mtim.tv_sec) +
                                                           std::chrono::nanoseconds(info.st_mtim.tv_nsec));
}

}  // namespace

DeadmanSignal DeadmanSignal::read(std::optional<TimePoint> journalModified,
                                  std::optional<TimePoint> signalModified, TimePoint now,
                                  const Options& options) {
    if (!signalModified || secondsBetween(*signalModified, now) > options.sensingStaleAfter) {
        return {State::notSensing()};
    }
    if (journalModified && secondsBetween(*journalModified, now) > options.deciderStaleAfter) {
        return {State::asleep(*journalModified)};
    }
    return {State::awake()};
}

std::optional<std::string> DeadmanSignal::line() const {
    switch (state.kind) {
        case Kind::asleep: {
            std::tm tm = LocalCalendar::localTime(state.since.value_or(TimePoint{}));
            return "i've been asleep since " + std::string(kMonths[tm.tm_mon]) + " " +
                   std::to_string(tm.tm_mday);
        }
        case Kind::notSensing:
            return "not sensing right now";
        case Kind::awake:
            break;
    }
    return std::nullopt;
}

DeadmanFiles DeadmanFiles::canonical(const std::filesystem::path& signalLogURL) {
    return {signalLogURL.parent_path() / "heartbeat.json", signalLogURL};
}

DeadmanSignal DeadmanFiles::current(TimePoint now, const DeadmanSignal::Options& options) const {
    return DeadmanSignal::read(modificationTime(journalURL), modificationTime(signalLogURL), now, options);
}

}  // namespace quillfen
