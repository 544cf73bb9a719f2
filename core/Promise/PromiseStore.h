#pragma once

#include <memory>
#include <optional>

#include "Log/LogStore.h"
#include "Promise/Promise.h"

namespace quillfen {

// Keeps the one current promise in promise.json. The file is read once, at construction;
// afterwards memory answers. Used from one thread.
class PromiseStore {
public:
    explicit PromiseStore(std::shared_ptr<LogStore> store);

    std::optional<Promise> current() const { return cached_; }
    bool hasPromise() const { return cached_.has_value(); }

    // Both take effect in memory at once, whether or not the file could be written. `save` says
    // whether the promise reached the file, so a caller can tell a kept note from one that will
    // be gone at the next start.
    bool save(const Promise& promise);
    void clear();

private:
    std::shared_ptr<LogStore> store_;
    std::optional<Promise> cached_;
};

}  // namespace quillfen
