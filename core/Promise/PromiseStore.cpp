#include "Promise/PromiseStore.h"

#include <nlohmann/json.hpp>

#include "Support/JsonText.h"

namespace quillfen {

PromiseStore::PromiseStore(std::shared_ptr<LogStore> store) : store_(std::move(store)) {
    if (auto bytes = store_->read()) {
        if (auto json = JsonText::decode(*bytes)) cached_ = promiseFromJson(*json);
    }
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
