#pragma once
#include <optional>
#include <string>

#include "zarn/ValueFwd.h"

namespace zarn::platform {

// Posted by the host's push service on platform::defaultCenter(), on any thread, each time it
// has a new registration token (registrationToken() answers it by then); the library then
// brings its topic subscription up to date.
inline constexpr const char* kPushTokenRefreshNotification = "com.firebase.iid.notif.refresh-token";

// The environment of the device token handed to the messaging service.
enum class PushTokenType : int { Sandbox = 1, Production = 2 };

// The push messaging service the app may link: remote-notification registration, the device
// token, topic subscriptions and the received messages. Hosts without one install none, and push
// stays off. Messages themselves reach the library through the app: the system hands each remote
// notification with its fetch completion handler to the app, which forwards both through the
// public entry (ZarnBase::didReceiveRemoteNotification); once the library is initialised it
// calls the handler exactly once, and the app must not call it too. Before initialisation the
// library never calls it, so the app answers the system itself.
// Every method is called on the main thread only and never fails visibly: the service retries
// on its own. Copying is not allowed.
class PushMessaging {
  public:
    virtual ~PushMessaging() = default;
    PushMessaging() = default;
    PushMessaging(const PushMessaging&) = delete;
    PushMessaging& operator=(const PushMessaging&) = delete;

    // Asks the system to register the app for remote notifications. The outcome reaches the app,
    // later on the main thread, as its device-token or registration-failure callback.
    virtual void registerForRemoteNotifications() = 0;
    // Starts the messaging service; later calls do nothing.
    virtual void configure() = 0;
    // The registration token, or nothing while the service has none (before configure, or
    // while it has not reached its servers). A new one is announced by
    // kPushTokenRefreshNotification.
    virtual std::optional<std::string> registrationToken() = 0;
    // Hands over the device token of the system's registration.
    virtual void setDeviceToken(const std::string& deviceToken, PushTokenType type) = 0;
    // Topic subscriptions ("/topics/<name>"). Both return at once; a failure is retried by the
    // service and never reported.
    virtual void subscribeToTopic(const std::string& topic) = 0;
    virtual void unsubscribeFromTopic(const std::string& topic) = 0;
    // A received payload, for the service's own delivery statistics; nothing is answered.
    virtual void appDidReceiveMessage(const Value& payload) = 0;
};

}  // namespace zarn::platform
