#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/Error.h"
#include "zarn/NotificationRequest.h"
#include "zarn/Value.h"
#include "zarn/ViewController.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/ZarnValues.h"

namespace zarn {

class ZarnPZarnConfiguration;

// The facade as the public entry sees it: every operation the class methods forward. Callable
// from any thread; implementations re-post their work to the SDK thread.
class ZarnPPublicFacade {
  public:
    virtual ~ZarnPPublicFacade() = default;

    virtual void reinit(std::shared_ptr<ZarnPZarnConfiguration> configuration) = 0;
    virtual void enable() = 0;
    virtual void disable() = 0;
    virtual bool isEnabled() = 0;
    virtual void setCooldownPeriod(int seconds) = 0;
    virtual void setZarnDelegate(std::shared_ptr<ZarnDelegate> delegate) = 0;
    virtual void mailDebugLog(std::shared_ptr<ViewController> parent) = 0;
    virtual void setValue(std::optional<std::string> value, const std::string& property) = 0;
    virtual void setAdvertisingIdentifier(std::optional<std::string> uuid,
                                          bool advertisingTrackingEnabled) = 0;
    virtual std::vector<NotificationRequest> loadedNotifications() = 0;
    virtual std::vector<std::shared_ptr<ZarnGeotrigger>> loadedGeotriggers() = 0;
    virtual std::vector<std::shared_ptr<ZarnSentNotification>> sentNotifications() = 0;
    virtual std::vector<std::shared_ptr<ZarnSentGeotrigger>> sentGeotriggers() = 0;
    virtual void clearSentNotifications() = 0;
    virtual void clearSentGeotriggers() = 0;
    virtual void sendAttributionEvent(const std::string& actionName, const std::string& itemId) = 0;
    virtual void requestContextualPage(std::function<void(std::optional<Value>)> callback) = 0;
    virtual void externalRegionTrigger(const Value& properties, int triggerType,
                                       const Value& matchPayload) = 0;
    virtual void didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken) = 0;
    virtual void didFailToRegisterForRemoteNotificationsWithError(const Error& error) = 0;
    virtual void didReceiveRemoteNotification(const Value& userInfo,
                                              std::function<void(BackgroundFetchResult)> completion) = 0;
    virtual void clearAllDataAndResetDeviceId() = 0;
};

// What the entry holds for the life of the process: the built library, reached only through
// its facade.
class ZarnPEntryModule {
  public:
    virtual ~ZarnPEntryModule() = default;
    virtual std::shared_ptr<ZarnPPublicFacade> interface() = 0;
};

}  // namespace zarn
