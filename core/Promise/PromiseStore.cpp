#include "Promise/PromiseStore.h"

#include <nlohmann/json.hpp>

#include "Support/JsonText.h"

namespace quillfen {

PromiseStore::PromiseStore(std::shared_ptr<LogStore> store) : store_(std::move(store)) {
    auto bytes = store_->read();
    if (!bytes) return;
    auto json = JsonText::decode(*bytes);
    if (json) cached_ = promiseFromJson(*json);
    // "null" is what clear() leaves; anything else unread is the user's own words.
    if (!cached_ && !(json && json->is_null())) store_->markUndecodable();
}

bool PromiseStore::save(const Promise& promise) {
    cached_ = promise;
    auto text = JsonText::encode(promiseToJson(promise));
    return text && !store_->write(*text);
}

void PromiseStore::clear() {
    cached_.reset();
    (void)store_->write("null");
}

}  // namespace quillfen
