#pragma once

#include <optional>
#include <string>
#include <vector>

#include "RunningCopy.h"
#include "Support/Clock.h"
#include "platform/CommandRunner.h"
#include "platform/UserDefaults.h"

// Entries of ours that another program runs later by name, naming a path through a folder others
// may write, sticky or not: written by a copy installed or run below /tmp, say, before such paths
// were refused. The sticky bit keeps a name only while its owner keeps it: once a boot empties the
// folder, another user may make the same path, and the entry would start their program as the
// user. Every start of a copy and the uninstall take them out.
namespace quillfen::StrandedEntries {

// Takes out each entry of ours, as each module knows its own, whose program or the way to it
// others could change: the autostart entry, the keep-alive unit with its wrapper, the user's menu
// entry with the desktop's choice of it as the handler of tavryn-stone: addresses (unless an
// entry of another copy answers that choice), and the stone's hook and status line in Claude
// Code with the scripts they run. Each removal is logged once; what was done comes back, a
// sentence each, for the uninstall to say. `starting` is the copy whose start this is: where it
// may write its own autostart entry, its start writes that in place of ours, which taken out now
// would read as the user's choice to start nothing at login; an autostart entry taken out is
// forgotten in `defaults` (when given) for the same reason. `now` dates the copy of Claude Code's
// settings made before they change.
std::vector<std::string> takeOut(CommandRunner& runner, TimePoint now,
                                 const std::optional<RunningCopy::Installation>& starting = std::nullopt,
                                 UserDefaults* defaults = nullptr);

}  // namespace quillfen::StrandedEntries
