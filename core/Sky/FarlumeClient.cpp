#include "Sky/FarlumeClient.h"

#include <charconv>
#include <cmath>
#include <functional>

#include <nlohmann/json.hpp>

#include "Support/JsonText.h"
#include "Support/Text.h"
#include "Support/TimeoutRace.h"

namespace quillfen {

namespace {

// A sky answer is a small JSON object; anything much larger is not one.
constexpr std::size_t kMaxSkyAnswerBytes = 1 << 20;

const nlohmann::json* objectAt(const nlohmann::json* parent, const char* key) {
    if (!parent || !parent->is_object()) return nullptr;
    auto it = parent->find(key);
    return it != parent->end() && it->is_object() ? &*it : nullptr;
}

std::optional<std::string> textAt(const nlohmann::json* parent, const char* key) {
    if (!parent) return std::nullopt;
    auto it = parent->find(key);
    if (it == parent->end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::optional<double> numberAt(const nlohmann::json* parent, const char* key) {
    if (!parent) return std::nullopt;
    auto it = parent->find(key);
    if (it == parent->end() || !it->is_number()) return std::nullopt;
    return it->get<double>();
}

std::optional<bool> boolAt(const nlohmann::json* parent, const char* key) {
    if (!parent) return std::nullopt;
    auto it = parent->find(key);
    if (it == parent->end() || !it->is_boolean()) return std::nullopt;
    return it->get<bool>();
}

bool containsAny(const std::string& lowered, std::initializer_list<const char*> needles) {
    for (const char* needle : needles) {
        if (lowered.find(needle) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

CoarseLocation CoarseLocation::rounded(int decimals) const {
    const double factor = std::pow(10.0, decimals);
    return {std::round(factor * lat) / factor, std::round(factor * lng) / factor};
}

FarlumeClient::FarlumeClient(AppConfig config, std::shared_ptr<HttpFetcher> fetcher)
    : config_(std::move(config)), fetcher_(std::move(fetcher)) {}

std::string FarlumeClient::coordinateText(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return "0.0";
    std::string text(buffer, end);
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
    return text;
}

std::optional<std::string> FarlumeClient::buildURL(const std::optional<CoarseLocation>& location) const {
    const std::string& baseURL = config_.farlumeBaseURL;
    if (!isParseableURL(baseURL)) return std::nullopt;
    std::string base = baseURL.substr(0, baseURL.find_first_of("?#"));
    while (!base.empty() && base.back() == '/')
        base.pop_back();

    std::string query = "audience=facts&humanProfile=work";
    switch (config_.locationMode) {
        case LocationMode::coreLocationCoarse:
            if (location) {
                const auto r = location->rounded(config_.locationRoundingDecimals);
                if (!std::isfinite(r.lat) || !std::isfinite(r.lng)) return std::nullopt;
                query += "&lat=" + percentEncodeQueryValue(coordinateText(r.lat));
                query += "&lng=" + percentEncodeQueryValue(coordinateText(r.lng));
            }
            break;
        case LocationMode::fixedPlace:
            if (config_.fixedPlace && !config_.fixedPlace->empty()) {
                query += "&place=" + percentEncodeQueryValue(*config_.fixedPlace);
            }
            break;
        case LocationMode::none:
            break;
    }
    return base + "/api/moon?" + query;
}

SkyVerdict FarlumeClient::skyCheck(const std::optional<CoarseLocation>& location) const {
    auto url = buildURL(location);
    if (!url || !fetcher_) return SkyVerdict::unknown();
    const double timeout = config_.skyCheckTimeout;
    HttpRequest request{*url, {}, timeout, kMaxSkyAnswerBytes};
    auto fetcher = fetcher_;
    std::optional<HttpResult> result;
    try {
        result = raceAgainstTimeout<HttpResult>(
            timeout, [&](std::stop_token stop) { return fetcher->get(request, stop); });
    } catch (...) {
        // No thread for the race (std::system_error), or a fetcher that threw: no answer.
        return SkyVerdict::unknown();
    }
    if (!result) return SkyVerdict::unknown();
    const auto* response = std::get_if<HttpResponse>(&*result);
    if (!response || response->status != 200) return SkyVerdict::unknown();
    return interpret(response->body);
}

SkyVerdict FarlumeClient::interpret(std::string_view body) {
    auto parsed = JsonText::decode(body);
    if (!parsed || !parsed->is_object()) return SkyVerdict::unknown();
    const nlohmann::json* root = &*parsed;
    if (boolAt(root, "silent") == true) return SkyVerdict::unknown();

    const nlohmann::json* fieldSnapshot = objectAt(objectAt(root, "facts"), "fieldSnapshot");
    const nlohmann::json* weather = objectAt(fieldSnapshot, "weather");
    if (!weather) weather = objectAt(root, "weather");
    const nlohmann::json* current = objectAt(weather, "current");
    if (!current) current = weather;
    const nlohmann::json* astronomy = objectAt(fieldSnapshot, "astronomy");
    if (!astronomy) astronomy = objectAt(root, "astronomy");

    SkyTail tail;
    tail.skyCondition = textAt(current, "skyCondition");
    if (!tail.skyCondition) tail.skyCondition = textAt(current, "condition");
    tail.temperatureC = numberAt(current, "temperatureC");
    tail.airQualityCategory = textAt(current, "airQualityCategory");
    const auto usAqi = numberAt(current, "usAqi");
    tail.isDaylight = boolAt(astronomy, "isDay");
    if (auto name = textAt(objectAt(astronomy, "primaryEvent"), "name"); name && !name->empty()) {
        tail.rareEventName = std::move(name);
    }

    if (isOutsideBad(tail.skyCondition, tail.airQualityCategory, usAqi)) return SkyVerdict::unknown();
    if (tail.rareEventName) return SkyVerdict::rare(std::move(tail));
    return SkyVerdict::worthIt(std::move(tail));
}

bool FarlumeClient::isOutsideBad(const std::optional<std::string>& skyCondition,
                                 const std::optional<std::string>& airCategory, std::optional<double> usAqi) {
    if (usAqi && *usAqi >= 150) return true;
    if (airCategory && containsAny(Text::lowercasedAscii(*airCategory), {"unhealthy", "hazardous"}))
        return true;
    if (skyCondition &&
        containsAny(Text::lowercasedAscii(*skyCondition), {"thunder", "storm", "heavy rain", "snow"})) {
        return true;
    }
    return false;
}

}  // namespace quillfen
