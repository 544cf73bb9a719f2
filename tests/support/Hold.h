#pragma once

#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <string>

#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

namespace quillfen::test {

// The slow side of a test that checks a call comes back without waiting for it (a server's
// handler, a worker, a mind): it holds on until the test lets it go, once the call has returned,
// rather than for a fixed time a busy machine may outlast. Never let go, it gives up after
// kPatience, for every wait, and remembers that it did: a build that waits for it fails, and
// never hangs.
class Hold {
public:
    // Until the test lets go, or `stop` is requested; false when it gave up instead.
    bool wait(std::stop_token stop = {}) const;
    // Lets every wait go, those still to come too.
    void letGo();
    bool gaveUp() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable_any changed_;
    bool letGo_ = false;
    mutable bool gaveUp_ = false;
};

// The same in a child process: a line of shell that waits until the test lets go, or gives up
// after about kPatience, for every wait, and leaves a file that says so.
class ShellHold {
public:
    std::string command() const;
    void letGo() const;
    bool gaveUp() const;

private:
    TempDir dir_;
};

}  // namespace quillfen::test
