#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "Config/AppConfig.h"

namespace quillfen::SingleInstance {

// A render hook, the window self-test or the demo nudge: a run that ends by itself and may
// run beside a normal instance, so it takes no lock. The one test of it: main keeps such a run
// out of the lock, the controller sets up nothing for it that outlasts the process, and the
// keep-alive is never installed by it.
bool isOneShotRun(const Environment& environment);

enum class Outcome {
    // This process holds the lock for as long as it lives.
    held,
    // Another instance holds it: this one should end at once, quietly.
    heldElsewhere,
    // The lock could not be had for another reason; the process runs without the guard.
    unguarded,
};

struct Lock {
    Outcome outcome = Outcome::unguarded;
    // Why the run is unguarded, for the system log.
    std::string problem;
};

// Takes the lock on "singleton.lock" in `folder` (created, kept to its owner). The
// descriptor of a held lock stays open, deliberately, until the process ends.
Lock acquire(const std::filesystem::path& folder);

// Whether an instance holds the lock in `folder` now. Its file is never to be removed then: the
// next start would make another and run beside it.
bool isHeld(const std::filesystem::path& folder);

// The program that the process holding the lock in `folder` runs, when one of the user's holds
// it and is a program named as the application's.
std::optional<std::filesystem::path> holdersProgram(const std::filesystem::path& folder);

// What became of the lock's folder when the last copy was removed.
struct Removal {
    enum class Outcome {
        removed,
        notThere,
        // A running copy holds the lock: the folder is as it was.
        heldElsewhere,
        // Not a folder of the user's alone, or no lock to be had there: the folder is as it was.
        refused,
    };
    Outcome outcome = Outcome::notThere;
    std::string why;
};

// Removes `folder` with everything in it while holding its lock, taken without waiting through
// the folder's descriptor, and takes out the lock file last: a copy that starts meanwhile is
// turned away, or keeps the lock file it made, and never loses it to the removal. A lock another
// process holds leaves the folder as it is. `beforeEmptying` runs once the lock is held.
Removal removeHoldingTheLock(const std::filesystem::path& folder,
                             const std::function<void()>& beforeEmptying = {});

}  // namespace quillfen::SingleInstance
