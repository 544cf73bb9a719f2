#pragma once

#include <sys/types.h>

#include <chrono>
#include <vector>

namespace quillfen::ChildProcesses {

// The processes this one started that have not been reaped yet.
std::vector<pid_t> running();

// Ends every child still there at quit, with whatever it started in its own process group:
// SIGTERM, up to `grace` for them to go, then SIGKILL; every child is reaped. The
// application's own process group is never signalled.
void endAll(std::chrono::milliseconds grace);

}  // namespace quillfen::ChildProcesses
