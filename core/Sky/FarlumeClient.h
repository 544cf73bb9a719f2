#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Config/AppConfig.h"
#include "Sky/CoarseLocation.h"
#include "Sky/SkyVerdict.h"
#include "Support/HttpFetcher.h"

namespace quillfen {

// Asks the sky service what it is like outside. The answer only flavours a nudge's words.
class FarlumeClient {
public:
    FarlumeClient(AppConfig config, std::shared_ptr<HttpFetcher> fetcher);

    // Never fails: anything that goes wrong, and a bad outside, is `unknown`.
    SkyVerdict skyCheck(const std::optional<CoarseLocation>& location) const;

    std::optional<std::string> buildURL(const std::optional<CoarseLocation>& location) const;

    static SkyVerdict interpret(std::string_view body);
    static bool isOutsideBad(const std::optional<std::string>& skyCondition,
                             const std::optional<std::string>& airCategory, std::optional<double> usAqi);

    // The shortest text that reads back as the same number, with at least one digit after the point.
    static std::string coordinateText(double value);

private:
    AppConfig config_;
    std::shared_ptr<HttpFetcher> fetcher_;
};

}  // namespace quillfen
