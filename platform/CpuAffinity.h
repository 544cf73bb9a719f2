#pragma once

// The GUI thread and the drawing threads it starts share one core. The toolkit's raster
// engine hands every large fill of a repaint to a pool of threads and waits for them; spread
// over all cores, each hand-over is a wake-up on another core, which costs a breathing pane
// more than the drawing itself. Everything else (background work, child processes) keeps the
// cores the process was started with.
namespace quillfen::CpuAffinity {

// Keeps the calling thread, and the threads it starts from now on, on the core it runs on.
// Remembers the process's own cores first. Does nothing when the system says no.
void keepCallingThreadOnOneCore();

// The calling thread back on the process's own cores; a thread started by a kept thread calls
// this first, so background work is never confined.
void releaseCallingThread();

// For as long as it lives, the calling thread is on the process's own cores, so a child
// process started meanwhile inherits those rather than the one core.
class ProcessCores {
public:
    ProcessCores();
    ~ProcessCores();
    ProcessCores(const ProcessCores&) = delete;
    ProcessCores& operator=(const ProcessCores&) = delete;

private:
    bool restore_ = false;
    unsigned char saved_[128] = {};
};

}  // namespace quillfen::CpuAffinity
