#include "NotificationManager.h"

#include <memory>

namespace quillfen {

NotificationManager::NotificationManager(DesktopNotifications& service, UserDefaults& defaults,
                                         std::function<void()> onPrimaryTapped)
    : service_(service), defaults_(defaults), onPrimaryTapped_(std::move(onPrimaryTapped)) {
    events_ = service_.subscribe({
        [this](std::uint32_t id, const std::string& key) { didReceive(id, key); },
        [this](std::uint32_t id) {
            ours_.erase(id);
            if (newest_ == id) newest_.reset();
        },
    });
}

void NotificationManager::registerCategory() {
    categoryRegistered_ = true;
}

void NotificationManager::requestAuthorization(std::function<void(bool)> completion) {
    registerCategory();
    auto alive = std::weak_ptr<bool>(alive_);
    service_.probe([this, alive, completion = std::move(completion)](
                       std::optional<DesktopNotifications::ServerInfo> server) {
        if (alive.expired()) return;
        if (completion) completion(server.has_value());
    });
}

void NotificationManager::keepAnswer(bool bannersAllowed) {
    defaults_.setBoolean(kBannersAllowedKey, bannersAllowed);
}

bool NotificationManager::bannersAllowed() const {
    return defaults_.boolean(kBannersAllowedKey).value_or(true);
}

void NotificationManager::fire(const NudgeCopy& copy) {
    newest_.reset();
    const std::uint64_t nudge = ++fired_;
    if (!bannersAllowed()) return;
    NotificationRequest request;
    request.title = copy.notificationTitle;
    request.body = copy.notificationBody;
    request.silent = true;
    // The click on the banner itself; servers show no button for it.
    request.actions.emplace_back(DesktopNotifications::kDefaultAction, "");
    if (categoryRegistered_) {
        request.actions.emplace_back(kStepOutsideAction, "Step outside");
        request.actions.emplace_back(kNotNowAction, "Not now");
    }
    auto alive = std::weak_ptr<bool>(alive_);
    service_.notify(request, [this, alive, nudge](std::optional<std::uint32_t> id) {
        if (alive.expired() || !id) return;
        ours_.insert(*id);
        if (nudge == fired_) newest_ = id;
    });
}

void NotificationManager::didReceive(std::uint32_t id, const std::string& actionKey) {
    if (ours_.count(id) == 0) return;
    if (actionKey == kNotNowAction) return;
    if (actionKey == kStepOutsideAction || actionKey == DesktopNotifications::kDefaultAction) {
        if (onPrimaryTapped_) onPrimaryTapped_();
    }
}

}  // namespace quillfen
