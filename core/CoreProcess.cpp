#include "CoreProcess.h"

#include <signal.h>

#include "Mind/ProcessRunner.h"

namespace quillfen {

void CoreProcess::ignoreBrokenPipes() {
    ::signal(SIGPIPE, SIG_IGN);
}

void CoreProcess::shutdown() {
    SystemProcessRunner::killAll();
}

}  // namespace quillfen
