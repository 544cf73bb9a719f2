#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "RunningCopy.h"
#include "platform/CommandRunner.h"

// Keeps the application running: a systemd user service whose program is a small bash wrapper
// that starts the application and becomes the keep-alive's wait (quillfen_keepalive, beside the
// application in its build), which blocks while the user's own copy of it lives and then fails, so
// that systemd starts it again after a crash. A quit removes the service first, so that quitting
// sticks. Everything here logs to the system log under "launch-agent" and reports nothing to its
// caller beyond a Boolean.
namespace quillfen::LaunchAgent {

inline constexpr const char* kUnitName = "org.quillfen.Quillfen.service";
inline constexpr const char* kSystemctl = "/usr/bin/systemctl";
// The keep-alive's wait (KeepAlive/main.cpp), in a build's bin folder.
inline constexpr const char* kWaitName = "quillfen_keepalive";

// $XDG_CONFIG_HOME/systemd/user/org.quillfen.Quillfen.service
std::filesystem::path unitFile();
// keepalive-wrapper.sh in the application's data folder.
std::filesystem::path wrapperFile();

// Writes the wrapper and the unit and (re)starts the service; true only when systemd took it.
// The wrapper starts the installation's launcher, by default the running copy's. A developer
// or demo run (a variable named TAVRYN_RENDER…, or TAVRYN_DEMO_NUDGE or TAVRYN_QA_WINDOW_CYCLE
// set to anything) touches nothing and gets false; so does a copy run from a build folder (no
// installation), which logs so.
bool install();
bool install(CommandRunner& runner, const std::optional<RunningCopy::Installation>& installed);

// What stands in the way of the unit for this copy (a copy that is not installed, a wrapper or
// launcher others could change: "others may change /home/u"); empty when nothing does.
std::string obstacle(const std::optional<RunningCopy::Installation>& installed);
// The line `install` logs for it.
std::string refusal(const std::optional<RunningCopy::Installation>& installed);

// Stops and disables the service and deletes both files; silent about what was not there.
void disable();
void disable(CommandRunner& runner);

// Whether the unit file is in place.
bool isInstalled();

// The installed copy that the wrapper in place starts, when it is a wrapper Quillfen wrote.
std::optional<RunningCopy::Installation> copyItStarts();

// The wait in a build.
std::filesystem::path waitIn(const std::filesystem::path& build);

std::string wrapperScript(const std::filesystem::path& build, const std::filesystem::path& executable);
// The launcher a wrapper of ours starts, read back from its BIN= line as wrapperScript writes it;
// nothing for a text without one.
std::optional<std::filesystem::path> launcherIn(std::string_view wrapper);
std::string unitText(const std::filesystem::path& wrapper);

}  // namespace quillfen::LaunchAgent
