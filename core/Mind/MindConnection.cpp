#include "Mind/MindConnection.h"

#include <nlohmann/json.hpp>

#include "Support/JsonText.h"

namespace quillfen::MindConnections {

MindConnection read(bool cloudEnabled, bool cliPresent, std::optional<bool> loggedIn) {
    if (!cloudEnabled) return MindConnection::off;
    if (!cliPresent) return MindConnection::notInstalled;
    if (!loggedIn) return MindConnection::off;
    return *loggedIn ? MindConnection::connected : MindConnection::needsConnection;
}

std::optional<bool> loggedInFromAuthStatusJson(const std::optional<std::string>& output) {
    if (!output) return std::nullopt;
    const std::optional<nlohmann::json> parsed = JsonText::decode(*output);
    if (!parsed || !parsed->is_object()) return std::nullopt;
    const auto it = parsed->find("loggedIn");
    if (it == parsed->end() || !it->is_boolean()) return std::nullopt;
    return it->get<bool>();
}

std::optional<std::string_view> bannerLine(MindConnection state) {
    switch (state) {
        case MindConnection::needsConnection:
            return "your claude isn't connected";
        case MindConnection::notInstalled:
            return "claude isn't set up on this machine";
        case MindConnection::connected:
        case MindConnection::off:
            break;
    }
    return std::nullopt;
}

bool offersReconnect(MindConnection state) {
    return state == MindConnection::needsConnection;
}

}  // namespace quillfen::MindConnections
