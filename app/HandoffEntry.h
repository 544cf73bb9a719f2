#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Stone/StoneIdentity.h"
#include "Stone/StoneIdentityStore.h"
#include "Support/Clock.h"

namespace quillfen {

// Where a stone chosen on the web comes in: each "tavryn-stone://keep?..." address the desktop
// hands the application is read, kept in the identity store and told to the decisions journal
// as one "stone" line. A bad address never changes the kept stone. Main thread only.
class HandoffEntry {
public:
    using Journal = std::function<void(std::string_view kind, std::string_view detail, TimePoint now)>;

    // `store` may be null: nothing can be kept then.
    HandoffEntry(std::shared_ptr<StoneIdentityStore> store, Journal journal, Clock now);

    // One address; true when the stone surfaces must be drawn again.
    bool open(std::string_view url);

private:
    std::shared_ptr<StoneIdentityStore> store_;
    Journal journal_;
    Clock now_;
    // The stone the store holds in memory but could not write: the same handoff again is not
    // "already kept", it is another chance to keep it.
    std::optional<StoneIdentity> unsaved_;
};

}  // namespace quillfen
