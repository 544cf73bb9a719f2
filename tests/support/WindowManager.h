#pragma once

#include <map>
#include <memory>
#include <string>

#include "support/ChildProcess.h"

// Xlib's own name for a connection, declared here so that its macros stay out of other headers.
struct _XDisplay;

namespace quillfen::test {

// The desktop's own programs read the machine's settings (openbox its rc.xml in /etc/xdg), which a
// test's home keeps from everything else.
const std::map<std::string, std::string>& machineSettings();

// openbox as the window manager of a virtual X server, started as a session starts it. Ended with
// the object.
class WindowManager {
public:
    explicit WindowManager(const std::string& display);

    // Empty once openbox answers from its event loop; what went wrong otherwise.
    const std::string& problem() const { return problem_; }

private:
    ChildProcess process_;
    std::string problem_;
};

// Waits until the window manager has handled everything the X server did before the call; says
// whether it answered in time.
bool windowManagerCaughtUp(_XDisplay* x);

}  // namespace quillfen::test
