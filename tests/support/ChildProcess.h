#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/TestEnvironment.h"

namespace quillfen::test {

// How long a test waits for what another process or the desktop does (a child's line or file, a
// bus name, a window shown, the focus): long enough for a machine busy with builds and other
// suites, since every wait ends as soon as its condition holds.
inline constexpr std::chrono::milliseconds kPatience = std::chrono::seconds(20);

// A helper program a test starts (a bus, a mock service, an X server). It is stopped
// (SIGTERM, then SIGKILL) and reaped when the object goes, so a failing test leaves
// nothing running. Its output goes to /dev/null.
class ChildProcess {
public:
    // `environment` entries are added to (or replace those of) this process's environment.
    // When `reportFd` is given, the child finds the write end of a fresh pipe at that
    // descriptor number; `readLine` reads what it writes there.
    ChildProcess(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& environment = {},
                 std::optional<int> reportFd = std::nullopt);
    // A child this process started in a way of its own (a fork), ended and reaped as the others.
    explicit ChildProcess(pid_t started) : pid_(started) {}
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // The wait status once the child has ended (see waitpid), or nothing if it still runs
    // when the time is up.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    // Whether it ends, in time, with status 0.
    bool endsWell(std::chrono::milliseconds timeout = kPatience);
    // The peak of its resident memory so far (VmHWM), in kB; nothing once it has ended.
    std::optional<long> peakResidentKb() const { return status("VmHWM"); }
    // A number of its /proc status ("VmRSS" in kB, "Threads"); nothing once it has ended.
    std::optional<long> status(const std::string& field) const;
    // Whether it has a handler of its own for the signal; not once it has ended.
    bool catches(int signal) const;
    // The files it has mapped (its libraries and plugins) whose path holds any of `parts`.
    std::set<std::string> mappedFiles(const std::vector<std::string>& parts) const;
    // One line from the report pipe, without its line feed; aborts the test run when none
    // comes in time.
    std::string readLine(std::chrono::milliseconds timeout = kPatience);
    // Everything still to come from the report pipe until the child closes it or the time is
    // up; may be empty.
    std::string readRest(std::chrono::milliseconds timeout = kPatience);

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    int reportRead_ = -1;
    std::string pending_;
};

// The processes that process `pid` holds a descriptor of (a pidfd): those it waits on.
std::set<pid_t> processesWatchedBy(pid_t pid);

// Each string's characters and a null after the last, as exec takes its arguments and environment.
std::vector<char*> execPointers(std::vector<std::string>& strings);

// This process's environment with `overrides` added or put in place of its own, as "NAME=value".
std::vector<std::string> environmentWith(const std::map<std::string, std::string>& overrides);

// Polls `done` until it holds or the time is up; says whether it held.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kPatience);

// A private D-Bus message bus in a temporary folder; it serves as both the session and the
// system bus of a test.
class PrivateBus {
public:
    PrivateBus();
    const std::string& address() const { return address_; }
    // From now on the bus starts a DbusMock of `templateName` (as DbusMock takes it) the first time
    // someone asks for `name`, as a session's bus starts a service that is not yet running.
    void activates(const std::string& name, const std::string& templateName,
                   const std::string& parametersJson = "{}") const;

private:
    TempDir dir_;
    std::optional<ChildProcess> daemon_;
    std::string address_;
};

// A mock service from python3-dbusmock on a private bus. `templateName` is one of
// dbusmock's own templates or a file under tests/support/dbusmock/ (without ".py").
// Waiting for its name is the test's business (see QtTestSupport.h).
class DbusMock {
public:
    DbusMock(const PrivateBus& bus, const std::string& templateName,
             const std::string& parametersJson = "{}");

private:
    ChildProcess process_;
};

// A virtual X server on a free display, with access control off.
class VirtualDisplay {
public:
    // `screen` as Xvfb takes it: width x height x depth.
    explicit VirtualDisplay(const std::string& screen = "320x240x24");
    // ":N"
    const std::string& name() const { return name_; }
    // The server's process.
    pid_t pid() const { return server_->pid(); }

private:
    std::optional<ChildProcess> server_;
    std::string name_;
};

// A PulseAudio server with one null sink and nothing else, reached at its own socket.
class SoundServer {
public:
    SoundServer();
    // For PULSE_SERVER.
    std::string address() const { return "unix:" + socket_.string(); }

private:
    TempDir dir_;
    std::filesystem::path socket_;
    std::optional<ChildProcess> server_;
};

}  // namespace quillfen::test
