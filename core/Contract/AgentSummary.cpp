#include "Contract/AgentSummary.h"

#include <algorithm>
#include <utility>
#include <vector>
#include <memory>

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <nlohmann/json.hpp>

#include "Contract/SeamEncoder.h"
#include "Decision/StateMapper.h"
#include "Support/EnumTable.h"
#include "Support/JsonFields.h"
#include "Support/JsonText.h"
#include "Support/LocalCalendar.h"

namespace quillfen {

namespace {

constexpr EnumName<AgentProfile> kProfiles[] = {{AgentProfile::work, "work"}, {AgentProfile::adhd, "adhd"}};
constexpr EnumName<PartOfDay> kPartsOfDay[] = {{PartOfDay::night, "night"},
                                               {PartOfDay::morning, "morning"},
                                               {PartOfDay::afternoon, "afternoon"},
                                               {PartOfDay::evening, "evening"}};
constexpr EnumName<ScreenBand> kScreenBands[] = {{ScreenBand::under1h, "under-1h"},
                                                 {ScreenBand::oneToTwo, "1-2h"},
                                                 {ScreenBand::twoToThree, "2-3h"},
                                                 {ScreenBand::overThree, "over-3h"}};
constexpr EnumName<AgentSummary::LeakError> kLeakErrors[] = {
    {AgentSummary::LeakError::rawActivityToken, "rawActivityToken"},
    {AgentSummary::LeakError::rawMinuteOrSignalKey, "rawMinuteOrSignalKey"}};

using Day = std::vector<const SignalSample*>;

bool insideWindow(TimePoint timestamp, TimePoint now, int windowDays) {
    // Far beyond any sensible window the clock's nanosecond range would overflow; such a
    // window simply holds everything (or, backwards, nothing).
    constexpr std::int64_t kLongestSeconds = std::int64_t{200} * 365 * 86400;
    const std::int64_t windowSeconds = std::int64_t{windowDays} * 86400;
    if (windowSeconds > kLongestSeconds) return true;
    if (windowSeconds < -kLongestSeconds) return false;
    return timestamp >= now - std::chrono::seconds(windowSeconds);
}

// The window's samples by local day, stored order kept inside each day. Days come in no
// particular order; a window holds a handful of them.
class WindowDays {
public:
    WindowDays(const std::vector<SignalSample>& samples, TimePoint now, const AgentSummary::BuildOptions& options) {
        std::size_t last = 0;
        for (const SignalSample& sample : samples) {
            if (!insideWindow(sample.timestamp, now, options.windowDays)) continue;
            const LocalCalendar::LocalDates::Date date = dates_.of(sample.timestamp);
            // Samples arrive a minute apart, so the day of the one before is nearly always this one.
            if (last >= days_.size() || days_[last].first != date) last = indexOf(date);
            if (last == days_.size()) days_.emplace_back(date, Day{});
            days_[last].second.push_back(&sample);
        }
    }

    std::size_t size() const { return days_.size(); }
    const std::vector<std::pair<LocalCalendar::LocalDates::Date, Day>>& all() const { return days_; }

    // The samples of the local day that holds `t`; none when the window has none of that day.
    const Day* find(TimePoint t) {
        const std::size_t index = indexOf(dates_.of(t));
        return index == days_.size() ? nullptr : &days_[index].second;
    }

private:
    std::size_t indexOf(const LocalCalendar::LocalDates::Date& date) const {
        std::size_t i = 0;
        while (i < days_.size() && days_[i].first != date)
            ++i;
        return i;
    }

