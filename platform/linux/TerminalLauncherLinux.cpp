#include "Support/Executables.h"
#include "Support/SystemLog.h"
#include "platform/CommandRunner.h"
#include "platform/TerminalLauncher.h"

namespace quillfen {

namespace {

constexpr const char* kTerminal = "x-terminal-emulator";

class LinuxTerminalLauncher final : public TerminalLauncher {
public:
    bool run(const std::string& executable, const std::vector<std::string>& arguments) override {
        // Looked up on PATH's absolute folders only: a terminal program in the working folder
        // must not be the one that runs.
        const auto terminal = Executables::onSearchPath(kTerminal);
        if (!terminal) {
            SystemLog::error("terminal", std::string("no ") + kTerminal + " on the search path");
            return false;
        }
        // Debian's alternative takes -e followed by the program and its arguments, each its
        // own word, so a path with spaces or quotes reaches the program unchanged.
        std::vector<std::string> words{"-e", executable};
        words.insert(words.end(), arguments.begin(), arguments.end());
        // Detached: the terminal is the user's and is neither waited for nor ended with us.
        if (auto error = runner_->launchDetached(*terminal, words)) {
            SystemLog::error("terminal", *terminal + " could not be started: " + *error);
            return false;
        }
        return true;
    }

private:
    std::unique_ptr<CommandRunner> runner_ = makeCommandRunner();
};

}  // namespace

std::unique_ptr<TerminalLauncher> makeTerminalLauncher() {
    return std::make_unique<LinuxTerminalLauncher>();
}

}  // namespace quillfen
