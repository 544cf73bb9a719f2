#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quillfen {

// Runs a command in a terminal window the user sees, for steps only the user can take (a
// login). The command is handed over as separate arguments, never as one shell line.
class TerminalLauncher {
public:
    virtual ~TerminalLauncher() = default;
    // Says whether a terminal was started; the command is not waited for.
    virtual bool run(const std::string& executable, const std::vector<std::string>& arguments) = 0;
};

// The desktop's chosen terminal, x-terminal-emulator, with -e.
std::unique_ptr<TerminalLauncher> makeTerminalLauncher();

}  // namespace quillfen
