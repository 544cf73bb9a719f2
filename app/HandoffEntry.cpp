#include "HandoffEntry.h"

#include <variant>

#include "Stone/StoneHandoff.h"

namespace quillfen {

HandoffEntry::HandoffEntry(std::shared_ptr<StoneIdentityStore> store, Journal journal, Clock now)
    : store_(std::move(store)), journal_(std::move(journal)), now_(std::move(now)) {}

bool HandoffEntry::open(std::string_view url) {
    const TimePoint now = now_();
    auto note = [&](const std::string& detail) {
        if (journal_) journal_("stone", detail, now);
    };
    const auto handed = StoneHandoff::identity(url, now);
    if (const auto* failure = std::get_if<StoneHandoff::Failure>(&handed)) {
        note("handoff ignored: " + std::string(StoneHandoff::toString(*failure)));
        return false;
    }
    const StoneIdentity& identity = std::get<StoneIdentity>(handed);
    const std::optional<StoneIdentity> before = store_ ? store_->current() : std::nullopt;
    const bool onDisk = !(unsaved_ && *unsaved_ == identity);
    if (before && *before == identity && onDisk) {
        note("handoff matched the stone already kept");
        return false;
    }

    const std::string id(identity.stoneId());
    const std::string was = before && !(*before == identity) ? " (was " + std::string(before->stoneId()) + ")" : "";
    if (!store_ || !store_->save(identity)) {
        // The store holds it in memory for this run, so the surfaces show it; the journal
        // must not say it was kept when the next start will not find it.
        unsaved_ = identity;
        note("handoff of " + id + " not kept: the stone could not be saved" + was);
        return store_ != nullptr;
    }
    unsaved_.reset();
    note("kept " + id + " from the web handoff" + was);
    return true;
}

}  // namespace quillfen
