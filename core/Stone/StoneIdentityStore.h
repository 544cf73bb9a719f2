#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "Log/LogStore.h"
#include "Stone/StoneIdentity.h"

namespace quillfen {

// Keeps the one kept stone in stone-identity.json. The file is read once, at construction;
// afterwards memory answers, and the surfaces wear the fallback while it holds nothing. Used
// from one thread.
class StoneIdentityStore final {
public:
    explicit StoneIdentityStore(std::shared_ptr<LogStore> store);

    std::optional<StoneIdentity> current() const { return cached_; }
    bool hasIdentity() const { return cached_.has_value(); }

    // Both take effect in memory at once, whether or not the bytes reach the disk; they return
    // whether they did.
    [[nodiscard]] bool save(const StoneIdentity& identity);
    // Leaves "null" in the file, which reads back as no stone.
    [[nodiscard]] bool clear();

private:
    bool write(std::string_view bytes);

    std::shared_ptr<LogStore> store_;
    std::optional<StoneIdentity> cached_;
};

}  // namespace quillfen
