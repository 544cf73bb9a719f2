#pragma once

namespace quillfen {

// What a process that links the core does once as it starts and once as it quits.
namespace CoreProcess {

// First thing in main, before any thread starts. Writing to a child that has already exited
// raises SIGPIPE, which would end the whole process; ignored, the write fails and so does only
// the call that made it.
void ignoreBrokenPipes();

// Last thing on the quit path, just before the process exits: kills every child process still
// running, with whatever each of them started, and lets no new one start. Without it a child
// that outlives its time-out, or whose call is still in flight, goes on running after the
// application has gone.
void shutdown();

}  // namespace CoreProcess

}  // namespace quillfen
