#include "sim/SimLocalNotificationCenter.h"

#include <algorithm>

#include "sim/Support.h"

namespace zarn::sim {

SimLocalNotificationCenter::SimLocalNotificationCenter(
    std::shared_ptr<World> world, std::shared_ptr<SimNotificationAuthorization> authorization)
    : world_(std::move(world)), authorization_(std::move(authorization)) {
    ZARN_SIM_REQUIRE(world_);
    ZARN_SIM_REQUIRE(authorization_);
}

void SimLocalNotificationCenter::getNotificationSettings(
    std::function<void(platform::NotificationAuthorizationStatus)> completion) {
    authorization_->getNotificationSettings(std::move(completion));
}

void SimLocalNotificationCenter::addNotificationRequest(
    NotificationRequest request, std::function<void(std::optional<Error>)> completion) {
    std::optional<Error> refused;
    bool deliverNow = false;
    {
        std::lock_guard lk(mutex_);
        added_.push_back(request);
        refused = addFailure_;
        if (!refused) {
            // A new request under a pending identifier takes its place.
            std::erase_if(pending_, [&](Pending& p) {
                if (p.request.identifier != request.identifier)
                    return false;
                if (p.timer)
                    p.timer->invalidate();
                return true;
            });
            deliverNow = !request.trigger || request.trigger->timeInterval <= 0;
            if (!deliverNow) {
                uint64_t serial = ++nextSerial_;
                std::weak_ptr<SimLocalNotificationCenter> weak = weak_from_this();
                auto timer =
                    world_->clock().after(request.trigger->timeInterval, weak,
                                          [serial](SimLocalNotificationCenter& c) { c.deliverDue(serial); });
                pending_.push_back(Pending{request, serial, std::move(timer)});
            }
        }
    }
    if (deliverNow)
        deliver(std::move(request));
    if (completion)
        world_->clock().post([completion = std::move(completion), refused] { completion(refused); });
}

void SimLocalNotificationCenter::deliverDue(uint64_t serial) {
    std::optional<NotificationRequest> due;
    {
        std::lock_guard lk(mutex_);
        auto it = std::find_if(pending_.begin(), pending_.end(),
                               [&](const Pending& p) { return p.serial == serial; });
        if (it == pending_.end())
            return;  // removed or replaced before it was due
        due = std::move(it->request);
        pending_.erase(it);
    }
    deliver(std::move(*due));
}

void SimLocalNotificationCenter::deliver(NotificationRequest request) {
    Notification notification{std::move(request), world_->clock().now()};
    {
        std::lock_guard lk(mutex_);
        delivered_.push_back(notification);
    }
    if (world_->lifecycle().state() != platform::ApplicationState::Active)
        return;
    std::weak_ptr<SimLocalNotificationCenter> weak = weak_from_this();
    world_->clock().post([weak, notification = std::move(notification)] {
        auto self = weak.lock();
        auto delegate = self ? self->delegate() : nullptr;
        if (!delegate)
            return;
        delegate->willPresentNotification(notification, [weak](unsigned options) {
            if (auto center = weak.lock()) {
                std::lock_guard lk(center->mutex_);
                center->presentationAnswers_.push_back(options);
            }
        });
    });
}

void SimLocalNotificationCenter::getPendingNotificationRequests(
    std::function<void(std::vector<NotificationRequest>)> completion) {
    if (!completion)
        return;
    auto pending = pendingRequests();
    world_->clock().post(
        [completion = std::move(completion), pending = std::move(pending)] { completion(pending); });
}

void SimLocalNotificationCenter::removePendingNotificationRequests(
    const std::vector<std::string>& identifiers) {
    std::function<void(const std::vector<std::string>&)> hook;
    {
        std::lock_guard lk(mutex_);
        removeCalls_.push_back(identifiers);
        std::erase_if(pending_, [&](Pending& p) {
            if (std::find(identifiers.begin(), identifiers.end(), p.request.identifier) == identifiers.end())
                return false;
            if (p.timer)
                p.timer->invalidate();
            return true;
        });
        hook = removeHook_;
    }
    if (hook)
        hook(identifiers);
}

void SimLocalNotificationCenter::setRemoveHook(std::function<void(const std::vector<std::string>&)> hook) {
    std::lock_guard lk(mutex_);
    removeHook_ = std::move(hook);
}

void SimLocalNotificationCenter::requestAuthorization(
    unsigned options, std::function<void(bool, std::optional<Error>)> completion) {
    bool granted;
    std::optional<Error> error;
    {
        std::lock_guard lk(mutex_);
        authorizationRequests_.push_back(options);
        granted = grant_;
        error = grantError_;
    }
    using Status = platform::NotificationAuthorizationStatus;
    bool provisionalOnly = (options & platform::kNotificationAuthorizationProvisional) != 0;
    authorization_->setNotificationAuthorizationStatus(
        granted ? (provisionalOnly ? Status::Provisional : Status::Authorized) : Status::Denied);
    if (completion)
        world_->clock().post(
            [completion = std::move(completion), granted, error] { completion(granted, error); });
}

std::shared_ptr<platform::LocalNotificationCenterDelegate> SimLocalNotificationCenter::delegate() {
    std::lock_guard lk(mutex_);
    return delegate_.lock();
}

void SimLocalNotificationCenter::setDelegate(
    std::weak_ptr<platform::LocalNotificationCenterDelegate> delegate) {
    std::lock_guard lk(mutex_);
    delegate_ = std::move(delegate);
}

void SimLocalNotificationCenter::setAuthorizationAnswer(bool granted, std::optional<Error> error) {
    std::lock_guard lk(mutex_);
    grant_ = granted;
    grantError_ = std::move(error);
}

void SimLocalNotificationCenter::setAddFailure(std::optional<Error> error) {
    std::lock_guard lk(mutex_);
    addFailure_ = std::move(error);
}

std::vector<unsigned> SimLocalNotificationCenter::authorizationRequests() {
    std::lock_guard lk(mutex_);
    return authorizationRequests_;
}

std::vector<NotificationRequest> SimLocalNotificationCenter::addedRequests() {
    std::lock_guard lk(mutex_);
    return added_;
}

std::vector<std::vector<std::string>> SimLocalNotificationCenter::removeCalls() {
    std::lock_guard lk(mutex_);
    return removeCalls_;
}

std::vector<NotificationRequest> SimLocalNotificationCenter::pendingRequests() {
    std::lock_guard lk(mutex_);
    std::vector<NotificationRequest> out;
    out.reserve(pending_.size());
    for (auto& p : pending_) out.push_back(p.request);
    return out;
}

std::vector<Notification> SimLocalNotificationCenter::deliveredNotifications() {
    std::lock_guard lk(mutex_);
    return delivered_;
}

std::vector<unsigned> SimLocalNotificationCenter::presentationAnswers() {
    std::lock_guard lk(mutex_);
    return presentationAnswers_;
}

int SimLocalNotificationCenter::completedResponses() {
    std::lock_guard lk(mutex_);
    return completedResponses_;
}

bool SimLocalNotificationCenter::tap(const std::string& identifier, const std::string& actionIdentifier) {
    std::optional<Notification> tapped;
    {
        std::lock_guard lk(mutex_);
        auto it = std::find_if(delivered_.rbegin(), delivered_.rend(),
                               [&](const Notification& n) { return n.request.identifier == identifier; });
        if (it == delivered_.rend())
            return false;
        tapped = *it;
    }
    NotificationResponse response{std::move(*tapped), actionIdentifier};
    std::weak_ptr<SimLocalNotificationCenter> weak = weak_from_this();
    world_->clock().post([weak, response = std::move(response)] {
        auto self = weak.lock();
        auto delegate = self ? self->delegate() : nullptr;
        if (!delegate)
            return;
        delegate->didReceiveNotificationResponse(response, [weak] {
            if (auto center = weak.lock()) {
                std::lock_guard lk(center->mutex_);
                ++center->completedResponses_;
            }
        });
    });
    return true;
}

}  // namespace zarn::sim
