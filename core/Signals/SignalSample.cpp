#include "Signals/SignalSample.h"

#include <nlohmann/json.hpp>

#include "Support/EnumTable.h"
#include "Support/JsonFields.h"

namespace quillfen {

namespace {

constexpr EnumName<AttentionState> kAttention[] = {{AttentionState::focused, "focused"},
                                                   {AttentionState::fragmented, "fragmented"},
                                                   {AttentionState::idle, "idle"}};
constexpr EnumName<Load> kLoad[] = {{Load::low, "low"}, {Load::medium, "medium"}, {Load::high, "high"}};
constexpr EnumName<DisplayState> kDisplay[] = {{DisplayState::awake, "awake"},
                                               {DisplayState::displayAsleep, "displayAsleep"},
                                               {DisplayState::locked, "locked"}};

}  // namespace

std::string_view toString(AttentionState v) {
    return enumName(v, kAttention);
}
std::string_view toString(Load v) {
    return enumName(v, kLoad);
}
std::string_view toString(DisplayState v) {
    return enumName(v, kDisplay);
}
std::optional<AttentionState> attentionStateFrom(std::string_view raw) {
    return enumFromName(raw, kAttention);
}
std::optional<Load> loadFrom(std::string_view raw) {
    return enumFromName(raw, kLoad);
}
std::optional<DisplayState> displayStateFrom(std::string_view raw) {
    return enumFromName(raw, kDisplay);
}

namespace DisplayStates {

DisplayState classify(bool screensAsleep, bool sessionLocked) {
    if (sessionLocked) return DisplayState::locked;
    if (screensAsleep) return DisplayState::displayAsleep;
    return DisplayState::awake;
}

bool isTrueAbsence(DisplayState state) {
    return state != DisplayState::awake;
}

}  // namespace DisplayStates

nlohmann::json sampleToJson(const SignalSample& s) {
    nlohmann::json j = {
        {"timestamp", Iso8601::format(s.timestamp)},
        {"continuousActiveSeconds", s.continuousActiveSeconds},
        {"appSwitchesLastHour", s.appSwitchesLastHour},
        {"secondsSinceLastInput", s.secondsSinceLastInput},
        {"localHour", s.localHour},
    };
    if (s.titleChurnPerHour) j["titleChurnPerHour"] = *s.titleChurnPerHour;
    if (s.displayState) j["displayState"] = std::string(toString(*s.displayState));
    return j;
}

std::optional<SignalSample> sampleFromJson(const nlohmann::json& j) {
    using namespace JsonFields;
    try {
        SignalSample s;
        s.timestamp = asIsoDate(field(j, "timestamp"));
        s.continuousActiveSeconds = asDouble(field(j, "continuousActiveSeconds"));
        s.appSwitchesLastHour = asInt64(field(j, "appSwitchesLastHour"));
        s.secondsSinceLastInput = asDouble(field(j, "secondsSinceLastInput"));
        s.localHour = asDouble(field(j, "localHour"));
        if (const auto* v = optionalField(j, "titleChurnPerHour")) s.titleChurnPerHour = asDouble(*v);
        if (const auto* v = optionalField(j, "displayState")) s.displayState = asEnum(*v, displayStateFrom);
        return s;
    } catch (const Invalid&) {
        return std::nullopt;
    }
}

std::optional<std::vector<SignalSample>> samplesFromJson(const nlohmann::json& j) {
    if (!j.is_array()) return std::nullopt;
    std::vector<SignalSample> samples;
    samples.reserve(j.size());
    for (const auto& item : j) {
        auto sample = sampleFromJson(item);
        if (!sample) return std::nullopt;
        samples.push_back(*sample);
    }
    return samples;
}

nlohmann::json coarseStateToJson(const CoarseState& c) {
    return {
        {"attention", std::string(toString(c.attention))},
        {"load", std::string(toString(c.load))},
        {"continuousActiveMinutes", c.continuousActiveMinutes},
        {"appSwitchesLastHour", c.appSwitchesLastHour},
        {"localHour", c.localHour},
    };
}

std::optional<CoarseState> coarseStateFromJson(const nlohmann::json& j) {
    using namespace JsonFields;
    try {
        CoarseState c;
        c.attention = asEnum(field(j, "attention"), attentionStateFrom);
        c.load = asEnum(field(j, "load"), loadFrom);
        c.continuousActiveMinutes = asInt64(field(j, "continuousActiveMinutes"));
        c.appSwitchesLastHour = asInt64(field(j, "appSwitchesLastHour"));
        c.localHour = asDouble(field(j, "localHour"));
        return c;
    } catch (const Invalid&) {
        return std::nullopt;
    }
}

}  // namespace quillfen
