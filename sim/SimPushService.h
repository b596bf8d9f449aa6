#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "zarn/Value.h"
#include "zarn/ZarnBase.h"
#include "zarn/platform/PushMessaging.h"

namespace zarn::sim {

// The push messaging service and the system's remote-notification delivery of the simulated
// device. It records what the library asked (registrations, topics, device tokens, payloads),
// and a test or the example host delivers payloads through the app's handlers, as the system
// does, reading back the fetch result each delivery's completion gave. Safe from any thread;
// the app's handlers run on the thread that calls deliver() or the main loop.
class SimPushService final : public platform::PushMessaging {
  public:
    using FetchCompletion = std::function<void(BackgroundFetchResult)>;
    // What an app does with the system's callbacks: forwards them to the library.
    using RemoteNotificationHandler = std::function<void(const Value& payload, FetchCompletion)>;
    using DeviceTokenHandler = std::function<void(const std::string& deviceToken)>;

    // platform::PushMessaging
    void registerForRemoteNotifications() override;
    void configure() override;
    std::optional<std::string> registrationToken() override;
    void setDeviceToken(const std::string& deviceToken, platform::PushTokenType type) override;
    void subscribeToTopic(const std::string& topic) override;
    void unsubscribeFromTopic(const std::string& topic) override;
    void appDidReceiveMessage(const Value& payload) override;

    // The app's side of the system's callbacks.
    void setAppHandlers(DeviceTokenHandler onDeviceToken, RemoteNotificationHandler onRemoteNotification);
    // The token the system answers a registration with, on the main loop; none: no answer.
    void setSystemDeviceToken(std::optional<std::string> token);
    // The messaging service gets a new registration token and announces it.
    void refreshRegistrationToken(const std::string& token);

    // The system delivers a remote notification to the app; answers the delivery's index.
    // Without an app handler the delivery ends at once with no data.
    size_t deliver(const Value& payload);
    // The result each delivery's completion gave (nothing while it has not been called), and
    // how often each was called (the system allows exactly once).
    std::vector<std::optional<BackgroundFetchResult>> fetchResults();
    std::vector<int> completionCounts();

    int registrationCount();
    int configureCount();
    std::set<std::string> subscribedTopics();
    // "+topic" or "-topic" in the order asked.
    std::vector<std::string> topicLog();
    std::vector<std::pair<std::string, platform::PushTokenType>> deviceTokens();
    std::vector<Value> receivedMessages();

  private:
    std::mutex mutex_;
    DeviceTokenHandler onDeviceToken_;
    RemoteNotificationHandler onRemoteNotification_;
    std::optional<std::string> systemDeviceToken_;
    std::optional<std::string> registrationToken_;
    bool configured_ = false;
    int registrations_ = 0;
    int configures_ = 0;
    std::set<std::string> topics_;
    std::vector<std::string> topicLog_;
    std::vector<std::pair<std::string, platform::PushTokenType>> deviceTokens_;
    std::vector<Value> messages_;
    std::vector<std::optional<BackgroundFetchResult>> results_;
    std::vector<int> completions_;
};

}  // namespace zarn::sim
