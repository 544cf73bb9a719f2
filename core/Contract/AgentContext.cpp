#include "Contract/AgentContext.h"

#include <utility>

#include <nlohmann/json.hpp>

#include "Contract/SeamEncoder.h"
#include "Support/EnumTable.h"
#include "Support/JsonFields.h"
#include "Support/JsonText.h"
#include "Support/Regex.h"

namespace quillfen {

namespace {

using namespace JsonFields;

std::string raw(std::string_view word) {
    return std::string(word);
}

nlohmann::json todayToJson(const AgentContext::TodayDetail& t) {
    nlohmann::json j{
        {"partOfDay", t.partOfDay},
        {"continuousMinutesNow", t.continuousMinutesNow},
        {"longestStretchMinutes", t.longestStretchMinutes},
        {"appSwitchesLastHour", t.appSwitchesLastHour},
        {"attentionState", raw(toString(t.attentionState))},
        {"load", raw(toString(t.load))},
        {"lateNight", t.lateNight},
    };
    if (t.activeSinceHour) j["activeSinceHour"] = *t.activeSinceHour;
    return j;
}

nlohmann::json calendarToJson(const AgentContext::CalendarContext& c) {
    nlohmann::json j{
        {"meetingsToday", c.meetingsToday},
        {"busyMinutesToday", c.busyMinutesToday},
        {"backToBack", c.backToBack},
    };
    if (c.nextInMinutes) j["nextInMinutes"] = *c.nextInMinutes;
    return j;
}

nlohmann::json aiToJson(const AgentContext::AIContext& a) {
    nlohmann::json j{{"sessionsToday", a.sessionsToday}};
    if (a.lastActiveMinutesAgo) j["lastActiveMinutesAgo"] = *a.lastActiveMinutesAgo;
    return j;
}

nlohmann::json deviceToJson(const AgentContext::DeviceContext& d) {
    return nlohmann::json{
        {"onCall", d.onCall},
        {"audioPlaying", d.audioPlaying},
        {"onBattery", d.onBattery},
        {"displayState", raw(toString(d.displayState))},
    };
}

nlohmann::json responseToJson(const AgentContext::NudgeResponse& r) {
    return nlohmann::json{
        {"daysAgo", r.daysAgo},
        {"partOfDay", r.partOfDay},
        {"taken", r.taken()},
        {"outcome", r.outcome},
    };
}

std::optional<std::int64_t> optionalInt64(const nlohmann::json& j, const char* key) {
    const nlohmann::json* value = optionalField(j, key);
    if (value == nullptr) return std::nullopt;
    return asInt64(*value);
}

AgentContext::TodayDetail todayDetailFromJson(const nlohmann::json& j) {
    AgentContext::TodayDetail t;
    t.partOfDay = asEnum(field(j, "partOfDay"), partOfDayFrom);
    t.continuousMinutesNow = asInt64(field(j, "continuousMinutesNow"));
    t.longestStretchMinutes = asInt64(field(j, "longestStretchMinutes"));
    t.appSwitchesLastHour = asInt64(field(j, "appSwitchesLastHour"));
    t.attentionState = asEnum(field(j, "attentionState"), attentionStateFrom);
    t.load = asEnum(field(j, "load"), loadFrom);
    if (const nlohmann::json* hour = optionalField(j, "activeSinceHour")) t.activeSinceHour = asDouble(*hour);
    t.lateNight = asBool(field(j, "lateNight"));
    return t;
}

AgentContext::CalendarContext calendarFromJson(const nlohmann::json& j) {
    AgentContext::CalendarContext c;
    c.meetingsToday = asInt64(field(j, "meetingsToday"));
    c.busyMinutesToday = asInt64(field(j, "busyMinutesToday"));
    c.backToBack = asInt64(field(j, "backToBack"));
    c.nextInMinutes = optionalInt64(j, "nextInMinutes");
    return c;
}

AgentContext::AIContext aiFromJson(const nlohmann::json& j) {
    AgentContext::AIContext a;
    a.sessionsToday = asInt64(field(j, "sessionsToday"));
    a.lastActiveMinutesAgo = optionalInt64(j, "lastActiveMinutesAgo");
    return a;
}

AgentContext::DeviceContext deviceFromJson(const nlohmann::json& j) {
    AgentContext::DeviceContext d;
    d.onCall = asBool(field(j, "onCall"));
    d.audioPlaying = asBool(field(j, "audioPlaying"));
    d.onBattery = asBool(field(j, "onBattery"));
    d.displayState = asEnum(field(j, "displayState"), displayStateFrom);
    return d;
}

// "taken" must be there, but it is derived from the outcome, so its stored value cannot
// contradict the outcome after reading.
AgentContext::NudgeResponse responseFromJson(const nlohmann::json& j) {
    AgentContext::NudgeResponse r;
    r.daysAgo = asInt64(field(j, "daysAgo"));
    r.partOfDay = asEnum(field(j, "partOfDay"), partOfDayFrom);
    asBool(field(j, "taken"));
    r.outcome = asEnum(field(j, "outcome"), nudgeOutcomeFrom);
    return r;
}

template <typename Read>
auto listFromJson(const nlohmann::json& j, Read read) {
    if (!j.is_array()) throw Invalid("not a list");
    std::vector<decltype(read(j))> items;
    items.reserve(j.size());
    for (const nlohmann::json& element : j)
        items.push_back(read(element));
    return items;
}

AgentSummary::DayMark weekMarkFromJson(const nlohmann::json& j) {
    auto mark = dayMarkFromJson(j);
    if (!mark) throw Invalid("not a day mark");
    return *mark;
}

AgentContext contextFromJson(const nlohmann::json& j) {
    AgentContext c;
    c.schemaVersion = asInt(field(j, "schemaVersion"));
    auto summary = agentSummaryFromJson(field(j, "summary"));
    if (!summary) throw Invalid("not a summary");
    c.summary = *summary;
    c.week = listFromJson(field(j, "week"), weekMarkFromJson);
    c.today = todayDetailFromJson(field(j, "today"));
    if (const nlohmann::json* calendar = optionalField(j, "calendar"))
        c.calendar = calendarFromJson(*calendar);
    if (const nlohmann::json* ai = optionalField(j, "aiTools")) c.aiTools = aiFromJson(*ai);
    if (const nlohmann::json* device = optionalField(j, "device")) c.device = deviceFromJson(*device);
    c.breakpoint = asEnum(field(j, "breakpoint"), breakpointKindFrom);
    c.recentNudges = listFromJson(field(j, "recentNudges"), responseFromJson);
    return c;
}

// Never destroyed: an explicit ask that ran past its time-out may still check its context while
// the process exits.
const Regex& activityTokenRegex() {
    static const auto* pattern = new Regex(
        R"((?i)\b(chrome|safari|firefox|slack|gmail|outlook|zoom|http|https|www\.|\.com|\.org|window title|tab title|keystroke)\b)");
    return *pattern;
}

constexpr EnumName<AgentContext::EncodingError> kEncodingErrors[] = {
    {AgentContext::EncodingError::nonFiniteNumber, "nonFiniteNumber"}};

}  // namespace

AgentContext::AgentContext(AgentSummary summary, std::vector<AgentSummary::DayMark> week, TodayDetail today,
                           std::optional<CalendarContext> calendar, std::optional<AIContext> aiTools,
                           std::optional<DeviceContext> device, BreakpointKind breakpoint,
                           std::vector<NudgeResponse> recentNudges)
    : summary(std::move(summary)),
      week(std::move(week)),
      today(today),
      calendar(calendar),
      aiTools(aiTools),
      device(device),
      breakpoint(breakpoint),
      recentNudges(std::move(recentNudges)) {}

std::optional<std::string> AgentContext::jsonString() const {
    return SeamEncoder::encode(nlohmann::json(*this));
}

std::optional<AgentContext::Refusal> AgentContext::assertNoRawLeak() const {
    if (const auto leak = summary.assertNoRawLeak()) return Refusal(*leak);
    const std::optional<std::string> text = jsonString();
    if (!text) return Refusal(EncodingError::nonFiniteNumber);
    if (activityTokenIn(*text)) return Refusal(AgentSummary::LeakError::rawActivityToken);
    return std::nullopt;
}

bool AgentContext::activityTokenIn(std::string_view documentText) {
    const Regex& pattern = activityTokenRegex();
    return !pattern.valid() || pattern.foundIn(documentText);
}

std::string_view toString(AgentContext::EncodingError error) {
    return enumName(error, kEncodingErrors);
}

std::string_view toString(const AgentContext::Refusal& refusal) {
    return std::visit([](auto error) { return toString(error); }, refusal);
}

void to_json(nlohmann::json& j, const AgentContext& c) {
    nlohmann::json week = nlohmann::json::array();
    for (const AgentSummary::DayMark& mark : c.week)
        week.push_back(mark);
    nlohmann::json nudges = nlohmann::json::array();
    for (const AgentContext::NudgeResponse& response : c.recentNudges)
        nudges.push_back(responseToJson(response));

    j = nlohmann::json{
        {"schemaVersion", c.schemaVersion},
        {"summary", c.summary},
        {"week", std::move(week)},
        {"today", todayToJson(c.today)},
        {"breakpoint", raw(toString(c.breakpoint))},
        {"recentNudges", std::move(nudges)},
    };
    if (c.calendar) j["calendar"] = calendarToJson(*c.calendar);
    if (c.aiTools) j["aiTools"] = aiToJson(*c.aiTools);
    if (c.device) j["device"] = deviceToJson(*c.device);
}

void from_json(const nlohmann::json& j, AgentContext& c) {
    try {
        c = contextFromJson(j);
    } catch (const Invalid& error) {
        throw nlohmann::json::type_error::create(302, error.what(), &j);
    }
}

std::optional<AgentContext> agentContextFromJson(const nlohmann::json& j) {
    try {
        return contextFromJson(j);
    } catch (const Invalid&) {
        return std::nullopt;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::optional<AgentContext> agentContextFromJsonText(std::string_view text) {
    const std::optional<nlohmann::json> parsed = JsonText::decode(text);
    if (!parsed) return std::nullopt;
    return agentContextFromJson(*parsed);
}

}  // namespace quillfen
