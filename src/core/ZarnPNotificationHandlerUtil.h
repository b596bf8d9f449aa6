#pragma once
#include <optional>
#include <string>

namespace zarn {

// What a notification does when it matches or is opened.
enum ZarnPNotificationHandlerType : unsigned {
    ZarnPNotificationHandlerTypeRegular = 1,         // action is a web address or data for the app
    ZarnPNotificationHandlerTypeGeotrigger = 2,      // handed to the app as a geotrigger, never shown
    ZarnPNotificationHandlerTypeApplink = 3,         // action is an app-link JSON text
    ZarnPNotificationHandlerTypeLandingPage = 4,     // action is a landing page address
    ZarnPNotificationHandlerTypeContextualPage = 5,  // a contextual page, never shown
};

class ZarnPNotificationHandlerUtil {
  public:
    // The log name: "NotificationHandlerTypeRegular", "NotificationHandlerTypeGeotrigger",
    // "NotificationHandlerTypeApplink", "NotificationHandlerTypeLandingPage",
    // "NotificationHandlerTypeContextualPage"; "Unknown" for any other value.
    static std::string handlerToString(unsigned handlerType);
    // The name in a scheduled notification's userInfo: "landingPage", "geotrigger", "applink",
    // and "regular" for any other value (a contextual page included).
    static const char* userInfoName(unsigned handlerType);
    // The type a userInfo name stands for; regular for any other text and for nothing.
    static unsigned fromUserInfoName(const std::optional<std::string>& name);
};

}  // namespace zarn
