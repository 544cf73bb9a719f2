#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillfen {

struct CommandOutcome {
    // False when the command could not be started at all; `error` then says why.
    bool started = false;
    // The exit status; -1 when the command was ended at its deadline or by a signal.
    int status = -1;
    std::string error;
    bool operator==(const CommandOutcome&) const = default;
};

// Runs system tools. The executable is an absolute path (never searched for; a relative one is
// not started), each argument is passed as it is, and no shell stands in between. A tool gets
// descriptors 0 to 2 only, and the user's environment without the application's own secrets.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;

    // Runs the tool to its end, its output and errors going to the null device and its input
    // inherited; blocks the caller meanwhile.
    virtual CommandOutcome run(const std::string& executable, const std::vector<std::string>& arguments) = 0;

    // Starts the tool in a session of its own and returns at once; it outlives this process
    // and is reaped by the system. The error when it could not be started.
    virtual std::optional<std::string> launchDetached(const std::string& executable,
                                                      const std::vector<std::string>& arguments) = 0;
};

// A tool that is still running at the deadline is killed and counts as failed.
std::unique_ptr<CommandRunner> makeCommandRunner(double deadlineSeconds = 20);

}  // namespace quillfen
