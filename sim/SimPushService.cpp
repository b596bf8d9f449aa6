#include "sim/SimPushService.h"

#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/Platform.h"
#include "zarn/platform/RunLoop.h"

namespace zarn::sim {

void SimPushService::registerForRemoteNotifications() {
    DeviceTokenHandler handler;
    std::optional<std::string> token;
    {
        std::lock_guard lk(mutex_);
        ++registrations_;
        handler = onDeviceToken_;
        token = systemDeviceToken_;
    }
    // The system answers later, never inside the request.
    if (handler && token)
        if (auto loop = platform::mainRunLoop())
            loop->post([handler, token] { handler(*token); });
}

void SimPushService::configure() {
    std::lock_guard lk(mutex_);
    ++configures_;
    configured_ = true;
}

std::optional<std::string> SimPushService::registrationToken() {
    std::lock_guard lk(mutex_);
    return configured_ ? registrationToken_ : std::nullopt;
}

void SimPushService::setDeviceToken(const std::string& deviceToken, platform::PushTokenType type) {
    std::lock_guard lk(mutex_);
    deviceTokens_.emplace_back(deviceToken, type);
}

void SimPushService::subscribeToTopic(const std::string& topic) {
    std::lock_guard lk(mutex_);
    topics_.insert(topic);
    topicLog_.push_back("+" + topic);
}

void SimPushService::unsubscribeFromTopic(const std::string& topic) {
    std::lock_guard lk(mutex_);
    topics_.erase(topic);
    topicLog_.push_back("-" + topic);
}

void SimPushService::appDidReceiveMessage(const Value& payload) {
    std::lock_guard lk(mutex_);
    messages_.push_back(payload);
}

void SimPushService::setAppHandlers(DeviceTokenHandler onDeviceToken,
                                    RemoteNotificationHandler onRemoteNotification) {
    std::lock_guard lk(mutex_);
    onDeviceToken_ = std::move(onDeviceToken);
    onRemoteNotification_ = std::move(onRemoteNotification);
}

void SimPushService::setSystemDeviceToken(std::optional<std::string> token) {
    std::lock_guard lk(mutex_);
    systemDeviceToken_ = std::move(token);
}

void SimPushService::refreshRegistrationToken(const std::string& token) {
    {
        std::lock_guard lk(mutex_);
        registrationToken_ = token;
    }
    platform::defaultCenter()->post(platform::kPushTokenRefreshNotification);
}

size_t SimPushService::deliver(const Value& payload) {
    RemoteNotificationHandler handler;
    size_t index;
    {
        std::lock_guard lk(mutex_);
        index = results_.size();
        results_.emplace_back();
        completions_.push_back(0);
        handler = onRemoteNotification_;
    }
    auto completion = [this, index](BackgroundFetchResult result) {
        std::lock_guard lk(mutex_);
        ++completions_[index];
        results_[index] = result;
    };
    if (handler)
        handler(payload, completion);
    else
        completion(BackgroundFetchResult::NoData);
    return index;
}

std::vector<std::optional<BackgroundFetchResult>> SimPushService::fetchResults() {
    std::lock_guard lk(mutex_);
    return results_;
}

std::vector<int> SimPushService::completionCounts() {
    std::lock_guard lk(mutex_);
    return completions_;
}

int SimPushService::registrationCount() {
    std::lock_guard lk(mutex_);
    return registrations_;
}

int SimPushService::configureCount() {
    std::lock_guard lk(mutex_);
    return configures_;
}

std::set<std::string> SimPushService::subscribedTopics() {
    std::lock_guard lk(mutex_);
    return topics_;
}

std::vector<std::string> SimPushService::topicLog() {
    std::lock_guard lk(mutex_);
    return topicLog_;
}

std::vector<std::pair<std::string, platform::PushTokenType>> SimPushService::deviceTokens() {
    std::lock_guard lk(mutex_);
    return deviceTokens_;
}

std::vector<Value> SimPushService::receivedMessages() {
    std::lock_guard lk(mutex_);
    return messages_;
}

}  // namespace zarn::sim
