#pragma once
#include <memory>
#include <optional>
#include <string>

#include "zarn/Date.h"
#include "zarn/Value.h"

namespace zarn {

// What a local notification shows: its body, whether it plays the default sound, and the
// userInfo dictionary that carries the match.
struct NotificationContent {
    std::string title;
    std::string body;
    bool defaultSound = true;
    Value userInfo = Value::object();
};

// Delivers a notification after a time interval; a request without a trigger is shown at once.
struct NotificationTrigger {
    double timeInterval = 0;
    bool repeats = false;
    std::string description() const;
};

// A local notification request, as scheduled with the notification centre.
struct NotificationRequest {
    std::string identifier;
    NotificationContent content;
    std::optional<NotificationTrigger> trigger;
    std::string description() const;
};

// A delivered notification.
struct Notification {
    NotificationRequest request;
    Date date;
};

// The user's answer to a delivered notification (a tap is the default action).
struct NotificationResponse {
    Notification notification;
    std::string actionIdentifier = "default";
};

}  // namespace zarn
