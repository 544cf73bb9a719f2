#include "Log/HeartbeatLiveness.h"

#include <nlohmann/json.hpp>

#include "Support/JsonFields.h"
#include "Support/JsonText.h"

namespace quillfen {

HeartbeatLiveness::HeartbeatLiveness(std::shared_ptr<LogStore> store, double staleAfter, Clock now)
    : store_(std::move(store)), now_(std::move(now)), staleAfter_(staleAfter) {}

void HeartbeatLiveness::recordTick() {
    // Writing is this store's first use: it looks at what it replaces once, so that a file it
    // cannot decode is noticed (and kept aside) rather than written over unseen.
    if (!firstTickRecorded_) (void)lastTickAt();
    firstTickRecorded_ = true;
    nlohmann::json beat = {{"lastTickAt", Iso8601::format(now_())}};
    if (auto text = JsonText::encode(beat)) (void)store_->write(*text);
}

std::optional<TimePoint> HeartbeatLiveness::lastTickAt() const {
    auto bytes = store_->read();
    if (!bytes) return std::nullopt;
    auto json = JsonText::decode(*bytes);
    try {
        if (json) return JsonFields::asIsoDate(JsonFields::field(*json, "lastTickAt"));
    } catch (const JsonFields::Invalid&) {
    }
    store_->markUndecodable();
    return std::nullopt;
}

HeartbeatLiveness::Freshness HeartbeatLiveness::freshness(std::optional<TimePoint> now) const {
    TimePoint reference = now ? *now : now_();
    auto last = lastTickAt();
    if (!last) return Freshness::neverHeard();
    double age = secondsBetween(*last, reference);
    return age > staleAfter_ ? Freshness::stale(age) : Freshness::fresh(age);
}

bool HeartbeatLiveness::isStale(std::optional<TimePoint> now) const {
    return freshness(now).kind != Freshness::Kind::fresh;
}

}  // namespace quillfen
