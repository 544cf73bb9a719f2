#include "Stone/StoneIdentityStore.h"

#include <nlohmann/json.hpp>

#include "Support/JsonText.h"

namespace quillfen {

StoneIdentityStore::StoneIdentityStore(std::shared_ptr<LogStore> store) : store_(std::move(store)) {
    auto bytes = store_->read();
    if (!bytes) return;
    cached_ = StoneIdentity::strictDecode(*bytes);
    if (cached_) return;
    // "null" is what clear() leaves: no stone, and nothing worth keeping aside.
    auto json = JsonText::decode(*bytes);
    if (!(json && json->is_null())) store_->markUndecodable();
}

bool StoneIdentityStore::save(const StoneIdentity& identity) {
    cached_ = identity;
    return write(identity.encode());
}

bool StoneIdentityStore::clear() {
    cached_.reset();
    return write("null");
}

bool StoneIdentityStore::write(std::string_view bytes) {
    return !store_->write(bytes);
}

}  // namespace quillfen
