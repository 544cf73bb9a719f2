#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen {

// What a start of the application asks for on its command line. One copy runs per user, so a
// start while a copy runs asks that copy instead: it hands over the addresses, does the action, or,
// asked for nothing, opens what a click on the stone opens, so that the application is reachable
// where no tray shows the stone. A start no person chose (the autostart entry's at login, the
// keep-alive's) carries a mark and asks for nothing.
struct StartRequest {
    // The mark of a start no person chose. Entries written before it start without it, and are
    // written again at the first start of a copy that knows it.
    static constexpr std::string_view kUnattended = "--background";

    // The menu entry's desktop actions: a start with the argument, which the running copy does as
    // the org.freedesktop.Application action of that name, and as the item of its tray menu.
    struct Action {
        std::string_view name;
        std::string_view label;
        std::string_view argument;
    };
    static constexpr Action kActions[] = {
        {"settings", "Settings", "--settings"},
        {"quit", "Quit", "--quit"},
    };
    static constexpr std::string_view kSettings = kActions[0].name;
    static constexpr std::string_view kQuit = kActions[1].name;

    // The arguments that are addresses ("tavryn-stone://keep?..."): those that begin with a scheme.
    std::vector<std::string> addresses;
    // The name of the action asked for; the last one given counts.
    std::optional<std::string> action;
    bool unattended = false;

    bool operator==(const StartRequest&) const = default;

    // Read from the arguments after the program's name; anything else on the line is passed over.
    static StartRequest of(const std::vector<std::string>& arguments);
};

}  // namespace quillfen
