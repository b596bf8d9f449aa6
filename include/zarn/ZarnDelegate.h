#pragma once
// This header only names the types its callbacks take: include "zarn/ZarnHooks.h" to answer the
// filter or the geotrigger handler, "zarn/NotificationRequest.h" to read a tapped notification,
// "zarn/ZarnValues.h" to read a sent one, and "zarn/ZarnConfiguration.h" to change the
// configuration being loaded.
#include <functional>
#include <memory>
#include <string>

namespace zarn {

class ZarnConfiguration;
class ZarnFilterNotifications;
class ZarnHandleGeotriggers;
class ZarnSentNotification;
struct NotificationRequest;
struct NotificationResponse;

// The app's delegate. Every operation is optional: set the ones the app implements; the
// library calls only those that are set, always on the main thread (the host must run its main
// loop, zarn/platform/Platform.h), and never waits for them.
class ZarnDelegate {
  public:
    virtual ~ZarnDelegate() = default;

    // Chooses which matched notifications are shown (answer through the hook; ZarnHooks.h says
    // what becomes of a hook that is never answered or answered late).
    std::function<void(std::shared_ptr<ZarnFilterNotifications>)> zarnFilterNotifications;
    // Receives matched geotriggers (answer through the hook, as for the filter).
    std::function<void(std::shared_ptr<ZarnHandleGeotriggers>)> zarnHandleGeotriggers;
    // A tapped notification that the app handles: the request and its action data.
    std::function<void(const NotificationRequest&, const std::string& data)> zarnHandleNotificationData;
    // The same with the action data and the whole response.
    std::function<void(const std::string& data, const NotificationResponse&)> zarnHandleNotificationResponse;
    // Lets the app change the configuration being loaded; call `loadWithConfig` once, from any
    // thread, at once or later. Until it is called the configuration is not applied and the
    // library stays uninitialised; a second call is refused with an ERROR line.
    std::function<void(std::shared_ptr<ZarnConfiguration>,
                       std::function<void(std::shared_ptr<ZarnConfiguration>)> loadWithConfig)>
        zarnLoadConfig;
    std::function<void(std::shared_ptr<ZarnSentNotification>)> zarnNotificationSentEvent;
    std::function<void(std::shared_ptr<ZarnSentNotification>)> zarnNotificationOpenedEvent;
};

}  // namespace zarn
