#pragma once

#include <stop_token>
#include <string>
#include <variant>
#include <vector>

#include "Mind/MindError.h"

namespace quillfen {

// The child could not be started at all (missing file, not executable); errno's words.
struct ProcessLaunchError {
    int code = 0;
    std::string message;
    bool operator==(const ProcessLaunchError&) const = default;
};

// The child's whole standard output, or why there is none.
using ProcessResult = std::variant<std::string, MindError, ProcessLaunchError>;

// Runs one child process to completion or to its deadline.
class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;

    // `executable` is an absolute path (never searched for on PATH; a relative one is not
    // started); arguments are passed one element each, no shell in between. Standard input gets
    // `input` and is then closed.
    virtual ProcessResult run(const std::string& executable, const std::vector<std::string>& arguments,
                              double timeoutSeconds, std::stop_token stop,
                              const std::string& input = {}) const = 0;
};

// POSIX spawn with close-on-exec pipes; the child inherits no other descriptor, and the user's
// environment without the application's own secrets (ChildEnvironment). The child runs in
// a process group of its own, so that ending it also ends whatever it started; every child is
// reaped. A call whose stop is already requested starts no child. Input that cannot be written
// (the child has exited before reading it) fails the call; the process must ignore SIGPIPE (see
// CoreProcess) or such a write ends it.
class SystemProcessRunner final : public ProcessRunner {
public:
    // Standard output beyond this is a transport failure rather than memory without bound.
    static constexpr std::size_t kMaxOutputBytes = 16u << 20;
    static constexpr std::size_t kMaxErrorBytes = 64u << 10;
    // How long a terminated child gets before it is killed.
    static constexpr double kTerminationGraceSeconds = 0.5;

    ProcessResult run(const std::string& executable, const std::vector<std::string>& arguments,
                      double timeoutSeconds, std::stop_token stop,
                      const std::string& input = {}) const override;

    // For the quit path: kills every child still running, each with its process group, and
    // refuses every later start (such a call fails as transport).
    static void killAll();
};

}  // namespace quillfen