    LocalCalendar::LocalDates dates_;
    std::vector<std::pair<LocalCalendar::LocalDates::Date, Day>> days_;
};

struct Afternoon {
    bool observed = false;
    std::int64_t longestMinutes = 0;
    bool fragmented = false;
};

// The sample's own fractional local hour decides, not the hour of its timestamp.
Afternoon afternoonOf(const Day& day, const AgentSummary::BuildOptions& options) {
    Afternoon afternoon;
    for (const SignalSample* sample : day) {
        if (!(options.afternoonStartHour <= sample->localHour &&
              sample->localHour < options.afternoonEndHour)) {
            continue;
        }
        const std::int64_t minutes = StateMapper::wholeMinutes(sample->continuousActiveSeconds);
        afternoon.longestMinutes = afternoon.observed ? std::max(afternoon.longestMinutes, minutes) : minutes;
        afternoon.observed = true;
        if (StateMapper::map(*sample, options.mapper).attention == AttentionState::fragmented) {
            afternoon.fragmented = true;
        }
    }
    return afternoon;
}

AgentSummary::Today readToday(const Day* today, TimePoint now, const AgentSummary::BuildOptions& options) {
    AgentSummary::Today reading;
    reading.partOfDay = partOfDayOf(LocalCalendar::localTime(now).tm_hour);
    if (today == nullptr || today->empty()) return reading;

    std::int64_t longest = StateMapper::wholeMinutes(today->front()->continuousActiveSeconds);
    const SignalSample* newest = today->front();
    for (const SignalSample* sample : *today) {
        longest = std::max(longest, StateMapper::wholeMinutes(sample->continuousActiveSeconds));
        // The log is not sorted by time; on a tie the earlier stored sample stays.
        if (sample->timestamp > newest->timestamp) newest = sample;
    }
    reading.continuousScreenBand = screenBandOf(longest);
    const CoarseState state = StateMapper::map(*newest, options.mapper);
    reading.attentionState = state.attention;
    reading.load = state.load;
    return reading;
}

const icu::RegexPattern* compilePattern(const char* pattern) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), parseError, status));
    return U_SUCCESS(status) ? compiled.release() : nullptr;
}

// A pattern that cannot run finds "something": the check then refuses rather than lets a
// document through unchecked.
bool searchFinds(const icu::RegexPattern* pattern, const icu::UnicodeString& text) {
    if (pattern == nullptr) return true;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(text, status));
    if (U_FAILURE(status)) return true;
    const bool found = matcher->find(status);
    return U_FAILURE(status) || found;
}

const icu::RegexPattern* activityTokenPattern() {
    static const icu::RegexPattern* pattern = compilePattern(
        R"((?i)\b(chrome|safari|firefox|slack|gmail|outlook|zoom|http|https|www\.|\.com|\.org|window title|tab title|keystroke)\b)");
    return pattern;
}

const icu::RegexPattern* minuteOrSignalKeyPattern() {
    static const icu::RegexPattern* pattern = compilePattern(
        R"re((?i)"continuousScreenMin"|"continuousActiveSeconds"|"secondsSinceLastInput"|"appSwitchesLastHour"|"localHour"|"titleChurnPerHour"|"timestamp"|\b\d{2,4}\s?min\b)re");
    return pattern;
}

AgentSummary::Today todayFromJson(const nlohmann::json& j) {
    using namespace JsonFields;
    AgentSummary::Today today;
    today.partOfDay = asEnum(field(j, "partOfDay"), partOfDayFrom);
    today.continuousScreenBand = asEnum(field(j, "continuousScreenBand"), screenBandFrom);
    today.attentionState = asEnum(field(j, "attentionState"), attentionStateFrom);
    today.load = asEnum(field(j, "load"), loadFrom);
    const nlohmann::json* wentLong = optionalField(j, "wentLong");
    today.wentLong = wentLong != nullptr && asBool(*wentLong);
    return today;
}

AgentSummary summaryFromJson(const nlohmann::json& j) {
    using namespace JsonFields;
    AgentSummary summary;
    summary.schemaVersion = asInt(field(j, "schemaVersion"));
    summary.profile = asEnum(field(j, "profile"), agentProfileFrom);
    const nlohmann::json& week = field(j, "summary");
    summary.summary.daysObserved = asInt(field(week, "daysObserved"));
    summary.summary.longAfternoonsThisWeek = asInt(field(week, "longAfternoonsThisWeek"));
    summary.summary.fragmentedAfternoonsThisWeek = asInt(field(week, "fragmentedAfternoonsThisWeek"));
    summary.summary.today = todayFromJson(field(week, "today"));
    summary.summary.nudgesAlreadyThisWeek = asInt(field(week, "nudgesAlreadyThisWeek"));
    if (const nlohmann::json* sky = optionalField(j, "skyConfirmedGood"))
        summary.skyConfirmedGood = asBool(*sky);
    return summary;
}

