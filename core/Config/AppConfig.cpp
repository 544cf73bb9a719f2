#include "Config/AppConfig.h"

#include <unistd.h>

#include "Support/EnumTable.h"
#include "Support/Text.h"

extern char** environ;

namespace quillfen {

namespace {

constexpr EnumName<LocationMode> kLocationModes[] = {
    {LocationMode::coreLocationCoarse, "coreLocationCoarse"},
    {LocationMode::fixedPlace, "fixedPlace"},
    {LocationMode::none, "none"},
};


bool switchedOn(const std::string& value) {
    const std::string lowered = Text::lowercasedAscii(value);
    return !(lowered == "off" || lowered == "0" || lowered == "false" || lowered == "no");
}

bool isSchemeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '-' || c == '.';
}

}  // namespace

std::string_view toString(LocationMode mode) {
    return enumName(mode, kLocationModes);
}
std::optional<LocationMode> locationModeFrom(std::string_view raw) {
    return enumFromName(raw, kLocationModes);
}

bool isParseableURL(std::string_view text) {
    auto colon = text.find("://");
    if (colon == std::string_view::npos || colon == 0) return false;
    const char first = text[0];
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'))) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        if (!isSchemeChar(text[i])) return false;
    }
    std::string_view rest = text.substr(colon + 3);
    std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (authority.empty()) return false;
    for (unsigned char c : text) {
        if (c <= 0x20 || c == 0x7f || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' ||
            c == '{' || c == '|' || c == '}') {
            return false;
        }
    }
    return true;
}

AppConfig AppConfig::fromEnvironment(const Environment& env) {
    AppConfig config;
    if (const auto* url = environmentValue(env, "TAVRYN_FARLUME_BASE_URL"); url && isParseableURL(*url)) {
        config.farlumeBaseURL = *url;
    }
    const auto* modeValue = environmentValue(env, "TAVRYN_LOCATION_MODE");
    if (modeValue) {
        if (auto mode = locationModeFrom(*modeValue)) config.locationMode = *mode;
    }
    if (const auto* place = environmentValue(env, "TAVRYN_FIXED_PLACE"); place && !place->empty()) {
        config.fixedPlace = *place;
        // A mode variable that is present, even an invalid one, keeps its say over the mode.
        if (!modeValue) config.locationMode = LocationMode::fixedPlace;
    }
    if (const auto* mind = environmentValue(env, "TAVRYN_CLOUD_MIND")) config.cloudMindEnabled = switchedOn(*mind);
    if (const auto* model = environmentValue(env, "TAVRYN_CLOUD_MODEL"); model && !model->empty()) {
        config.cloudMindModel = *model;
    }
    if (const auto* observe = environmentValue(env, "TAVRYN_OBSERVE_ONLY")) config.observeOnly = switchedOn(*observe);
    return config;
}

const std::string* environmentValue(const Environment& environment, const char* name) {
    auto it = environment.find(name);
    return it == environment.end() ? nullptr : &it->second;
}

Environment processEnvironment() {
    Environment env;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string_view pair(*entry);
        auto eq = pair.find('=');
        if (eq == std::string_view::npos) continue;
        env.emplace(std::string(pair.substr(0, eq)), std::string(pair.substr(eq + 1)));
    }
    return env;
}

}  // namespace quillfen
