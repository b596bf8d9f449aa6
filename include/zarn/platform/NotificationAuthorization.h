#pragma once
#include <functional>

namespace zarn::platform {

enum class NotificationAuthorizationStatus : int {
    NotDetermined = 0,
    Denied = 1,
    Authorized = 2,
    Provisional = 3,
    Ephemeral = 4,
};

// What the user allowed the app to do with local notifications.
class NotificationAuthorization {
  public:
    virtual ~NotificationAuthorization() = default;
    NotificationAuthorization() = default;
    NotificationAuthorization(const NotificationAuthorization&) = delete;
    NotificationAuthorization& operator=(const NotificationAuthorization&) = delete;

    // Reads the app's notification settings. Call on the main thread; returns at once. The
    // completion is called exactly once, later, on a thread of the system's choosing (never inside
    // this call), with the authorisation status.
    virtual void getNotificationSettings(std::function<void(NotificationAuthorizationStatus)> completion) = 0;
};

}  // namespace zarn::platform
