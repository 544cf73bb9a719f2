#include "Signals/BreatherJournal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Support/Iso8601.h"
#include "Support/JsonLines.h"
#include "Support/LocalCalendar.h"
#include "Support/PathWalk.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"

namespace quillfen::BreatherJournal {

namespace {

constexpr double kWeekSeconds = 604800;

// Where the newest `limit` non-empty lines begin.
std::size_t startOfLastLines(std::string_view text, std::size_t limit) {
    std::size_t end = text.size();
    std::size_t seen = 0;
    while (end > 0) {
        const auto feed = text.rfind('\n', end - 1);
        const std::size_t begin = feed == std::string_view::npos ? 0 : feed + 1;
        if (begin < end) {
            if (seen == limit) return std::min(end + 1, text.size());
            ++seen;
        }
        if (feed == std::string_view::npos) return 0;
        end = feed;
    }
    return 0;
}

std::optional<std::int64_t> integerOf(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        const auto n = value.get<std::uint64_t>();
        return static_cast<std::int64_t>(std::min<std::uint64_t>(n, std::numeric_limits<std::int64_t>::max()));
    }
    if (value.is_number_integer()) return value.get<std::int64_t>();
    return std::nullopt;
}

}  // namespace

std::filesystem::path fireLogFile() {
    return Paths::familyDirectory() / "breather-log.jsonl";
}

std::filesystem::path decisionsFile() {
    return Paths::familyDirectory() / "breather-decisions.jsonl";
}

std::optional<std::int64_t> fireCount(const std::filesystem::path& fireLog) {
    // Non-blocking: a pipe left at the journal's place must not hang the caller.
    const PathWalk::Fd fd(SafeFile::openForReading(fireLog, SafeFile::Links::ours));
    struct stat info {};
    if (!fd.ok() || ::fstat(fd.get(), &info) != 0) return std::nullopt;
    // Only the bytes the file held when it was opened are counted: one under /proc says it holds
    // none and never ends.
    auto left = static_cast<std::uintmax_t>(std::max<off_t>(info.st_size, 0));
    if (left > kFireLogCountedBytes) {
        SafeFile::refuse(fireLog, "larger than " + std::to_string(kFireLogCountedBytes) + " bytes");
        return std::nullopt;
    }
    std::array<char, 64 * 1024> buffer{};
    std::int64_t lines = 0;
    bool inLine = false;
    while (left > 0) {
        const ssize_t got = ::read(fd.get(), buffer.data(), std::min<std::uintmax_t>(buffer.size(), left));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        left -= static_cast<std::uintmax_t>(got);
        const char* at = buffer.data();
        const char* end = at + got;
        while (at < end) {
            const auto* feed = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
            if (feed == nullptr) {
                inLine = true;
                break;
            }
            if (feed > at || inLine) ++lines;
            inLine = false;
            at = feed + 1;
        }
    }
    if (inLine) ++lines;
    return lines;
}

std::optional<std::vector<TimePoint>> fireTimes(const std::filesystem::path& fireLog) {
    const auto text = JsonLines::readTail(fireLog, kFireLogTailBytes);
    if (!text) return std::nullopt;
    std::vector<TimePoint> times;
    constexpr std::string_view keys[] = {"ts"};
    JsonLines::forEachObject(*text, keys, [&](JsonLines::StringMembers members) {
        if (!members[0]) return;
        if (auto ts = Iso8601::parse(*members[0])) times.push_back(*ts);
    });
    return times;
}

std::optional<FiresToday> firesToday(const std::filesystem::path& fireLog, TimePoint now) {
    const auto times = fireTimes(fireLog);
    if (!times) return std::nullopt;
    const TimePoint start = LocalCalendar::startOfDay(now);
    FiresToday fires;
    for (TimePoint t : *times) {
        if (t < start || t > now) continue;
        if (fires.count == 0 || t > fires.last) fires.last = t;
        ++fires.count;
    }
    if (fires.count == 0) return std::nullopt;
    return fires;
}

int firesThisWeek(const std::filesystem::path& fireLog, TimePoint now) {
    const auto times = fireTimes(fireLog);
    if (!times) return 0;
    const TimePoint from = addSeconds(now, -kWeekSeconds);
    return static_cast<int>(std::count_if(times->begin(), times->end(), [&](TimePoint t) { return t >= from; }));
}

std::optional<std::int64_t> nearestMiss(const std::filesystem::path& decisions, TimePoint now) {
    const auto text = JsonLines::readTail(decisions, kDecisionsTailBytes);
    if (!text) return std::nullopt;
    const std::string today = LocalCalendar::dayKey(now);
    std::int64_t most = 0;
    const std::string_view newest = std::string_view(*text).substr(startOfLastLines(*text, kDecisionLinesRead));
    JsonLines::forEachValue(newest, [&](const nlohmann::json& json) {
        if (!json.is_object()) return;
        const auto ts = json.find("ts");
        const auto verdict = json.find("verdict");
        const auto slow = json.find("slow");
        if (ts == json.end() || verdict == json.end() || slow == json.end()) return;
        if (!ts->is_string() || !verdict->is_string() || verdict->get_ref<const std::string&>() != "below") return;
        const auto time = Iso8601::parse(ts->get_ref<const std::string&>());
        const auto pulls = integerOf(*slow);
        if (!time || !pulls || LocalCalendar::dayKey(*time) != today) return;
        most = std::max(most, *pulls);
    });
    return most;
}

}  // namespace quillfen::BreatherJournal
