#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillfen {

// Whether the mind can speak right now and, if not, what the user could do about it.
enum class MindConnection { connected, needsConnection, notInstalled, off };

namespace MindConnections {

// Without a login state (nothing learned) the mind counts as off: no banner, no reconnect.
MindConnection read(bool cloudEnabled, bool cliPresent, std::optional<bool> loggedIn);

// The Boolean "loggedIn" of the JSON object the tool prints for its auth status; nothing for no
// output, text that is not a JSON object, or a "loggedIn" that is missing or not true or false.
std::optional<bool> loggedInFromAuthStatusJson(const std::optional<std::string>& output);

// The mirror's one-line banner, for the two states the user can act on.
std::optional<std::string_view> bannerLine(MindConnection);
// Only logging in can help, so only needsConnection offers to reconnect.
bool offersReconnect(MindConnection);

}  // namespace MindConnections

}  // namespace quillfen