AgentSummary::DayMark markFromJson(const nlohmann::json& j) {
    using namespace JsonFields;
    AgentSummary::DayMark mark;
    mark.daysAgo = asInt(field(j, "daysAgo"));
    mark.isToday = asBool(field(j, "isToday"));
    mark.observed = asBool(field(j, "observed"));
    mark.wentLong = asBool(field(j, "wentLong"));
    mark.fragmented = asBool(field(j, "fragmented"));
    return mark;
}

template <typename Read>
auto strictly(const nlohmann::json& j, Read read) {
    try {
        return read(j);
    } catch (const JsonFields::Invalid& error) {
        throw nlohmann::json::type_error::create(302, error.what(), &j);
    }
}

template <typename Read>
auto optionally(const nlohmann::json& j, Read read) -> std::optional<decltype(read(j))> {
    try {
        return read(j);
    } catch (const JsonFields::Invalid&) {
        return std::nullopt;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::string_view toString(AgentProfile v) {
    return enumName(v, kProfiles);
}
std::string_view toString(PartOfDay v) {
    return enumName(v, kPartsOfDay);
}
std::string_view toString(ScreenBand v) {
    return enumName(v, kScreenBands);
}
std::string_view toString(AgentSummary::LeakError v) {
    return enumName(v, kLeakErrors);
}
std::optional<AgentProfile> agentProfileFrom(std::string_view raw) {
    return enumFromName(raw, kProfiles);
}
std::optional<PartOfDay> partOfDayFrom(std::string_view raw) {
    return enumFromName(raw, kPartsOfDay);
}
std::optional<ScreenBand> screenBandFrom(std::string_view raw) {
    return enumFromName(raw, kScreenBands);
}

PartOfDay partOfDayOf(int hour) {
    if (hour >= 6 && hour <= 11) return PartOfDay::morning;
    if (hour >= 12 && hour <= 17) return PartOfDay::afternoon;
    if (hour >= 18 && hour <= 20) return PartOfDay::evening;
    return PartOfDay::night;
}

ScreenBand screenBandOf(std::int64_t minutes) {
    if (minutes < 60) return ScreenBand::under1h;
    if (minutes < 120) return ScreenBand::oneToTwo;
    if (minutes < 180) return ScreenBand::twoToThree;
    return ScreenBand::overThree;
}

AgentSummary AgentSummary::build(const std::vector<SignalSample>& samples, TimePoint now,
                                 AgentProfile profile, int nudgesAlreadyThisWeek,
                                 std::optional<bool> skyConfirmedGood, const BuildOptions& options) {
    WindowDays days(samples, now, options);
    const Day* today = days.find(now);

    Week week;
    bool todayWentLong = false;
    for (const auto& [date, day] : days.all()) {
        const Afternoon afternoon = afternoonOf(day, options);
        if (!afternoon.observed) continue;
        if (afternoon.longestMinutes >= options.longAfternoonMinutes) {
            ++week.longAfternoonsThisWeek;
            if (&day == today) todayWentLong = true;
        }
        if (afternoon.fragmented) ++week.fragmentedAfternoonsThisWeek;
    }
    week.daysObserved = static_cast<int>(days.size());

    week.today = readToday(today, now, options);
    week.today.wentLong = todayWentLong;
    week.nudgesAlreadyThisWeek = std::max(nudgesAlreadyThisWeek, 0);

    return AgentSummary(profile, week, skyConfirmedGood);
}

std::vector<AgentSummary::DayMark> AgentSummary::weekBreakdown(const std::vector<SignalSample>& samples,
                                                               TimePoint now, const BuildOptions& options) {
    std::vector<DayMark> marks;
    if (options.windowDays <= 0) return marks;
    WindowDays days(samples, now, options);
    marks.reserve(static_cast<std::size_t>(options.windowDays));
    const Day noSamples;
    for (int daysAgo = 0; daysAgo < options.windowDays; ++daysAgo) {
        // Calendar days, not 86400-second steps: a day with a clock change is still one day.
        const Day* found = days.find(LocalCalendar::startOfDayOffset(now, -daysAgo));
        const Day& day = found == nullptr ? noSamples : *found;
        const Afternoon afternoon = afternoonOf(day, options);
        DayMark mark;
        mark.daysAgo = daysAgo;
        mark.isToday = daysAgo == 0;
        mark.observed = !day.empty();
        mark.wentLong = afternoon.longestMinutes >= options.longAfternoonMinutes;
        mark.fragmented = afternoon.fragmented;
        marks.push_back(mark);
    }
    return marks;
}

std::string AgentSummary::jsonString() const {
    nlohmann::json document = *this;
    // The document holds only whole numbers, booleans and fixed words, so it always encodes.
    return SeamEncoder::encode(document).value_or(std::string());
}

std::optional<AgentSummary::LeakError> AgentSummary::assertNoRawLeak() const {
    return rawLeakIn(jsonString());
}

std::optional<AgentSummary::LeakError> AgentSummary::rawLeakIn(std::string_view documentText) {
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(documentText.data(), static_cast<int32_t>(documentText.size())));
    if (searchFinds(activityTokenPattern(), text)) return LeakError::rawActivityToken;
    if (searchFinds(minuteOrSignalKeyPattern(), text)) return LeakError::rawMinuteOrSignalKey;
    return std::nullopt;
}

void to_json(nlohmann::json& j, const AgentProfile& v) {
    j = std::string(toString(v));
}
void to_json(nlohmann::json& j, const PartOfDay& v) {
    j = std::string(toString(v));
}
void to_json(nlohmann::json& j, const ScreenBand& v) {
    j = std::string(toString(v));
}

void from_json(const nlohmann::json& j, AgentProfile& v) {
    v = strictly(j, [](const nlohmann::json& x) { return JsonFields::asEnum(x, agentProfileFrom); });
}
void from_json(const nlohmann::json& j, PartOfDay& v) {
    v = strictly(j, [](const nlohmann::json& x) { return JsonFields::asEnum(x, partOfDayFrom); });
}
void from_json(const nlohmann::json& j, ScreenBand& v) {
    v = strictly(j, [](const nlohmann::json& x) { return JsonFields::asEnum(x, screenBandFrom); });
}

void to_json(nlohmann::json& j, const AgentSummary& s) {
    const AgentSummary::Today& today = s.summary.today;
    j = nlohmann::json{
        {"schemaVersion", s.schemaVersion},
        {"profile", s.profile},
        {"summary",
         {
             {"daysObserved", s.summary.daysObserved},
             {"longAfternoonsThisWeek", s.summary.longAfternoonsThisWeek},
             {"fragmentedAfternoonsThisWeek", s.summary.fragmentedAfternoonsThisWeek},
             {"today",
              {
                  {"partOfDay", today.partOfDay},
                  {"continuousScreenBand", today.continuousScreenBand},
                  {"attentionState", std::string(toString(today.attentionState))},
                  {"load", std::string(toString(today.load))},
                  {"wentLong", today.wentLong},
              }},
             {"nudgesAlreadyThisWeek", s.summary.nudgesAlreadyThisWeek},
         }},
    };
    if (s.skyConfirmedGood) j["skyConfirmedGood"] = *s.skyConfirmedGood;
}

void from_json(const nlohmann::json& j, AgentSummary& s) {
    s = strictly(j, summaryFromJson);
}

void to_json(nlohmann::json& j, const AgentSummary::DayMark& m) {
    j = nlohmann::json{
        {"daysAgo", m.daysAgo},   {"isToday", m.isToday},       {"observed", m.observed},
        {"wentLong", m.wentLong}, {"fragmented", m.fragmented},
    };
}

void from_json(const nlohmann::json& j, AgentSummary::DayMark& m) {
    m = strictly(j, markFromJson);
}

std::optional<AgentSummary> agentSummaryFromJson(const nlohmann::json& j) {
    return optionally(j, summaryFromJson);
}

std::optional<AgentSummary> agentSummaryFromJsonText(std::string_view text) {
    const std::optional<nlohmann::json> parsed = JsonText::decode(text);
    if (!parsed) return std::nullopt;
    return agentSummaryFromJson(*parsed);
}

std::optional<AgentSummary::DayMark> dayMarkFromJson(const nlohmann::json& j) {
    return optionally(j, markFromJson);
}

}  // namespace quillfen
