// Takes out, for the user who runs it, what the application put into other programs' settings:
// the stone's status line and prompt hook from Claude Code's settings with the two scripts they
// run, and the application as the handler of the stone handoff's addresses from the desktop's
// choices. Everything else in those files stays. The uninstall runs it; it says what it did and
// what it had to leave, one line each, and succeeds either way.
//
//   quillfen_unregister

#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>

#include "ClaudeFaceInstaller.h"
#include "Support/Paths.h"
#include "UrlSchemeRegistration.h"

using namespace quillfen;

namespace {

void say(std::string line) {
    if (!line.empty()) line.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(line.front())));
    std::printf("%s\n", line.c_str());
}

}  // namespace

int main() {
    const auto face = ClaudeFaceInstaller::uninstall(Paths::home(), std::chrono::system_clock::now());
    if (face.settings != ClaudeFaceInstaller::SettingsOutcome::written) {
        say(ClaudeFaceInstaller::note(face.settings) +
            ". Take the stone's status line and prompt hook out of ~/.claude/settings.json by hand.");
    } else if (face.settingsChanged) {
        say("took the stone's status line and prompt hook out of ~/.claude/settings.json.");
    }
    if (!face.scripts.empty()) {
        std::string names;
        for (const auto& name : face.scripts)
            names += (names.empty() ? "" : " and ") + name + ".sh";
        say("removed " + names + " from ~/.ostrel.");
    }

    const auto choices = UrlSchemeRegistration::choicesFile();
    switch (UrlSchemeRegistration::removeFromChoices()) {
        case UrlSchemeRegistration::Removal::removed:
            say("took the application out of " + choices.string() + " as the handler of tavryn-stone: addresses.");
            break;
        case UrlSchemeRegistration::Removal::leftAsItWas:
            say("left " + choices.string() + " as it was: it could not be read or rewritten, and may still name the "
                "removed application as the handler of tavryn-stone: addresses.");
            break;
        case UrlSchemeRegistration::Removal::absent:
            break;
    }
    return 0;
}
